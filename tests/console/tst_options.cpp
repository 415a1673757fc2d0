#include "app/main_window.h"
#include "console/cfg_string.h"
#include "console/frm_options.h"
#include "tests/app/window_fixture.h"
#include "tests/support/pty_peer.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QLineEdit>
#include <QScreen>
#include <QTest>
#include <QTimer>

using namespace quillon;
using namespace quillon::test;

namespace {

QAbstractButton* option(FrmOptions& d, const char* name) {
    return d.findChild<QAbstractButton*>(QString::fromLatin1(name));
}

} // namespace

class TstOptions : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void cfgString_data();
    void cfgString();
    void opensOnTheCurrentValues();
    void applyThenCancelKeepsTheApplied();
    void modemBoxesFollowTheCheckBox();
    void portReopenedAfterTheDialog();
    void noButtonAnswersEnter_data();
    void noButtonAnswersEnter();
    void opensCentred();
};

void TstOptions::cfgString_data() {
    QTest::addColumn<QString>("current");
    QTest::addColumn<QString>("written");
    QTest::newRow("known values") << QStringLiteral("2,19200,e,7,2")
                                  << QStringLiteral("2,19200,e,7,2");
    QTest::newRow("port 6 is kept")
        << QStringLiteral("6,9600,n,8,1") << QStringLiteral("6,9600,n,8,1");
    QTest::newRow("38400 unknown")
        << QStringLiteral("1,38400,n,8,1") << QStringLiteral("1,1200,n,8,1");
    QTest::newRow("upper-case N unknown")
        << QStringLiteral("3,9600,N,8,1") << QStringLiteral("3,9600,n,8,1");
    QTest::newRow("1.5 stop bits")
        << QStringLiteral("1,4800,o,8,1.5") << QStringLiteral("1,4800,o,8,1.5");
    QTest::newRow("garbage port") << QStringLiteral("x,2400,n,7,1")
                                  << QStringLiteral("1,2400,n,7,1");
}

void TstOptions::cfgString() {
    QFETCH(QString, current);
    QFETCH(QString, written);
    CfgSelection selection;
    selection.load(current);
    QCOMPARE(selection.text(), written);
}

void TstOptions::opensOnTheCurrentValues() {
    WindowFixture f;
    f.session.settings.portNumber = QStringLiteral("2");
    f.session.settings.terminalSettings = QStringLiteral("19200,e,7,2");
    FrmOptions d(f.session);
    QCOMPARE(d.windowTitle(), QStringLiteral("Configurações do Terminal"));
    QVERIFY(option(d, "Option1(1)")->isChecked());
    QCOMPARE(option(d, "Option1(1)")->text(), QStringLiteral("COM 2"));
    QVERIFY(option(d, "Option5(4)")->isChecked());
    QVERIFY(option(d, "Option2(1)")->isChecked());
    QCOMPARE(option(d, "Option2(1)")->text(), QStringLiteral("Par"));
    QVERIFY(option(d, "Option3(0)")->isChecked());
    QVERIFY(option(d, "Option4(2)")->isChecked());
    d.cmdOkClick();
    QCOMPARE(f.session.settings.portNumber, QStringLiteral("2"));
    QCOMPARE(f.session.settings.terminalSettings, QStringLiteral("19200,e,7,2"));
    // Choosing "1,5 bit" writes 1.5.
    FrmOptions again(f.session);
    option(again, "Option4(1)")->setChecked(true);
    QCOMPARE(again.setCfgString(), QStringLiteral("2,19200,e,7,1.5"));
}

void TstOptions::applyThenCancelKeepsTheApplied() {
    WindowFixture f;
    f.session.settings.terminalSettings = QStringLiteral("1200,n,8,1");
    FrmOptions d(f.session);
    option(d, "Option5(3)")->setChecked(true);
    d.cmdApplyClick();
    option(d, "Option5(4)")->setChecked(true);
    QTimer::singleShot(0, &d, [&d] { QTest::keyClick(&d, Qt::Key_Escape); });
    d.exec();
    QCOMPARE(f.session.settings.terminalSettings, QStringLiteral("9600,n,8,1"));
}

