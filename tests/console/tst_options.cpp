#include "app/main_window.h"
#include "console/cfg_string.h"
#include "console/frm_options.h"
#include "tests/app/window_fixture.h"
#include "tests/support/pty_peer.h"

#include <QAbstractButton>
#include <QButtonGroup>
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

const char* const kGroupNames[] = {"Option1", "Option5", "Option2", "Option3", "Option4"};

// The selected option of every group as the user reads it: "COM 7|9600|Par|7 bits|1 bit".
QString shownOptions(FrmOptions& d) {
    QStringList shown;
    for (const char* name : kGroupNames) {
        const auto* group = d.findChild<QButtonGroup*>(QString::fromLatin1(name));
        shown << (group->checkedButton() ? group->checkedButton()->text() : QString());
    }
    return shown.join(QLatin1Char('|'));
}

// Picks the option with this caption in a group, as a click does: "Option5=19200".
void pick(FrmOptions& d, const QString& choice) {
    const QString group = choice.section(QLatin1Char('='), 0, 0);
    const QString caption = choice.section(QLatin1Char('='), 1);
    for (QAbstractButton* button : d.findChildren<QAbstractButton*>()) {
        if (button->objectName().startsWith(group + QLatin1Char('(')) &&
            button->text() == caption) {
            button->setChecked(true);
            return;
        }
    }
    QFAIL(qPrintable(choice));
}

} // namespace

class TstOptions : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void cfgString_data();
    void cfgString();
    void opensOnTheCurrentValues();
    void okKeepsWhatWasNotTouched_data();
    void okKeepsWhatWasNotTouched();
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
    // What the port takes is kept, whatever the dialog's own options are.
    QTest::newRow("38400 offered")
        << QStringLiteral("1,38400,n,8,1") << QStringLiteral("1,38400,n,8,1");
    QTest::newRow("upper-case E") << QStringLiteral("3,9600,E,8,1")
                                  << QStringLiteral("3,9600,e,8,1");
    // What the port refuses leaves its group as built.
    QTest::newRow("a speed no port has")
        << QStringLiteral("1,38401,n,8,1") << QStringLiteral("1,1200,n,8,1");
    QTest::newRow("signs and NULs")
        << QString::fromLatin1("2x,+9600,x,9\0,3", 15) << QStringLiteral("1,1200,n,8,1");
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

void TstOptions::okKeepsWhatWasNotTouched_data() {
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("settings");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QStringList>("picks");
    QTest::addColumn<QString>("storedPort"); // what OK leaves in Text4
    QTest::addColumn<QString>("storedSettings");
    QTest::newRow("07 opens COM 7")
        << QStringLiteral("07") << QStringLiteral("9600,n,8,1")
        << QStringLiteral("COM 7|9600|Nenhuma|8 bits|1 bit") << QStringList()
        << QStringLiteral("07") << QStringLiteral("9600,n,8,1");
    QTest::newRow("even parity in capitals")
        << QStringLiteral("1") << QStringLiteral("9600,E,7,1")
        << QStringLiteral("COM 1|9600|Par|7 bits|1 bit") << QStringList() << QStringLiteral("1")
        << QStringLiteral("9600,E,7,1");
    QTest::newRow("blanks around fields")
        << QStringLiteral("2") << QStringLiteral("9600, o, 7, 2")
        << QStringLiteral("COM 2|9600|Ímpar|7 bits|2 bits") << QStringList() << QStringLiteral("2")
        << QStringLiteral("9600, o, 7, 2");
    QTest::newRow("38400 and space parity")
        << QStringLiteral("4") << QStringLiteral("38400,S,5,1.5")
        << QStringLiteral("COM 4|38400|Espaço|5 bits|1,5 bit") << QStringList()
        << QStringLiteral("4") << QStringLiteral("38400,S,5,1.5");
    // The groups the user changed are written from their options; the others keep their text.
    QTest::newRow("only the speed changed")
        << QStringLiteral("07") << QStringLiteral("9600, o, 7, 2")
        << QStringLiteral("COM 7|9600|Ímpar|7 bits|2 bits") << QStringList{"Option5=19200"}
        << QStringLiteral("07") << QStringLiteral("19200, o, 7, 2");
    QTest::newRow("port and parity changed") << QStringLiteral("07") << QStringLiteral("9600,E,7,1")
                                             << QStringLiteral("COM 7|9600|Par|7 bits|1 bit")
                                             << QStringList{"Option1=COM 2", "Option2=Nenhuma"}
                                             << QStringLiteral("2") << QStringLiteral("9600,n,7,1");
    QTest::newRow("changed and changed back")
        << QStringLiteral("07") << QStringLiteral("9600,E,7,1")
        << QStringLiteral("COM 7|9600|Par|7 bits|1 bit")
        << QStringList{"Option1=COM 1", "Option1=COM 7", "Option2=Ímpar", "Option2=Par"}
        << QStringLiteral("07") << QStringLiteral("9600,E,7,1");
    // What the port would refuse shows the option as built, and OK writes that.
    QTest::newRow("port 0") << QStringLiteral("0") << QStringLiteral("9600,n,8,1")
                            << QStringLiteral("COM 1|9600|Nenhuma|8 bits|1 bit") << QStringList()
                            << QStringLiteral("1") << QStringLiteral("9600,n,8,1");
    QTest::newRow("9 data bits") << QStringLiteral("1") << QStringLiteral("9600,E,9,1")
                                 << QStringLiteral("COM 1|9600|Par|8 bits|1 bit") << QStringList()
                                 << QStringLiteral("1") << QStringLiteral("9600,e,8,1");
}

void TstOptions::okKeepsWhatWasNotTouched() {
    QFETCH(QString, port);
    QFETCH(QString, settings);
    QFETCH(QString, shown);
    QFETCH(QStringList, picks);
    QFETCH(QString, storedPort);
    QFETCH(QString, storedSettings);
    WindowFixture f;
    f.session.settings.portNumber = port;
    f.session.settings.terminalSettings = settings;
    FrmOptions d(f.session);
    QCOMPARE(shownOptions(d), shown);
    for (const QString& choice : picks)
        pick(d, choice);
    d.cmdOkClick();
    QCOMPARE(f.session.settings.portNumber, storedPort);
    QCOMPARE(f.session.settings.terminalSettings, storedSettings);
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
