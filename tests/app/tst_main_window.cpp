#include "app/command_tables.h"
#include "app/terminal_box.h"
#include "core/file_dialog.h"
#include "platform/help_viewer.h"
#include "platform/qt_dialogs.h"
#include "tests/app/window_fixture.h"
#include "tests/support/process_stats.h"
#include "tests/support/pty_peer.h"

#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <QToolBar>
#include <map>

#include <optional>

using namespace quillon;
using namespace quillon::test;

namespace {

QAction* editar(FrmXmodem& w, int index) {
    return w.menuItem(QStringLiteral("MnuSubEditar"), index);
}

// Shown and active, so shortcuts and focus behave as for a user.
void showActive(FrmXmodem& w) {
    w.show();
    QApplication::setActiveWindow(&w);
    QVERIFY(QTest::qWaitForWindowActive(&w));
}

} // namespace

class TstMainWindow : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void fixedTexts();
    void menuItems_data();
    void menuItems();
    void toolbars_data();
    void toolbars();
    void everyCommandHasOneHandler();
    void statesFollowTheMode_data();
    void statesFollowTheMode();
    void f3TogglesAndF5IsDisabled();
    void terminalOnOffWithRealPort();
    void terminalOnWithPortInUse();
    void busyTransferKeepsTheMode();
    void receiveIntoTerminal_data();
    void receiveIntoTerminal();
    void receivedTextFollowsTheSelection();
    void typedKeyGoesOutAndShows();
    void composedCharacterGoesOut_data();
    void composedCharacterGoesOut();
    void terminalKeepsNewestText();
    void burstIsShownTogether();
    void garbageIntoTerminal();
    void portVanishesUnderTerminal();
    void limparClearsAndFocuses();
    void captionBoxesPassFocus();
    void xmodemModeSizeSnapsBack();
    void chooseProgramFile();
    void chooseCancelled();
    void saveModeFileDialog_data();
    void saveModeFileDialog();
    void realSaveDialogLeavesTheQuestionToUs();
    void cancelTransfer();
    void consoleItems();
    void reportReadingOnAClosedPort();
    void enviarRunsTheUpload();
    void helpViewer();
    void modemWaitCallPoint();
    void closingClosesThePort();
};

void TstMainWindow::fixedTexts() {
    WindowFixture f;
    FrmXmodem& w = f.window();
    w.formLoad();
    QCOMPARE(w.windowTitle(), QStringLiteral("Quillon - Xmodem / Terminal para PXC"));
    QCOMPARE(w.findChild<QLabel*>(QStringLiteral("Label10"))->text(),
             QStringLiteral("Versão: 2.3"));
    const struct {
        const char* name;
        const char* text;
    } labels[] = {{"Label1", "OK"},
                  {"Label2", "Erros"},
                  {"Label3", "Total"},
                  {"Label5", "Configuração"},
                  {"Label7", "Arquivo:"}};
    for (const auto& l : labels)
        QCOMPARE(w.findChild<QLabel*>(QString::fromLatin1(l.name))->text(),
                 QString::fromUtf8(l.text));
    const struct {
        const char* name;
        const char* text;
    } edits[] = {{"Text1", "Estação:"},  {"Text2", "Identificador:"}, {"Text3", "Comando Y,Z,T,W:"},
                 {"TxtYZTW", "2,2,2,2"}, {"TxtEstacao", "B"},         {"TxtIdent", "5839"},
                 {"Text5", "9600,n,8,1"}};
    for (const auto& e : edits) {
        auto* edit = w.findChild<QLineEdit*>(QString::fromLatin1(e.name));
        QVERIFY2(edit, e.name);
        QCOMPARE(edit->text(), QString::fromUtf8(e.text));
        QVERIFY(!edit->accessibleName().isEmpty());
    }
    QVERIFY(w.findChild<QWidget*>(QStringLiteral("Combo1")));
    QVERIFY(w.findChild<QWidget*>(QStringLiteral("ProgressBar1")));
    QVERIFY(w.findChild<QWidget*>(QStringLiteral("Command1")));
    QVERIFY(!w.terminal().isVisibleTo(&w));
}

