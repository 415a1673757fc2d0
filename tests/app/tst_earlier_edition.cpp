#include "tests/app/window_fixture.h"
#include "tests/support/pty_peer.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QTest>
#include <QToolBar>

using namespace quillon;
using namespace quillon::test;

namespace {

// What a full edition leaves in the shared settings file.
const QByteArray FullEditionIni = "3\r\n19200,e,7,2\r\n2400,n,8,1\r\n/prog/maq1.Epr\r\n/work/\r\n"
                                  "1\r\nX3\r\n5551234\r\n\r\n";

QStringList toolbarKeys(FrmXmodem& w, const char* name) {
    QStringList keys;
    for (QAction* action : w.findChild<QToolBar*>(QString::fromLatin1(name))->actions())
        if (!action->data().toString().isEmpty())
            keys << action->data().toString();
    return keys;
}

QStringList menuCaptions(FrmXmodem& w) {
    QStringList captions;
    for (QAction* top : w.menuBar()->actions()) {
        captions << top->text();
        if (top->menu())
            for (QAction* item : top->menu()->actions())
                captions << item->text() + QLatin1Char('|') + item->shortcut().toString() +
                                QLatin1Char('|') + (item->isEnabled() ? "on" : "off");
    }
    return captions;
}

} // namespace

class TstEarlierEdition : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void commandsAndLook();
    void readsFiveLinesAndWritesFive();
    void firstStartWritesFiveLines();
    void sairLeavesWithoutSaving();
    void noProbeAtStart();
    void settingsInputBox_data();
    void settingsInputBox();
    void failedItemSwitchesTerminalBack();
    void typedPortTakesEffectAtTheNextSwitch();
    void waitsCannotBeCancelled();
};

void TstEarlierEdition::commandsAndLook() {
    WindowFixture earlier(false, earlierEdition());
    WindowFixture full;
    FrmXmodem& w = earlier.window();
    w.formLoad();
    QCOMPARE(w.findChild<QLabel*>(QStringLiteral("Label10"))->text(),
             QStringLiteral("Versão: 2.1"));
    QVERIFY(!w.findChild<QComboBox*>(QStringLiteral("Combo1"))->isVisibleTo(&w));
    auto* text4 = w.findChild<QLineEdit*>(QStringLiteral("Text4"));
    QVERIFY(text4->isVisibleTo(&w));
    QVERIFY(!text4->isReadOnly());
    auto* label6 = w.findChild<QLabel*>(QStringLiteral("Label6"));
    QCOMPARE(label6->text(), QStringLiteral("COM"));
    QVERIFY(label6->geometry().bottom() <= text4->geometry().top());
    QCOMPARE(toolbarKeys(w, "ToolbarTerminal"),
             (QStringList{"XMODEM", "LIMPAR", "VARIAVEIS", "PARAMETROS", "RELATORIO", "ENTRAR_YZTW",
                          "ENVIAR_YZTW"}));
    QCOMPARE(toolbarKeys(w, "ToolbarXmodem"), toolbarKeys(full.window(), "ToolbarXmodem"));
    // The full edition's menus, less the session recording.
    QStringList fullMenus = menuCaptions(full.window());
    QVERIFY(fullMenus.removeOne(QStringLiteral("&Gravar sessão...||on")));
    QCOMPARE(menuCaptions(w), fullMenus);
    QVERIFY(!w.menuItem(QStringLiteral("mnuGravar")));
    QVERIFY(!full.window().findChild<QLabel*>(QStringLiteral("Label6")));
}

void TstEarlierEdition::readsFiveLinesAndWritesFive() {
    WindowFixture f(false, earlierEdition());
    f.folder.writeIni(FullEditionIni);
    FrmXmodem& w = f.window();
    w.formLoad();
    QCOMPARE(w.findChild<QLineEdit*>(QStringLiteral("Text4"))->text(), QStringLiteral("3"));
    QCOMPARE(w.findChild<QLineEdit*>(QStringLiteral("Text5"))->text(),
             QStringLiteral("19200,e,7,2"));
    QCOMPARE(f.session.settings.terminalSettings, QStringLiteral("2400,n,8,1"));
    QCOMPARE(f.session.settings.useModem, 0);
    w.findChild<QLineEdit*>(QStringLiteral("Text4"))->setText(QStringLiteral("4"));
    w.close();
    // An eight-line file is rewritten with this program's five lines only.
    QCOMPARE(f.folder.readIni(), QByteArray("4\r\n19200,e,7,2\r\n2400,n,8,1\r\n/prog/maq1.Epr\r\n"
                                            "/work/\r\n\r\n"));
}

void TstEarlierEdition::firstStartWritesFiveLines() {
    WindowFixture f(false, earlierEdition());
    FrmXmodem& w = f.window();
    w.formLoad();
    w.close();
    QCOMPARE(f.folder.readIni(),
             "1\r\n9600,n,8,1\r\n1200,n,8,1\r\n/\r\n" + f.folder.appDir.toUtf8() + "/\r\n\r\n");
}

