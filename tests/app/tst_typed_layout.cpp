// Typing on a real X keyboard layout: dead keys reach Qt as input-method
// commits, not key presses, so only a real server with a real layout shows
// whether an accented letter goes out on the line.
#include "app/terminal_box.h"

#include <QApplication>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

#include <cstdio>
#include <cstdlib>
#include <memory>

using namespace quillon;

namespace {

const char* const kTools[] = {"Xvfb", "xdotool", "setxkbmap"};

QString missingTool() {
    for (const char* tool : kTools) {
        if (QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty())
            return QLatin1String(tool);
    }
    return {};
}

// A display of its own, so the test neither needs nor disturbs one that is running.
class VirtualDisplay {
public:
    bool start() {
        server_.setProgram(QStringLiteral("Xvfb"));
        // -displayfd: the server picks a free number and writes it once it accepts clients.
        server_.setArguments({QStringLiteral("-displayfd"), QStringLiteral("1"),
                              QStringLiteral("-screen"), QStringLiteral("0"),
                              QStringLiteral("800x600x24"), QStringLiteral("-nolisten"),
                              QStringLiteral("tcp"),
                              // The server would reset when setxkbmap disconnects, and
                              // take the layout with it.
                              QStringLiteral("-noreset")});
        server_.start();
        if (!server_.waitForStarted(10000))
            return false;
        QByteArray number;
        while (!number.contains('\n')) {
            if (!server_.waitForReadyRead(20000))
                return false;
            number += server_.readAllStandardOutput();
        }
        name_ = QStringLiteral(":") + QString::fromLatin1(number.trimmed());
        return true;
    }
    ~VirtualDisplay() {
        server_.terminate();
        if (!server_.waitForFinished(5000))
            server_.kill();
        server_.waitForFinished(5000);
    }
    QString name() const { return name_; }

private:
    QProcess server_;
    QString name_;
};

QString skipReason;

bool runTool(const QString& program, const QStringList& arguments) {
    QProcess tool;
    tool.start(program, arguments);
    return tool.waitForFinished(20000) && tool.exitStatus() == QProcess::NormalExit &&
           tool.exitCode() == 0;
}

} // namespace

class TstTypedLayout : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void brazilianKeysGoOutAsCp1252_data();
    void brazilianKeysGoOutAsCp1252();
};

void TstTypedLayout::brazilianKeysGoOutAsCp1252_data() {
    QTest::addColumn<QStringList>("keys");
    QTest::addColumn<QByteArray>("sent");
    QTest::addColumn<QString>("shown");
    QTest::newRow("dead tilde a") << QStringList{QStringLiteral("dead_tilde"), QStringLiteral("a")}
                                  << QByteArray("\xE3") << QStringLiteral("ã");
    QTest::newRow("dead acute e") << QStringList{QStringLiteral("dead_acute"), QStringLiteral("e")}
                                  << QByteArray("\xE9") << QStringLiteral("é");
    QTest::newRow("dead circumflex O")
        << QStringList{QStringLiteral("dead_circumflex"), QStringLiteral("O")} << QByteArray("\xD4")
        << QStringLiteral("Ô");
    QTest::newRow("cedilla key") << QStringList{QStringLiteral("ccedilla")} << QByteArray("\xE7")
                                 << QStringLiteral("ç");
    QTest::newRow("plain letters") << QStringList{QStringLiteral("o"), QStringLiteral("k")}
                                   << QByteArray("ok") << QStringLiteral("ok");
}

void TstTypedLayout::brazilianKeysGoOutAsCp1252() {
    if (!skipReason.isEmpty())
        QSKIP(qPrintable(skipReason));
    QFETCH(QStringList, keys);
    QFETCH(QByteArray, sent);
    QFETCH(QString, shown);

    TerminalBox box;
    QByteArray written;
    box.setKeySink([&](char code) { written += code; });
    box.resize(300, 200);
    box.show();
    box.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&box));
    box.setFocus();

    QStringList arguments{QStringLiteral("key"), QStringLiteral("--delay"), QStringLiteral("50")};
    QVERIFY(runTool(QStringLiteral("xdotool"), arguments + keys));
    QTRY_COMPARE(written, sent);
    QCOMPARE(box.toPlainText(), shown);
}

// The display and layout are set up before the application connects, so the
// window system and its input method see the Brazilian keyboard from the start.
int main(int argc, char** argv) {
    std::unique_ptr<VirtualDisplay> display;
    skipReason = missingTool();
    if (!skipReason.isEmpty()) {
        skipReason = QStringLiteral("%1 is not installed (Debian packages xvfb, xdotool, "
                                    "x11-xkb-utils)")
                         .arg(skipReason);
        qputenv("QT_QPA_PLATFORM", "offscreen");
    } else {
        display = std::make_unique<VirtualDisplay>();
        if (!display->start()) {
            std::fprintf(stderr, "Xvfb did not start\n");
            return EXIT_FAILURE;
        }
        qputenv("DISPLAY", display->name().toLatin1());
        if (!runTool(QStringLiteral("setxkbmap"),
                     {QStringLiteral("-display"), display->name(), QStringLiteral("-layout"),
                      QStringLiteral("br")})) {
            std::fprintf(stderr, "setxkbmap -layout br failed\n");
            return EXIT_FAILURE;
        }
        qputenv("QT_QPA_PLATFORM", "xcb");
        // The plain compose tables, whatever input method the user's desktop runs.
        qputenv("QT_IM_MODULE", "compose");
        qputenv("LC_ALL", "C.UTF-8");
    }
    QApplication app(argc, argv);
    TstTypedLayout test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_typed_layout.moc"