void TstMainWindow::menuItems_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("shortcut");
    QTest::addColumn<bool>("visible");
    QTest::addColumn<bool>("enabled");
    auto row = [](const char* tag, const char* name, int index, const char* caption,
                  const char* key, bool visible, bool enabled) {
        QTest::newRow(tag) << QString::fromLatin1(name) << index << QString::fromUtf8(caption)
                           << QString::fromLatin1(key) << visible << enabled;
    };
    row("mnuChoose", "mnuChoose", -1, "&Abrir", "", true, true);
    row("mnuRecv", "mnuRecv", -1, "&Receber (download)", "", false, true);
    row("mnuSnd", "mnuSnd", -1, "&Enviar (upload)", "", true, true);
    row("mnuExit", "mnuExit", -1, "&Sair", "", true, true);
    row("0", "MnuSubEditar", 0, "&Terminal", "F3", true, true);
    row("1", "MnuSubEditar", 1, "Alterar &Configurações Terminal", "", true, true);
    row("2", "MnuSubEditar", 2, "Alterar &Diretório de Trabalho", "", false, false);
    row("4", "MnuSubEditar", 4, "Leitura de &Variáveis", "F5", true, false);
    row("5", "MnuSubEditar", 5, "Leitura de &Parâmetros", "F6", true, false);
    row("6", "MnuSubEditar", 6, "Leitura do &Relatório", "F7", true, false);
    row("8", "MnuSubEditar", 8, "&Limpa texto", "F8", true, false);
    row("10", "MnuSubEditar", 10, "Entrar comando YZTW", "F9", true, false);
    row("11", "MnuSubEditar", 11, "Enviar comando YZTW", "F11", true, false);
    row("MnuConteudo", "MnuConteudo", -1, "&Conteúdo", "F1", true, true);
    row("mnuAbout", "mnuAbout", -1, "&Sobre", "", true, true);
}

void TstMainWindow::menuItems() {
    QFETCH(QString, name);
    QFETCH(int, index);
    QFETCH(QString, caption);
    QFETCH(QString, shortcut);
    QFETCH(bool, visible);
    QFETCH(bool, enabled);
    WindowFixture f;
    QAction* item = f.window().menuItem(name, index);
    QVERIFY(item);
    QCOMPARE(item->text(), caption);
    QCOMPARE(item->shortcut(), QKeySequence(shortcut));
    QCOMPARE(item->isVisible(), visible);
    if (visible) // Qt reports a hidden action as disabled whatever it was set to
        QCOMPARE(item->isEnabled(), enabled);
}

void TstMainWindow::toolbars_data() {
    QTest::addColumn<QString>("bar");
    QTest::addColumn<QStringList>("keys");
    QTest::addColumn<QStringList>("tips");
    QTest::newRow("xmodem") << QStringLiteral("ToolbarXmodem")
                            << QStringList{"TERMINAL", "ABRIR", "ENVIAR", "CANCEL"}
                            << QStringList{"Terminal", "Abrir", "Enviar", "Cancelar"};
    QTest::newRow("terminal") << QStringLiteral("ToolbarTerminal")
                              << QStringList{"XMODEM",     "LIMPAR",      "VARIAVEIS",
                                             "PARAMETROS", "RELATORIO",   "TESTARCOM",
                                             "MODBUS",     "ENTRAR_YZTW", "ENVIAR_YZTW"}
                              << QStringList{QStringLiteral("Xmodem"),
                                             QStringLiteral("Limpar"),
                                             QStringLiteral("Leitura de Variáveis"),
                                             QStringLiteral("Leitura de Parâmetros"),
                                             QStringLiteral("Leitura do Relatório"),
                                             QStringLiteral("Testar Comunicação Serial"),
                                             QStringLiteral("Terminal MODBUS"),
                                             QStringLiteral("Entrar comando YZTW"),
                                             QStringLiteral("Envia comando YZTW")};
}

void TstMainWindow::toolbars() {
    QFETCH(QString, bar);
    QFETCH(QStringList, keys);
    QFETCH(QStringList, tips);
    WindowFixture f;
    auto* toolbar = f.window().findChild<QToolBar*>(bar);
    QVERIFY(toolbar);
    QStringList foundKeys;
    QStringList foundTips;
    for (QAction* action : toolbar->actions()) {
        if (action->data().toString().isEmpty())
            continue;
        foundKeys << action->data().toString();
        foundTips << action->toolTip();
        QVERIFY(!action->icon().isNull());
    }
    QCOMPARE(foundKeys, keys);
    QCOMPARE(foundTips, tips);
}

void TstMainWindow::everyCommandHasOneHandler() {
    // A key and a menu item for the same command must do the same thing.
    const CommandTables tables = commandTables(fullEdition());
    std::map<Command, CommandHandler> seen;
    const auto check = [&seen](Command command, CommandHandler handler) {
        if (command == Command::None) {
            QVERIFY(!handler);
            return;
        }
        QVERIFY(handler);
        const auto [at, added] = seen.emplace(command, handler);
        QVERIFY2(added || at->second == handler,
                 qPrintable(QString::number(static_cast<int>(command))));
    };
    for (const MenuSpec& menu : tables.menus)
        for (const MenuItemSpec& item : menu.items)
            check(item.command, item.handler);
    for (const ToolButtonSpec& button : tables.xmodemButtons + tables.terminalButtons)
        check(button.command, button.handler);
    for (int id = static_cast<int>(Command::ChooseProgramFile);
         id <= static_cast<int>(Command::RecordSession); ++id) {
        QVERIFY2(seen.count(static_cast<Command>(id)), qPrintable(QString::number(id)));
        QCOMPARE(handlerOf(tables, static_cast<Command>(id)), seen[static_cast<Command>(id)]);
    }
}

void TstMainWindow::statesFollowTheMode_data() {
    QTest::addColumn<bool>("terminal");
    QTest::newRow("xmodem") << false;
    QTest::newRow("terminal") << true;
}