void TstOptions::modemBoxesFollowTheCheckBox() {
    WindowFixture f;
    f.session.settings.extraAtCommands = QStringLiteral("X3");
    FrmOptions d(f.session);
    auto* check = d.findChild<QCheckBox*>(QStringLiteral("Check1"));
    auto* at = d.findChild<QLineEdit*>(QStringLiteral("Text1"));
    QVERIFY(!check->isChecked());
    QVERIFY(!at->isEnabled());
    check->click();
    QVERIFY(at->isEnabled());
    QVERIFY(d.findChild<QLineEdit*>(QStringLiteral("Text2"))->isEnabled());
    check->click();
    QVERIFY(!at->isEnabled());
    QCOMPARE(at->text(), QStringLiteral("X3"));
    d.cmdOkClick();
    QCOMPARE(f.session.settings.useModem, 0);
}

void TstOptions::portReopenedAfterTheDialog() {
    WindowFixture f(true);
    PtyPeer peer(f.folder.portsDir, 2);
    FrmXmodem& w = f.window();
    w.formLoad();
    w.show();
    QTimer::singleShot(50, [&] {
        auto* d = w.findChild<FrmOptions*>();
        QVERIFY(d);
        option(*d, "Option1(1)")->setChecked(true);
        option(*d, "Option5(3)")->setChecked(true);
        d->cmdOkClick();
    });
    w.execute(Command::TerminalSettings);
    QVERIFY(w.mainPort().isOpen());
    QCOMPARE(w.mainPort().portNumber(), 2);
    QCOMPARE(w.mainPort().settings(), QStringLiteral("9600,n,8,1"));
    QCOMPARE(w.findChild<QLineEdit*>(QStringLiteral("Text4"))->text(), QStringLiteral("2"));
    QVERIFY(!f.session.link.terminalMode); // still in XMODEM mode
    QVERIFY(w.mainPort().write("z") == 0);
    QVERIFY(peer.waitFor("z", 2000));
}

void TstOptions::noButtonAnswersEnter_data() {
    QTest::addColumn<QString>("focused");
    QTest::newRow("option") << QStringLiteral("Option5(3)");
    QTest::newRow("modem field") << QStringLiteral("Text1");
    QTest::newRow("OK") << QStringLiteral("cmdOK");
    QTest::newRow("Cancelar") << QStringLiteral("cmdCancel");
    QTest::newRow("Aplicar") << QStringLiteral("cmdApply");
}

void TstOptions::noButtonAnswersEnter() {
    QFETCH(QString, focused);
    WindowFixture f;
    f.session.settings.terminalSettings = QStringLiteral("1200,n,8,1");
    f.session.settings.useModem = 1; // the modem fields take input
    FrmOptions d(f.session);
    d.show();
    QVERIFY(QTest::qWaitForWindowActive(&d));
    option(d, "Option5(3)")->setChecked(true);
    QWidget* target = d.findChild<QWidget*>(focused);
    QVERIFY(target);
    target->setFocus();
    QVERIFY(target->hasFocus());
    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter})
        QTest::keyClick(target, key);
    QVERIFY(d.isVisible());
    // Nothing applied, nothing kept.
    QCOMPARE(f.session.settings.terminalSettings, QStringLiteral("1200,n,8,1"));
}

void TstOptions::opensCentred() {
    WindowFixture f;
    FrmOptions d(f.session);
    d.show();
    QVERIFY(QTest::qWaitForWindowExposed(&d));
    // The window as the user sees it, frame included, sits in the middle of the screen.
    const QPoint offset = d.frameGeometry().center() - d.screen()->geometry().center();
    QVERIFY2(offset.manhattanLength() <= 1,
             qPrintable(QStringLiteral("%1,%2").arg(offset.x()).arg(offset.y())));
}

QTEST_MAIN(TstOptions)
#include "tst_options.moc"
