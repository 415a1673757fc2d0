#include "about/frm_about.h"
#include "tests/app/window_fixture.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QOperatingSystemVersion>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace quillon;
using namespace quillon::test;

namespace {

QString labelText(QWidget& w, const char* name) {
    auto* label = w.findChild<QLabel*>(QLatin1String(name));
    return label ? label->text() : QStringLiteral("<missing>");
}

// Records what would have been started, and starts nothing.
struct NoLaunch {
    QVector<SystemInfoTool> started;
    bool startWorks = true;

    SystemInfoLauncher with(std::function<std::optional<SystemInfoTool>()> find) {
        return {std::move(find), [this](const SystemInfoTool& tool) {
                    started << tool;
                    return startWorks;
                }};
    }
};

// PATH pointing at a folder of stand-in programs for the duration of a test.
struct PathWith {
    QTemporaryDir dir;
    QByteArray saved = qgetenv("PATH");

    explicit PathWith(const QStringList& programs) {
        for (const QString& name : programs) {
            QFile file(dir.filePath(name));
            file.open(QIODevice::WriteOnly);
            file.write("#!/bin/sh\nexit 0\n");
            file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        }
        qputenv("PATH", dir.path().toLocal8Bit());
    }
    ~PathWith() { qputenv("PATH", saved); }
};

} // namespace

class TstAbout : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void texts_data();
    void texts();
    void keysClose_data();
    void keysClose();
    void systemInformation_data();
    void systemInformation();
    void firstToolOnPath_data();
    void firstToolOnPath();
    void openedFromTheMenu();
};

void TstAbout::texts_data() {
    QTest::addColumn<bool>("earlier");
    QTest::addColumn<QString>("version");
    QTest::newRow("full edition") << false << QStringLiteral("2.3.59");
    QTest::newRow("earlier edition") << true << QStringLiteral("2.1.18");
}

void TstAbout::texts() {
    QFETCH(bool, earlier);
    QFETCH(QString, version);
    const Edition& edition = earlier ? earlierEdition() : fullEdition();
    FakeDialogs dialogs;
    NoLaunch launch;
    FrmAbout d(edition, dialogs, nullptr, launch.with([] { return std::nullopt; }));
    d.show();
    QCOMPARE(d.windowTitle(), QStringLiteral("Sobre o Quillon"));
    QCOMPARE(labelText(d, "Label4"), QStringLiteral("Quillon"));
    QCOMPARE(labelText(d, "Label2"), QStringLiteral("Versão"));
    QCOMPARE(labelText(d, "Label3"), version);
    QVERIFY(!labelText(d, "Label1").isEmpty());
    QVERIFY(!labelText(d, "lblDisclaimer").isEmpty());
    auto* name = d.findChild<QLabel*>(QStringLiteral("Label4"));
    QVERIFY(name->font().bold());
    QVERIFY(QFontInfo(name->font()).pixelSize() >
            QFontInfo(d.findChild<QLabel*>(QStringLiteral("Label2"))->font()).pixelSize());
    for (const char* picture : {"picIcon", "picLogo"})
        QVERIFY2(!d.findChild<QLabel*>(QLatin1String(picture))->pixmap().isNull(), picture);
    auto* ok = d.findChild<QPushButton*>(QStringLiteral("cmdOK"));
    QCOMPARE(ok->text(), QStringLiteral("OK"));
    QVERIFY(ok->isDefault());
    QCOMPARE(d.findChild<QPushButton*>(QStringLiteral("cmdSysInfo"))->text(),
             QStringLiteral("&Informações do sistema..."));
    const QPoint centre = d.screen()->geometry().center();
    // Within the width of a window frame.
    QVERIFY(qAbs(d.frameGeometry().center().x() - centre.x()) <= 3);
    QVERIFY(qAbs(d.frameGeometry().center().y() - centre.y()) <= 3);
}

void TstAbout::keysClose_data() {
    QTest::addColumn<int>("key");
    QTest::newRow("Enter") << int(Qt::Key_Return);
    QTest::newRow("keypad Enter") << int(Qt::Key_Enter);
    QTest::newRow("Esc") << int(Qt::Key_Escape);
}