void TstMainWindow::statesFollowTheMode() {
    QFETCH(bool, terminal);
    WindowFixture f;
    FrmXmodem& w = f.window();
    w.formLoad();
    w.show();
    if (terminal)
        w.execute(Command::Terminal);
    QCOMPARE(f.session.link.terminalMode, terminal);
    QCOMPARE(editar(w, 0)->isChecked(), terminal);
    for (const int index : {4, 5, 6, 8, 10, 11})
        QCOMPARE(editar(w, index)->isEnabled(), terminal);
    QCOMPARE(w.menuItem(QStringLiteral("mnuSnd"))->isEnabled(), !terminal);
    QCOMPARE(w.toolbarXmodem()->isVisible(), !terminal);
    QCOMPARE(w.toolbarTerminal()->isVisible(), terminal);
    QCOMPARE(w.terminal().isVisible(), terminal);
    QCOMPARE(f.fakePort().isOpen(), terminal);
    QVERIFY(f.dialogs.messages.isEmpty());
    if (terminal) {
        QCOMPARE(f.fakePort().settings(), QStringLiteral("1200,n,8,1"));
        QVERIFY(w.windowState() & Qt::WindowMaximized);
    }
}

void TstMainWindow::f3TogglesAndF5IsDisabled() {
    WindowFixture f;
    FrmXmodem& w = f.window();
    w.formLoad();
    showActive(w);
    QTest::keyClick(&w, Qt::Key_F5);
    QVERIFY(f.fakePort().writes().isEmpty());
    QTest::keyClick(&w, Qt::Key_F3);
    QVERIFY(f.session.link.terminalMode);
    QTest::keyClick(&w, Qt::Key_F3);
    QVERIFY(!f.session.link.terminalMode);
    QVERIFY(!f.fakePort().isOpen());
}

void TstMainWindow::terminalOnOffWithRealPort() {
    WindowFixture f(true);
    PtyPeer peer(f.folder.portsDir, 4);
    f.session.settings.terminalSettings = QStringLiteral("9600,n,8,1");
    FrmXmodem& w = f.window();
    w.formLoad();
    w.findChild<QLineEdit*>(QStringLiteral("Text4"))->setText(QStringLiteral("4"));
    w.show();
    w.toolbarButton(QStringLiteral("TERMINAL"))->trigger();
    QVERIFY(f.session.link.terminalMode);
    QVERIFY(w.mainPort().isOpen());
    peer.write("AB");
    QTRY_COMPARE(w.terminal().toPlainText(), QStringLiteral("AB"));
    w.toolbarButton(QStringLiteral("XMODEM"))->trigger();
    QVERIFY(!f.session.link.terminalMode);
    QVERIFY(!w.mainPort().isOpen());
    QVERIFY(w.terminal().toPlainText().isEmpty());
    // Off means off: the port is free for other programs again.
    QSerialPort other;
    other.setPortName(peer.devicePath());
    QVERIFY(other.open(QIODevice::ReadWrite));
    other.close();
    w.execute(Command::Terminal);
    QVERIFY(w.terminal().toPlainText().isEmpty());
    QVERIFY(f.dialogs.messages.isEmpty());
}

void TstMainWindow::terminalOnWithPortInUse() {
    WindowFixture f(true);
    PtyPeer peer(f.folder.portsDir, 3);
    auto holder = holdPort(peer.devicePath());
    QVERIFY(holder);
    FrmXmodem& w = f.window();
    w.formLoad();
    w.findChild<QLineEdit*>(QStringLiteral("Text4"))->setText(QStringLiteral("3"));
    w.show();
    w.execute(Command::Terminal);
    QCOMPARE(f.dialogs.messages.size(), 1);
    QCOMPARE(f.dialogs.messages[0].title, QStringLiteral("ERRO na Porta de Comunicação"));
    QCOMPARE(f.dialogs.messages[0].text, QStringLiteral("Porta já esta em uso"));
    QCOMPARE(f.session.lastErrorNumber, 8005);
    QVERIFY(!f.session.link.terminalMode);
    QVERIFY(!editar(w, 0)->isChecked());
    QVERIFY(w.toolbarXmodem()->isVisible());
    // The same with a COM number that has no device.
    w.findChild<QLineEdit*>(QStringLiteral("Text4"))->setText(QStringLiteral("9"));
    w.execute(Command::Terminal);
    QCOMPARE(f.dialogs.messages.size(), 2);
    QCOMPARE(f.dialogs.messages[1].text, QStringLiteral("Número da porta inválido"));
}

void TstMainWindow::busyTransferKeepsTheMode() {
    WindowFixture f;
    FrmXmodem& w = f.window();
    w.formLoad();
    w.show();
    f.session.transfer.transferBusy = true;
    w.execute(Command::Terminal);
    QVERIFY(!f.session.link.terminalMode);
    QVERIFY(!editar(w, 0)->isChecked());
    f.session.transfer.transferBusy = false;
    w.execute(Command::Terminal);
    f.session.transfer.transferBusy = true;
    w.toolbarButton(QStringLiteral("XMODEM"))->trigger();
    QVERIFY(f.session.link.terminalMode);
    QVERIFY(editar(w, 0)->isChecked());
}