void TstEarlierEdition::sairLeavesWithoutSaving() {
    WindowFixture f(false, earlierEdition());
    f.folder.writeIni(FullEditionIni);
    FrmXmodem& w = f.window();
    w.formLoad();
    w.show();
    w.execute(Command::Terminal);
    QVERIFY(w.mainPort().isOpen());
    w.findChild<QLineEdit*>(QStringLiteral("Text5"))->setText(QStringLiteral("4800,n,8,1"));
    bool exitAsked = false;
    bool ended = false;
    QObject::connect(&w, &FrmXmodem::exitRequested, &w, [&] { exitAsked = true; });
    QObject::connect(&w, &FrmXmodem::ended, &w, [&] { ended = true; });
    w.menuItem(QStringLiteral("mnuExit"))->trigger();
    QVERIFY(exitAsked);
    QVERIFY(!ended);
    QVERIFY(w.mainPort().isOpen());
    QCOMPARE(f.folder.readIni(), FullEditionIni);
}

void TstEarlierEdition::noProbeAtStart() {
    WindowFixture f(true, earlierEdition());
    f.folder.writeIni("1\r\n9600,n,8,1\r\n1200,n,8,1\r\n/\r\n/\r\n\r\n");
    PtyPeer modem(f.folder.portsDir, 1);
    QVERIFY(modem.ok());
    answerLikeModem(modem);
    QElapsedTimer clock;
    clock.start();
    f.window().formLoad();
    QVERIFY(clock.elapsed() < 400); // a probe waits half a second for a quiet line
    QVERIFY(modem.received().isEmpty());
    QCOMPARE(f.window().findChild<QComboBox*>(QStringLiteral("Combo1"))->count(), 0);
}

void TstEarlierEdition::settingsInputBox_data() {
    QTest::addColumn<QString>("answer");
    QTest::addColumn<QStringList>("events");
    QTest::addColumn<QString>("stored");
    QTest::newRow("new settings") << QStringLiteral("9600,e,7,1")
                                  << QStringList{"close", "open 9600,e,7,1"}
                                  << QStringLiteral("9600,e,7,1");
    QTest::newRow("empty answer changes nothing")
        << QString() << QStringList{} << QStringLiteral("1200,n,8,1");
}

void TstEarlierEdition::settingsInputBox() {
    QFETCH(QString, answer);
    QFETCH(QStringList, events);
    QFETCH(QString, stored);
    WindowFixture f(false, earlierEdition());
    FrmXmodem& w = f.window();
    w.formLoad();
    w.show();
    w.findChild<QLineEdit*>(QStringLiteral("Text4"))->setText(QStringLiteral("3"));
    w.execute(Command::Terminal);
    // A number typed now must not move the open port.
    w.findChild<QLineEdit*>(QStringLiteral("Text4"))->setText(QStringLiteral("5"));
    const qsizetype before = f.fakePort().events().size();
    f.dialogs.inputs << answer;
    w.execute(Command::TerminalSettings);
    QCOMPARE(f.dialogs.prompts.size(), 1);
    QCOMPARE(f.dialogs.prompts[0].text, QStringLiteral("Entre com uma nova configuração:"));
    QCOMPARE(f.dialogs.prompts[0].title, QStringLiteral("Configurações"));
    QCOMPARE(f.dialogs.defaults[0], QStringLiteral("1200,n,8,1"));
    QCOMPARE(f.fakePort().events().mid(before), events);
    QCOMPARE(f.fakePort().portNumber(), 3);
    QCOMPARE(f.session.settings.terminalSettings, stored);
    QVERIFY(f.session.link.terminalMode);
    QVERIFY(f.dialogs.messages.isEmpty());
}

void TstEarlierEdition::failedItemSwitchesTerminalBack() {
    WindowFixture f(false, earlierEdition());
    FrmXmodem& w = f.window();
    w.formLoad();
    w.show();
    w.execute(Command::Terminal);
    QVERIFY(f.session.link.terminalMode);
    f.dialogs.inputs << QStringLiteral("9600,x,8,1"); // a bad parity
    w.execute(Command::TerminalSettings);
    QCOMPARE(f.dialogs.messages.size(), 1);
    QVERIFY(!f.session.link.terminalMode);
    QVERIFY(!w.menuItem(QStringLiteral("MnuSubEditar"), 0)->isChecked());
    // Switching on a port that cannot open: the window switched, then switches back.
    f.fakePort().openResult = [](int) { return 8005; };
    w.execute(Command::Terminal);
    QCOMPARE(f.dialogs.messages.size(), 2);
    QVERIFY(!f.session.link.terminalMode);
}

void TstEarlierEdition::typedPortTakesEffectAtTheNextSwitch() {
    WindowFixture f(true, earlierEdition());
    PtyPeer peer(f.folder.portsDir, 4);
    QVERIFY(peer.ok());
    FrmXmodem& w = f.window();
    w.formLoad();
    w.show();
    w.findChild<QLineEdit*>(QStringLiteral("Text4"))->setText(QStringLiteral("4"));
    w.execute(Command::Terminal);
    QVERIFY(f.dialogs.messages.isEmpty());
    QVERIFY(w.mainPort().isOpen());
    QCOMPARE(w.mainPort().write("x"), 0);
    QVERIFY(peer.waitFor("x", 2000));
}

void TstEarlierEdition::waitsCannotBeCancelled() {
    WindowFixture f(false, earlierEdition());
    QElapsedTimer clock;
    clock.start();
    QTimer::singleShot(50, [&] { f.session.waiter.cancel(); });
    f.session.waiter.waitMs(300);
    QVERIFY(clock.elapsed() >= 295);
}

QTEST_MAIN(TstEarlierEdition)
#include "tst_earlier_edition.moc"