void TstAbout::keysClose() {
    QFETCH(int, key);
    FakeDialogs dialogs;
    NoLaunch launch;
    FrmAbout d(fullEdition(), dialogs, nullptr, launch.with([] { return std::nullopt; }));
    bool stillOpen = false;
    QTimer::singleShot(0, &d, [&] {
        QWidget* target = d.focusWidget() ? d.focusWidget() : &d;
        QTest::keyClick(target, static_cast<Qt::Key>(key));
        stillOpen = d.isVisible();
        if (stillOpen)
            d.reject();
    });
    d.exec();
    QVERIFY(!stillOpen);
    QVERIFY(launch.started.isEmpty());
    QVERIFY(dialogs.messages.isEmpty());
}

void TstAbout::systemInformation_data() {
    QTest::addColumn<bool>("found");
    QTest::addColumn<bool>("startWorks");
    QTest::addColumn<bool>("message");
    QTest::newRow("no tool") << false << true << true;
    QTest::newRow("tool fails to start") << true << false << true;
    QTest::newRow("tool starts") << true << true << false;
}

void TstAbout::systemInformation() {
    QFETCH(bool, found);
    QFETCH(bool, startWorks);
    QFETCH(bool, message);
    FakeDialogs dialogs;
    NoLaunch launch;
    launch.startWorks = startWorks;
    const SystemInfoTool tool{QStringLiteral("/opt/tools/sysinfo"), {}};
    FrmAbout d(fullEdition(), dialogs, nullptr, launch.with([&]() -> std::optional<SystemInfoTool> {
        if (found)
            return tool;
        return std::nullopt;
    }));
    d.show();
    d.findChild<QPushButton*>(QStringLiteral("cmdSysInfo"))->click();
    QCOMPARE(launch.started.size(), found ? 1 : 0);
    if (found)
        QCOMPARE(launch.started[0].program, tool.program);
    QCOMPARE(dialogs.messages.size(), message ? 1 : 0);
    if (message) {
        QCOMPARE(dialogs.messages[0].text,
                 QStringLiteral("System Information Is Unavailable At This Time"));
        QCOMPARE(dialogs.messages[0].title, QStringLiteral("Quillon"));
        QCOMPARE(dialogs.messages[0].buttons, MessageButtons::Ok);
    }
    QVERIFY(d.isVisible());
}

void TstAbout::firstToolOnPath_data() {
    QTest::addColumn<QStringList>("installed");
    QTest::addColumn<QString>("chosen");
    QTest::newRow("none") << QStringList{QStringLiteral("top")} << QString();
    QTest::newRow("one") << QStringList{QStringLiteral("ksysguard")} << QStringLiteral("ksysguard");
    QTest::newRow("earlier in the list wins")
        << QStringList{QStringLiteral("ksysguard"), QStringLiteral("gnome-system-monitor")}
        << QStringLiteral("gnome-system-monitor");
}

void TstAbout::firstToolOnPath() {
    if (QOperatingSystemVersion::currentType() == QOperatingSystemVersion::Windows)
        QSKIP("Windows names the tool in its registry");
    QFETCH(QStringList, installed);
    QFETCH(QString, chosen);
    PathWith path(installed);
    FakeDialogs dialogs;
    NoLaunch launch;
    FrmAbout d(fullEdition(), dialogs, nullptr, launch.with(findSystemInfoTool));
    d.startSysInfo();
    if (chosen.isEmpty()) {
        QVERIFY(launch.started.isEmpty());
        QCOMPARE(dialogs.messages.size(), 1);
        return;
    }
    QCOMPARE(launch.started.size(), 1);
    QCOMPARE(launch.started[0].program, path.dir.filePath(chosen));
    QVERIFY(launch.started[0].arguments.isEmpty());
    QVERIFY(dialogs.messages.isEmpty());
}

void TstAbout::openedFromTheMenu() {
    WindowFixture f;
    FrmXmodem& w = f.window();
    w.formLoad();
    w.show();
    QString title;
    QTimer::singleShot(0, &w, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        QVERIFY(qobject_cast<FrmAbout*>(modal));
        title = modal->windowTitle();
        QCOMPARE(modal->parentWidget(), &w);
        QTest::keyClick(modal, Qt::Key_Escape);
    });
    w.menuItem(QStringLiteral("mnuAbout"))->trigger();
    QCOMPARE(title, QStringLiteral("Sobre o Quillon"));
    QVERIFY(!QApplication::activeModalWidget());
}

QTEST_MAIN(TstAbout)
#include "tst_about.moc"