void TstMainWindow::receiveIntoTerminal_data() {
    QTest::addColumn<QList<QByteArray>>("chunks");
    QTest::addColumn<QString>("shown");
    const QString cr(QChar(0x240D));
    const QString lf(QChar(0x240A));
    QTest::newRow("CR LF makes two lines")
        << QList<QByteArray>{"AB\r\nXY"} << QStringLiteral("AB\nXY");
    QTest::newRow("CR LF split over chunks")
        << QList<QByteArray>{"AB\r", "\nXY"} << QStringLiteral("AB\nXY");
    QTest::newRow("lone CR kept") << QList<QByteArray>{"A\rB"}
                                  << QStringLiteral("A") + cr + QStringLiteral("B");
    QTest::newRow("lone LF kept") << QList<QByteArray>{"A\nB"}
                                  << QStringLiteral("A") + lf + QStringLiteral("B");
    QTest::newRow("CR then other chunk")
        << QList<QByteArray>{"A\r", "B"} << QStringLiteral("A") + cr + QStringLiteral("B");
    QTest::newRow("bell and form feed")
        << QList<QByteArray>{"a\x07\x0c"} << QStringLiteral("a\x07\x0c");
    QTest::newRow("accents") << QList<QByteArray>{"\xE7\xE3"} << QStringLiteral("çã");
    QTest::newRow("cp1252 row 80-9F")
        << QList<QByteArray>{"\x80 \x93x\x94 \x85"} << QStringLiteral("€ “x” …");
    // cp1252 leaves these out; they stay the codes they are.
    QTest::newRow("undefined in cp1252")
        << QList<QByteArray>{"\x81\x9D"} << QStringLiteral("\u0081\u009D");
}

void TstMainWindow::receiveIntoTerminal() {
    QFETCH(QList<QByteArray>, chunks);
    QFETCH(QString, shown);
    WindowFixture f;
    FrmXmodem& w = f.window();
    w.formLoad();
    w.show();
    w.execute(Command::Terminal);
    for (const QByteArray& chunk : chunks) {
        f.fakePort().inject(chunk);
        w.terminal().flushReceived(); // each chunk shown on its own, as on a slow line
    }
    QCOMPARE(w.terminal().toPlainText(), shown);
    QVERIFY(f.session.link.rxBuffer.isEmpty());
}

void TstMainWindow::receivedTextFollowsTheSelection() {
    WindowFixture f;
    FrmXmodem& w = f.window();
    w.formLoad();
    w.show();
    w.execute(Command::Terminal);
    f.fakePort().inject("0123456789");
    QTextCursor cursor = w.terminal().textCursor();
    cursor.setPosition(2);
    cursor.setPosition(5, QTextCursor::KeepAnchor);
    w.terminal().setTextCursor(cursor);
    f.fakePort().inject("ab");
    w.terminal().flushReceived();
    QCOMPARE(w.terminal().toPlainText(), QStringLiteral("01234ab56789"));
    QCOMPARE(w.terminal().textCursor().position(), 7);
    QVERIFY(!w.terminal().textCursor().hasSelection());
}

void TstMainWindow::typedKeyGoesOutAndShows() {
    WindowFixture f(true);
    PtyPeer peer(f.folder.portsDir, 1);
    FrmXmodem& w = f.window();
    w.formLoad();
    showActive(w);
    w.execute(Command::Terminal);
    QVERIFY(w.mainPort().isOpen());
    QTest::keyClick(&w.terminal(), Qt::Key_X);
    QTest::keyClick(&w.terminal(), Qt::Key_Return);
    QVERIFY(peer.waitFor("x\r", 2000));
    QCOMPARE(peer.received(), QByteArray("x\r"));
    QCOMPARE(w.terminal().toPlainText(), QStringLiteral("x\n"));
    // A key with the port gone is reported, not lost silently.
    w.mainPort().close();
    QTest::keyClick(&w.terminal(), Qt::Key_Y);
    QCOMPARE(f.dialogs.messages.size(), 1);
    QCOMPARE(f.dialogs.messages[0].text, QStringLiteral("O dispositivo não esta aberto"));
}

void TstMainWindow::composedCharacterGoesOut_data() {
    QTest::addColumn<QString>("commit");
    QTest::addColumn<QByteArray>("sent");
    QTest::newRow("dead tilde a") << QStringLiteral("ã") << QByteArray("\xE3");
    QTest::newRow("euro") << QStringLiteral("€") << QByteArray("\x80");
    QTest::newRow("two at once") << QStringLiteral("ço") << QByteArray("\xE7o");
    // Shown, so sent: "?" for each character cp1252 cannot carry.
    QTest::newRow("outside cp1252") << QStringLiteral("ő") << QByteArray("?");
    QTest::newRow("euro then outside") << QStringLiteral("€ő") << QByteArray("\x80?");
    QTest::newRow("beyond 16 bits") << QStringLiteral("😀") << QByteArray("?");
}

