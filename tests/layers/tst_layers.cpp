#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QHash>
#include <QRegularExpression>
#include <QSet>
#include <QTest>

#include <functional>
#include <map>

namespace {

// Lower floors never know about higher ones; folders on one floor may lean on each other
// as long as no loop forms. Folders missing here (tests, bench) sit above everything.
const std::map<QString, int>& floors() {
    static const std::map<QString, int> table{
        {QStringLiteral("platform"), 0}, {QStringLiteral("core"), 1},
        {QStringLiteral("transfer"), 2}, {QStringLiteral("console"), 2},
        {QStringLiteral("modbus"), 2},   {QStringLiteral("about"), 2},
        {QStringLiteral("control"), 3},  {QStringLiteral("sim"), 3},
        {QStringLiteral("app"), 4},      {QStringLiteral("earlier"), 4},
        {QStringLiteral("tools"), 4},
    };
    return table;
}

struct Include {
    QString file;   // e.g. core/session.h
    QString target; // as written between the quotes
};

QString folderOf(const QString& path) {
    const qsizetype slash = path.indexOf(QLatin1Char('/'));
    return slash < 0 ? QString() : path.left(slash);
}

// Depth-first search for a loop in the sideways edges; returns it as a -> b -> a.
QString findLoop(const QHash<QString, QSet<QString>>& edges) {
    QHash<QString, int> state; // 0 new, 1 on the path, 2 done
    QStringList path;
    std::function<QString(const QString&)> visit = [&](const QString& node) -> QString {
        state[node] = 1;
        path << node;
        QStringList next(edges.value(node).cbegin(), edges.value(node).cend());
        next.sort();
        for (const QString& to : next) {
            if (state.value(to) == 1) {
                QStringList loop = path.mid(path.indexOf(to));
                loop << to;
                return loop.join(QStringLiteral(" -> "));
            }
            if (state.value(to) == 0) {
                const QString found = visit(to);
                if (!found.isEmpty())
                    return found;
            }
        }
        path.removeLast();
        state[node] = 2;
        return {};
    };
    QStringList nodes = edges.keys();
    nodes.sort();
    for (const QString& node : nodes) {
        if (state.value(node) == 0) {
            const QString found = visit(node);
            if (!found.isEmpty())
                return found;
        }
    }
    return {};
}

QStringList layerFaults(const QList<Include>& includes) {
    QStringList faults;
    QHash<QString, QSet<QString>> sideways;
    for (const Include& inc : includes) {
        const QString from = folderOf(inc.file);
        const QString to = folderOf(inc.target);
        const auto fromFloor = floors().find(from);
        if (fromFloor == floors().end() || to.isEmpty() || to == from)
            continue;
        const auto toFloor = floors().find(to);
        if (toFloor == floors().end() || toFloor->second > fromFloor->second)
            faults << QStringLiteral("%1 includes %2 from a folder above it")
                          .arg(inc.file, inc.target);
        else if (toFloor->second == fromFloor->second)
            sideways[from].insert(to);
    }
    const QString loop = findLoop(sideways);
    if (!loop.isEmpty())
        faults << QStringLiteral("folders include each other in a loop: %1").arg(loop);
    return faults;
}

QList<Include> includesInTree(const QString& root) {
    static const QRegularExpression includeLine(QStringLiteral("^\\s*#\\s*include\\s*\"([^\"]+)\""),
                                                QRegularExpression::MultilineOption);
    QList<Include> result;
    const QDir rootDir(root);
    for (const auto& [folder, floor] : floors()) {
        Q_UNUSED(floor)
        QDirIterator it(rootDir.filePath(folder), {QStringLiteral("*.h"), QStringLiteral("*.cpp")},
                        QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            QFile file(path);
            if (!file.open(QIODevice::ReadOnly))
                continue;
            const QString text = QString::fromUtf8(file.readAll());
            auto matches = includeLine.globalMatch(text);
            while (matches.hasNext())
                result.push_back({rootDir.relativeFilePath(path), matches.next().captured(1)});
        }
    }
    return result;
}

QList<Include> parse(const QStringList& rows) {
    QList<Include> result;
    for (const QString& row : rows) {
        const QStringList parts = row.split(QLatin1Char('>'));
        result.push_back({parts.at(0), parts.at(1)});
    }
    return result;
}

} // namespace

class TstLayers : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void rules_data() {
        QTest::addColumn<QStringList>("includes");
        QTest::addColumn<int>("faults");
        QTest::newRow("down a floor")
            << QStringList{"core/session.h>platform/dialogs.h", "transfer/upload.h>core/session.h",
                           "app/main_window.cpp>transfer/upload.h"}
            << 0;
        QTest::newRow("same folder, plain name")
            << QStringList{"core/wait.cpp>core/wait.h", "modbus/x.cpp>moc_x.cpp"} << 0;
        QTest::newRow("core reaches up to a feature")
            << QStringList{"core/session.cpp>transfer/upload.h"} << 1;
        QTest::newRow("feature reaches up to the window")
            << QStringList{"about/frm_about.cpp>app/main_window.h"} << 1;
        QTest::newRow("controller reaches up to the window")
            << QStringList{"control/service_controller.cpp>app/main_window.h"} << 1;
        QTest::newRow("platform reaches up to core")
            << QStringList{"platform/paths.cpp>core/text_helpers.h"} << 1;
        QTest::newRow("product code uses test helpers")
            << QStringList{"console/frm_options.cpp>tests/support/fake_port.h"} << 1;
        QTest::newRow("features side by side, no loop")
            << QStringList{"console/a.cpp>transfer/b.h", "modbus/c.cpp>transfer/d.h"} << 0;
        QTest::newRow("two features lean on each other")
            << QStringList{"console/a.cpp>transfer/b.h", "transfer/b.cpp>console/a.h"} << 1;
        QTest::newRow("three features in a ring")
            << QStringList{"console/a.cpp>transfer/b.h", "transfer/b.cpp>modbus/c.h",
                           "modbus/c.cpp>console/a.h"}
            << 1;
        QTest::newRow("tests and bench may include anything")
            << QStringList{"tests/app/t.cpp>app/main_window.h", "bench/b.cpp>tests/support/x.h"}
            << 0;
    }
    void rules() {
        QFETCH(QStringList, includes);
        QFETCH(int, faults);
        const QStringList found = layerFaults(parse(includes));
        QVERIFY2(found.size() == faults, qPrintable(found.join(QLatin1Char('\n'))));
    }

    void tree() {
        const QList<Include> includes = includesInTree(QStringLiteral(QUILLON_SOURCE_DIR));
        QVERIFY(includes.size() > 100);
        const QStringList faults = layerFaults(includes);
        QVERIFY2(faults.isEmpty(), qPrintable(faults.join(QLatin1Char('\n'))));
    }
};

QTEST_GUILESS_MAIN(TstLayers)
#include "tst_layers.moc"