void TstMainWindow::composedCharacterGoesOut() {
    QFETCH(QString, commit);
    QFETCH(QByteArray, sent);
    WindowFixture f;
    FrmXmodem& w = f.window();
    w.formLoad();
    showActive(w);
    w.execute(Command::Terminal);
    // What a dead key, a compose sequence or an input method delivers.
    QInputMethodEvent preedit(QStringLiteral("~"), {});
    QApplication::sendEvent(&w.terminal(), &preedit);
    QInputMethodEvent event;
    event.setCommitString(commit);
    QApplication::sendEvent(&w.terminal(), &event);
    QCOMPARE(f.fakePort().written(), sent);
    QCOMPARE(w.terminal().toPlainText(), commit);
}

void TstMainWindow::terminalKeepsNewestText() {
    WindowFixture f;
    FrmXmodem& w = f.window();
    w.formLoad();
    w.show();
    w.execute(Command::Terminal);
    QByteArray line(79, 'a');
    line += "\r\n";
    for (int i = 0; i < 1000; ++i) {
        QByteArray numbered = line;
        numbered.replace(0, 6, QByteArray::number(100000 + i));
        f.fakePort().inject(numbered);
        QVERIFY(w.terminal().characterCount() <= kTerminalCapacity);
    }
    f.fakePort().inject("FIM");
    w.terminal().flushReceived();
    const QString text = w.terminal().toPlainText();
    QVERIFY(text.size() <= kTerminalCapacity);
    QVERIFY(text.size() >= kTerminalKeep);
    QVERIFY(text.endsWith(QStringLiteral("100999") + QString(73, QLatin1Char('a')) +
                          QStringLiteral("\nFIM")));
    QCOMPARE(w.terminal().textCursor().position(), w.terminal().characterCount());
}

void TstMainWindow::burstIsShownTogether() {
    WindowFixture f;
    FrmXmodem& w = f.window();
    w.formLoad();
    w.show();
    w.execute(Command::Terminal);
    f.fakePort().inject("um ");
    f.fakePort().inject("dois ");
    f.fakePort().inject("tres");
    QCOMPARE(w.terminal().toPlainText(), QStringLiteral("um ")); // the rest is gathered
    QTRY_COMPARE_WITH_TIMEOUT(w.terminal().toPlainText(), QStringLiteral("um dois tres"), 200);
    // Switching off drops what was still gathered with the rest of the box.
    f.fakePort().inject("x");
    f.fakePort().inject("y");
    w.execute(Command::Terminal);
    w.execute(Command::Terminal);
    QTest::qWait(TerminalBox::kGatherMs * 3);
    QVERIFY(w.terminal().toPlainText().isEmpty());
}

void TstMainWindow::garbageIntoTerminal() {
    WindowFixture f;
    FrmXmodem& w = f.window();
    w.formLoad();
    w.show();
    w.execute(Command::Terminal);
    quint32 seed = 12345;
    qsizetype total = 0;
    for (int i = 0; i < 300; ++i) {
        seed = seed * 1103515245u + 12345u;
        QByteArray chunk((seed >> 8) % 700, '\0');
        for (auto& c : chunk) {
            seed = seed * 1103515245u + 12345u;
            c = static_cast<char>(seed >> 16);
        }
        total += chunk.size();
        f.fakePort().inject(chunk);
    }
    f.fakePort().inject(QByteArray("\0\0\0", 3));
    w.terminal().flushReceived();
    QVERIFY(total > 50000);
    QVERIFY(w.terminal().characterCount() <= kTerminalCapacity);
}

void TstMainWindow::portVanishesUnderTerminal() {
    WindowFixture f(true);
    auto peer = std::make_unique<PtyPeer>(f.folder.portsDir, 2);
    FrmXmodem& w = f.window();
    w.formLoad();
    w.findChild<QLineEdit*>(QStringLiteral("Text4"))->setText(QStringLiteral("2"));
    w.show();
    w.execute(Command::Terminal);
    QVERIFY(w.mainPort().isOpen());
    peer->vanish();
    QTRY_COMPARE(f.dialogs.messages.size(), 1);
    QCOMPARE(f.dialogs.messages[0].text, QStringLiteral("Erro de leitura no dispositivo da COM"));
    QVERIFY(!w.mainPort().isOpen());
    // Reported once, and no core burnt on a dead device.
    const double cpuBefore = cpuSeconds();
    QTest::qWait(1000);
    QVERIFY2(cpuSeconds() - cpuBefore < 0.1, "the window spins after the device vanished");
    QCOMPARE(f.dialogs.messages.size(), 1);
    // The device is back: off and on again, and the terminal talks.
    peer = std::make_unique<PtyPeer>(f.folder.portsDir, 2);
    w.execute(Command::Terminal);
    w.execute(Command::Terminal);
    QVERIFY(f.session.link.terminalMode);
    QVERIFY(w.mainPort().isOpen());
    peer->write("ok de novo");
    QTRY_COMPARE(w.terminal().toPlainText(), QStringLiteral("ok de novo"));
}

void TstMainWindow::limparClearsAndFocuses() {
    WindowFixture f;
    FrmXmodem& w = f.window();
    w.formLoad();
    showActive(w);
    w.execute(Command::Terminal);
    f.fakePort().inject("texto");
    w.findChild<QLineEdit*>(QStringLiteral("TxtIdent"))->setFocus();
    w.toolbarButton(QStringLiteral("LIMPAR"))->trigger();
    QVERIFY(w.terminal().toPlainText().isEmpty());
    QTRY_VERIFY(w.terminal().hasFocus());
    f.fakePort().inject("novo");
    w.execute(Command::ClearText);
    QVERIFY(w.terminal().toPlainText().isEmpty());
}

void TstMainWindow::captionBoxesPassFocus() {
    WindowFixture f;
    FrmXmodem& w = f.window();
    w.formLoad();
    showActive(w);
    w.execute(Command::Terminal);
    const struct {
        const char* caption;
        const char* target;
    } pairs[] = {{"Text1", "TxtEstacao"}, {"Text2", "TxtIdent"}, {"Text3", "TxtYZTW"}};
    for (const auto& p : pairs) {
        w.findChild<QLineEdit*>(QString::fromLatin1(p.caption))->setFocus();
        QTRY_VERIFY2(w.findChild<QLineEdit*>(QString::fromLatin1(p.target))->hasFocus(), p.target);
    }
}

void TstMainWindow::xmodemModeSizeSnapsBack() {
    WindowFixture f;
    FrmXmodem& w = f.window();
    w.formLoad();
    w.show();
    const QSize size = w.size();
    QCOMPARE(w.centralWidget()->width(), 321); // 4815 twips at 96 dpi
    w.resize(900, 700);
    QCOMPARE(w.size(), size);
    w.setWindowState(Qt::WindowMaximized);
    QTRY_VERIFY(!(w.windowState() & Qt::WindowMaximized));
    QCOMPARE(w.size(), size);
    // Terminal mode and back gives the same fixed window.
    w.execute(Command::Terminal);
    QVERIFY(w.terminal().width() > 0);
    w.execute(Command::Terminal);
    QCOMPARE(w.size(), size);
    QCOMPARE(w.windowTitle(), QStringLiteral("Quillon - Xmodem / Terminal para PXC"));
}

void TstMainWindow::chooseProgramFile() {
    WindowFixture f;
    FrmXmodem& w = f.window();
    w.formLoad();
    const QString folder = f.folder.dir.filePath(QStringLiteral("prog"));
    QDir().mkpath(folder);
    const QString program = folder + QStringLiteral("/maq1.Epr");
    QFile file(program);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    f.dialogs.files.enqueue({false, program});
    w.toolbarButton(QStringLiteral("ABRIR"))->trigger();
    QCOMPARE(f.dialogs.fileRequests.size(), 1);
    QCOMPARE(f.dialogs.fileRequests[0].filter, QStringLiteral("*.Epr|*.Epr|*.*|*.*"));
    QCOMPARE(f.dialogs.fileRequests[0].defaultExt, QStringLiteral("Epr"));
    QVERIFY(f.dialogs.fileRequests[0].initialName.isEmpty());
    QCOMPARE(w.findChild<QLineEdit*>(QStringLiteral("Text6"))->text(), program);
    QCOMPARE(f.session.settings.workingDirectory, folder + QStringLiteral("/"));
    // The next dialog starts where the last file was.
    f.dialogs.files.enqueue({false, folder + QStringLiteral("/missing.Epr")});
    w.execute(Command::ChooseProgramFile);
    QCOMPARE(f.dialogs.fileRequests[1].directory, folder + QStringLiteral("/"));
    QCOMPARE(w.findChild<QLineEdit*>(QStringLiteral("Text6"))->text(), program);
}

void TstMainWindow::chooseCancelled() {
    WindowFixture f;
    FrmXmodem& w = f.window();
    w.formLoad();
    const QString before = f.session.settings.workingDirectory;
    w.execute(Command::ChooseProgramFile); // no answer queued: cancelled
    QCOMPARE(f.session.settings.workingDirectory, before);
    QCOMPARE(w.findChild<QLineEdit*>(QStringLiteral("Text6"))->text(), QStringLiteral("/"));
}

void TstMainWindow::saveModeFileDialog_data() {
    QTest::addColumn<bool>("save");
    QTest::addColumn<QString>("chosen"); // empty: cancelled
    QTest::addColumn<bool>("exists");
    QTest::addColumn<int>("answer"); // to the overwrite question, when asked
    QTest::addColumn<bool>("asked");
    QTest::addColumn<bool>("result");
    QTest::newRow("new file") << true << QStringLiteral("novo.txt") << false << 0 << false << true;
    QTest::newRow("existing, Sim")
        << true << QStringLiteral("velho.txt") << true << int(MessageAnswer::Yes) << true << true;
    QTest::newRow("existing, Não")
        << true << QStringLiteral("velho.txt") << true << int(MessageAnswer::No) << true << false;
    QTest::newRow("cancelled") << true << QString() << false << 0 << false << false;
    QTest::newRow("the initial name")
        << true << QStringLiteral("inicial.txt") << true << 0 << false << false;
    QTest::newRow("open mode asks nothing")
        << false << QStringLiteral("velho.txt") << true << 0 << false << true;
}

void TstMainWindow::saveModeFileDialog() {
    QFETCH(bool, save);
    QFETCH(QString, chosen);
    QFETCH(bool, exists);
    QFETCH(int, answer);
    QFETCH(bool, asked);
    QFETCH(bool, result);
    QTemporaryDir dir;
    const QString path = chosen.isEmpty() ? QString() : dir.filePath(chosen);
    if (exists) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    FakeDialogs dialogs;
    if (!chosen.isEmpty())
        dialogs.files.enqueue({false, path});
    dialogs.answers.enqueue(static_cast<MessageAnswer>(answer));
    FileDialogRequest request;
    request.initialName = dir.filePath(QStringLiteral("inicial.txt"));
    request.filter = QStringLiteral("*.txt|*.txt");
    request.defaultExt = QStringLiteral("txt");
    request.save = save;
    QCOMPARE(showFileDialog(dialogs, request), result ? path : QString());
    QCOMPARE(dialogs.fileRequests.size(), 1);
    QCOMPARE(dialogs.fileRequests[0].save, save);
    QCOMPARE(dialogs.messages.size(), asked ? 1 : 0);
    if (asked) {
        QCOMPARE(dialogs.messages[0].title, QStringLiteral("Quillon"));
        QCOMPARE(dialogs.messages[0].text,
                 chosen + QStringLiteral("\r\nEste arquivo já existe, deseja substituí-lo?"));
        QCOMPARE(dialogs.messages[0].icon, MessageIcon::Exclamation);
        QCOMPARE(dialogs.messages[0].buttons, MessageButtons::YesNo);
    }
}

void TstMainWindow::realSaveDialogLeavesTheQuestionToUs() {
    QTemporaryDir dir;
    {
        QFile file(dir.filePath(QStringLiteral("velho.txt")));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    QtDialogs dialogs;
    FileDialogRequest request;
    request.filter = QStringLiteral("Textos|*.txt|Todos|*.*");
    request.defaultExt = QStringLiteral("txt");
    request.save = true;
    request.directory = dir.path();
    // What the dialog was, read while it is up; checked once it has closed.
    std::optional<QFileDialog::AcceptMode> mode;
    QString suffix;
    bool confirmsItself = true;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QFileDialog* dialog = nullptr;
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (auto* found = qobject_cast<QFileDialog*>(widget); found && found->isVisible())
                dialog = found;
        if (!dialog)
            return;
        if (!mode) {
            mode = dialog->acceptMode();
            suffix = dialog->defaultSuffix();
            confirmsItself = !dialog->testOption(QFileDialog::DontConfirmOverwrite);
        }
        // Typed as a user would; the dialog may still be reading the folder, so
        // OK is pressed again on every tick until it takes the name.
        if (auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
            name->setText(QStringLiteral("velho"));
        static_cast<QDialog*>(dialog)->accept(); // QFileDialog hides it
    });
    poll.start(50);
    const FileDialogResult result = dialogs.fileDialog(request);
    QVERIFY(mode.has_value());
    QCOMPARE(*mode, QFileDialog::AcceptSave);
    QCOMPARE(suffix, QStringLiteral("txt"));
    // The overwrite question is the program's, not the dialog's own.
    QVERIFY(!confirmsItself);
    QVERIFY(!result.cancelled);
    QCOMPARE(result.fileName, dir.filePath(QStringLiteral("velho.txt")));
}

void TstMainWindow::cancelTransfer() {
    WindowFixture f;
    FrmXmodem& w = f.window();
    w.formLoad();
    f.session.transfer.transferBusy = true;
    w.findChild<QLabel*>(QStringLiteral("Label4"))->setText(QStringLiteral("TRANSFERINDO"));
    w.toolbarButton(QStringLiteral("CANCEL"))->trigger();
    QVERIFY(f.session.transfer.transferStop);
    QVERIFY(!f.session.transfer.transferBusy);
    QVERIFY(w.findChild<QLabel*>(QStringLiteral("Label4"))->text().isEmpty());
}

void TstMainWindow::reportReadingOnAClosedPort() {
    WindowFixture f;
    FrmXmodem& w = f.window();
    w.formLoad();
    w.show();
    w.execute(Command::Terminal);
    w.mainPort().close();
    w.execute(Command::ReadReport);
    // "atq0" failed: reported once, and the reading went no further.
    QCOMPARE(f.dialogs.messages.size(), 1);
    QCOMPARE(f.dialogs.messages[0].text, QStringLiteral("O dispositivo não esta aberto"));
    QVERIFY(f.fakePort().written().isEmpty());
}

void TstMainWindow::enviarRunsTheUpload() {
    WindowFixture f;
    FrmXmodem& w = f.window();
    w.formLoad();
    w.show();
    const QString program = f.folder.dir.filePath(QStringLiteral("p.Epr"));
    QFile file(program);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(300, 'x'));
    file.close();
    w.findChild<QLineEdit*>(QStringLiteral("Text6"))->setText(program);
    int blocks = 0;
    f.fakePort().onWrite = [&blocks](FakePort& self, const QByteArray& bytes) {
        if (bytes == "1")
            self.inject("C");
        else if (bytes.size() == 133 && ++blocks)
            self.injectAfter(1, "\x06");
    };
    w.toolbarButton(QStringLiteral("ENVIAR"))->trigger();
    QCOMPARE(blocks, 3);
    QCOMPARE(w.findChild<QLabel*>(QStringLiteral("Label4"))->text(),
             QStringLiteral("PROGRAMA ENVIADO COM SUCESSO"));
    QCOMPARE(w.windowTitle(), QStringLiteral("Quillon - Xmodem / Terminal para PXC"));
    // The same through the menu; none in terminal mode, where it is disabled.
    w.menuItem(QStringLiteral("mnuSnd"))->trigger();
    QCOMPARE(blocks, 6);
    w.execute(Command::Terminal);
    QVERIFY(!w.menuItem(QStringLiteral("mnuSnd"))->isEnabled());
    w.execute(Command::SendProgram);
    QCOMPARE(blocks, 6);
}

void TstMainWindow::consoleItems() {
    WindowFixture f;
    FrmXmodem& w = f.window();
    w.formLoad();
    w.show();
    w.execute(Command::Terminal);
    auto* yztw = w.findChild<QLineEdit*>(QStringLiteral("TxtYZTW"));
    yztw->clear();
    w.toolbarButton(QStringLiteral("ENVIAR_YZTW"))->trigger();
    QCOMPARE(f.dialogs.messages.size(), 1);
    QCOMPARE(f.dialogs.messages[0].text, QStringLiteral("Comando YZTW inválido"));
    QCOMPARE(f.fakePort().writes().size(), 0);
    // Guided entry: the line lands in the box and goes out in the framing.
    for (const char* a : {"0", "3", "7"})
        f.dialogs.inputs.enqueue(QString::fromLatin1(a));
    w.toolbarButton(QStringLiteral("ENTRAR_YZTW"))->trigger();
    QCOMPARE(yztw->text(), QStringLiteral("0,3,7,0"));
    QCOMPARE(f.fakePort().written(), QByteArray("\x05"
                                                "B"
                                                "5839\r"
                                                "0,3,7,0\r"));
    // Working directory prompt.
    f.dialogs.inputs.enqueue(QStringLiteral("/dados/"));
    w.execute(Command::WorkingDirectory);
    QCOMPARE(f.session.settings.workingDirectory, QStringLiteral("/dados/"));
    w.execute(Command::WorkingDirectory); // cancelled: unchanged
    QCOMPARE(f.session.settings.workingDirectory, QStringLiteral("/dados/"));
}

void TstMainWindow::helpViewer() {
    WindowFixture f;
    FrmXmodem& w = f.window();
    w.formLoad();
    w.execute(Command::Contents);
    auto* viewer = w.findChild<HelpViewer*>();
    QVERIFY(viewer);
    QVERIFY(viewer->shownText().contains(QStringLiteral("Quillon.hlp")));
    QFile help(f.folder.appDir + QStringLiteral("/Quillon.hlp"));
    QVERIFY(help.open(QIODevice::WriteOnly));
    help.write("<html><body><h1>Conte\xC3\xBA"
               "do</h1></body></html>");
    help.close();
    w.execute(Command::Contents);
    QCOMPARE(viewer->shownText().trimmed(), QStringLiteral("Conteúdo"));
}

void TstMainWindow::modemWaitCallPoint() {
    WindowFixture f;
    FrmXmodem& w = f.window();
    w.formLoad();
    w.show();
    f.session.settings.useModem = 1;
    int shown = 0;
    w.setModemWaitDialog([&] {
        ++shown;
        return QStringLiteral("NAO DEU");
    });
    w.execute(Command::Terminal);
    QCOMPARE(shown, 1);
    QVERIFY(!f.session.link.terminalMode);
    QVERIFY(w.mainPort().isOpen()); // left open: the user may try again
    QVERIFY(w.toolbarXmodem()->isVisible());
    w.setModemWaitDialog([&] { return QStringLiteral("CONNECT 9600"); });
    w.execute(Command::Terminal);
    QVERIFY(f.session.link.terminalMode);
}

void TstMainWindow::closingClosesThePort() {
    WindowFixture f;
    FrmXmodem& w = f.window();
    w.formLoad();
    w.show();
    w.execute(Command::Terminal);
    QVERIFY(f.fakePort().isOpen());
    w.menuItem(QStringLiteral("mnuExit"))->trigger();
    QVERIFY(!f.fakePort().isOpen());
    QVERIFY(QFile::exists(f.folder.iniPath()));
}

QTEST_MAIN(TstMainWindow)
#include "tst_main_window.moc"
