#include "app/terminal_box.h"
#include "console/frm_testa_com.h"
#include "console/line_test_script.h"
#include "core/error_report.h"
#include "core/terminal_text.h"
#include "platform/cp1252.h"
#include "tests/app/window_fixture.h"
#include "tests/support/drawn_colours.h"
#include "tests/support/pty_peer.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFontDatabase>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTextDocument>
#include <QTimer>

using namespace quillon;
using namespace quillon::test;

namespace {

constexpr int Com = 2;
constexpr qint64 Jitter = 15;

// Steps as "41 54 0d p1500": bytes in hex, pauses as p and their milliseconds.
QString shown(const QVector<LineStep>& steps) {
    QStringList parts;
    for (const LineStep& step : steps) {
        if (step.kind == LineStep::Pause)
            parts << QStringLiteral("p") + QString::number(step.pauseMs, 'g', 10);
        else
            parts << QString::fromLatin1(QByteArray(1, step.byte).toHex());
    }
    return parts.join(QLatin1Char(' '));
}

QString hex(const char* text) {
    return QString::fromLatin1(QByteArray(text).toHex(' '));
}

// The control names as a technician reads them, code 0 first.
const QStringList kNames =
    QStringLiteral("NUL SOH STX ETX EOT ENQ ACK BEL BS HT LF VT FF CR SO SI DLE DC1 DC2 "
                   "DC3 DC4 NAK SYN ETB CAN EM SUB ESC FS GS RS US")
        .split(QLatin1Char(' '));

QLineEdit* line(FrmTestaCom& t, int i) {
    return t.findChild<QLineEdit*>(QStringLiteral("txtTX(%1)").arg(i));
}
QPushButton* button(QWidget& t, const QString& name) {
    return t.findChild<QPushButton*>(name);
}
QPlainTextEdit* display(FrmTestaCom& t) {
    return t.findChild<QPlainTextEdit*>(QStringLiteral("txtTerm"));
}
// The display's text as stored: plain text would turn a no-break space into a space.
QString shownText(FrmTestaCom& t) {
    return display(t)->document()->toRawText().replace(QChar::ParagraphSeparator,
                                                       QLatin1Char('\n'));
}
FakePort& fake(FrmTestaCom& t) {
    return static_cast<FakePort&>(t.port());
}

} // namespace

class TstTester : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void lineSteps_data();
    void lineSteps();
    void everyReceivedCode();
    void receivedBursts_data();
    void receivedBursts();
    void receivedAfterSelection();
    void receiveBoxIsBounded();
    void startsOnLineZero();
    void selectingALine_data();
    void selectingALine();
    void inactiveLinesCanBeRead_data();
    void inactiveLinesCanBeRead();
    void markersGoAfterTheSelection_data();
    void markersGoAfterTheSelection();
    void reopenAtSpeed_data();
    void reopenAtSpeed();
    void failuresReportedOnce_data();
    void failuresReportedOnce();
    void secondSendDuringAPause();
    void closing_data();
    void closing();
    void bytesAndPausesOnPty();
    void mainPortClosedWhileShown();
};

void TstTester::lineSteps_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("sent");
    QTest::newRow("AT and CR") << QStringLiteral("AT[CR]") << hex("AT\r");
    QTest::newRow("the four markers")
        << QStringLiteral("[CR][LF][ENQ][SOH]") << hex("\r\n\x05\x01");
    QTest::newRow("lower case is literal") << QStringLiteral("[cr]") << hex("[cr]");
    QTest::newRow("mixed case is literal") << QStringLiteral("[Lf][enq]") << hex("[Lf][enq]");
    QTest::newRow("other names are literal") << QStringLiteral("[NUL][ESC]") << hex("[NUL][ESC]");
    QTest::newRow("[ at the end") << QStringLiteral("AB[") << hex("AB[");
    QTest::newRow("unclosed marker") << QStringLiteral("[CR") << hex("[CR");
    QTest::newRow("marker after [") << QStringLiteral("[[CR]") << hex("[\r");
    QTest::newRow("pause") << QStringLiteral("A[D|1500]B")
                           << hex("A") + QStringLiteral(" p1500 ") + hex("B");
    QTest::newRow("seven characters: pause")
        << QStringLiteral("[D|1234567]X") << QStringLiteral("p1234567 ") + hex("X");
    QTest::newRow("eight characters: literal")
        << QStringLiteral("[D|12345678]") << hex("[D|12345678]");
    QTest::newRow("first ] closes") << QStringLiteral("[D|5]]") << QStringLiteral("p5 ") + hex("]");
    QTest::newRow("empty pause") << QStringLiteral("[D|]") << QStringLiteral("p0");
    QTest::newRow("non-numeric pause") << QStringLiteral("[D|abc]") << QStringLiteral("p0");
    QTest::newRow("leading number") << QStringLiteral("[D|12ab]") << QStringLiteral("p12");
    QTest::newRow("negative: no pause") << QStringLiteral("[D|-5]A") << hex("A");
    QTest::newRow("huge is cut") << QStringLiteral("[D|1e300]") << QStringLiteral("p9999999");
    QTest::newRow("beyond a double is cut")
        << QStringLiteral("[D|1e400]") << QStringLiteral("p9999999");
    QTest::newRow("negative beyond: none") << QStringLiteral("[D|-1e400]A") << hex("A");
    QTest::newRow("lower-case d is literal") << QStringLiteral("[d|5]") << hex("[d|5]");
    QTest::newRow("pause without ]") << QStringLiteral("[D|7") << hex("[D|7");
    QTest::newRow("cp1252") << QStringLiteral("é€") << QStringLiteral("e9 80");
    QTest::newRow("no byte for it") << QStringLiteral("Ω") << hex("?");
    QTest::newRow("one without a byte") << QStringLiteral("€ő") << QStringLiteral("80 3f");
    QTest::newRow("beyond 16 bits is one byte") << QStringLiteral("a😀") << hex("a?");
    QTest::newRow("empty line") << QString() << QString();
}

void TstTester::lineSteps() {
    QFETCH(QString, text);
    QFETCH(QString, sent);
    QCOMPARE(shown(quillon::lineSteps(text)), sent);
}

void TstTester::everyReceivedCode() {
    WindowFixture f;
    FrmTestaCom t(f.session);
    QByteArray all;
    QString expected;
    for (int code = 0; code < 256; ++code) {
        all += static_cast<char>(code);
        if (code == 10)
            expected += QStringLiteral("\n[LF]");
        else if (code < 32)
            expected += QLatin1Char('[') + kNames[code] + QLatin1Char(']');
        else
            expected += cp1252Char(static_cast<char>(code));
    }
    fake(t).inject(all);
    QCOMPARE(shownText(t), expected);
}

void TstTester::receivedBursts_data() {
    QTest::addColumn<QList<QByteArray>>("events");
    QTest::addColumn<QString>("shown");
    QTest::newRow("OK CR LF") << QList<QByteArray>{"OK\r\n"} << QStringLiteral("OK[CR]\n[LF]");
    QTest::newRow("CR and LF apart")
        << QList<QByteArray>{"OK\r", "\n"} << QStringLiteral("OK[CR]\n[LF]");
    QTest::newRow("burst of controls") << QList<QByteArray>{QByteArray("\x02"
                                                                       "12\x03\x00\x1b",
                                                                       6)}
                                       << QStringLiteral("[STX]12[ETX][NUL][ESC]");
    QTest::newRow("several events")
        << QList<QByteArray>{"a", "\x06", "b\n\n"} << QStringLiteral("a[ACK]b\n[LF]\n[LF]");
    // The tester sends "€" as 80; its echo must come back as what was typed.
    QTest::newRow("cp1252 echo") << QList<QByteArray>{"\x80\x93ok\x94", "\xE9"}
                                 << QStringLiteral("€“ok”é");
}

void TstTester::receivedBursts() {
    QFETCH(QList<QByteArray>, events);
    QFETCH(QString, shown);
    WindowFixture f;
    FrmTestaCom t(f.session);
    for (const QByteArray& bytes : events)
        fake(t).inject(bytes);
    QCOMPARE(display(t)->toPlainText(), shown);
}

void TstTester::receivedAfterSelection() {
    WindowFixture f;
    FrmTestaCom t(f.session);
    fake(t).inject("ABCD");
    QTextCursor cursor = display(t)->textCursor();
    cursor.setPosition(3);
    cursor.setPosition(1, QTextCursor::KeepAnchor); // "BC", selected backwards
    display(t)->setTextCursor(cursor);
    fake(t).inject("\r");
    fake(t).inject("x");
    QCOMPARE(display(t)->toPlainText(), QStringLiteral("ABC[CR]xD"));
    button(t, QStringLiteral("CmdLimpar"))->click();
    QVERIFY(display(t)->toPlainText().isEmpty());
}

void TstTester::receiveBoxIsBounded() {
    WindowFixture f;
    FrmTestaCom t(f.session);
    QByteArray chunk(4096, 'a');
    chunk.back() = '\x01'; // shown as five characters, "[SOH]"
    for (int i = 0; i < 512; ++i) {
        fake(t).inject(chunk);
        QVERIFY(display(t)->document()->characterCount() - 1 <= kTerminalCapacity);
    }
    fake(t).inject("FIM");
    const QString text = display(t)->toPlainText();
    QVERIFY(text.size() >= kTerminalKeep);
    QVERIFY(text.endsWith(QStringLiteral("a[SOH]FIM")));
    QCOMPARE(display(t)->textCursor().position(), text.size());
}

void TstTester::startsOnLineZero() {
    WindowFixture f;
    f.session.settings.portNumber = QStringLiteral("3");
    f.session.settings.terminalSettings = QStringLiteral("4800,e,7,1");
    FrmTestaCom t(f.session);
    QCOMPARE(t.windowTitle(), QStringLiteral("Teste de Comunicação"));
    QCOMPARE(t.selectedLine(), 0);
    QVERIFY(t.port().isOpen());
    QCOMPARE(t.port().portNumber(), 3);
    QCOMPARE(t.port().settings(), QStringLiteral("4800,e,7,1"));
    QCOMPARE(t.port().receiveThreshold(), 1);
    for (const char* name : {"cmdCR", "cmdLF", "cmdCtrlA", "cmdCtrlE", "cmdDelay", "cmd1200",
                             "cmd9600", "CmdLimpar", "cmdFechar"})
        QVERIFY2(button(t, QLatin1String(name)), name);
    QCOMPARE(button(t, QStringLiteral("cmdCtrlA"))->text(), QStringLiteral("^A"));
    const QString family = display(t)->font().family();
    QVERIFY2(family == QLatin1String("Courier New") ||
                 family == QFontDatabase::systemFont(QFontDatabase::FixedFont).family(),
             qPrintable(family));
    QVERIFY(f.dialogs.messages.isEmpty());
}

void TstTester::selectingALine_data() {
    QTest::addColumn<int>("index");
    for (int i = 0; i < FrmTestaCom::kLines; ++i)
        QTest::addRow("line %d", i) << i;
}

void TstTester::selectingALine() {
    QFETCH(int, index);
    WindowFixture f;
    FrmTestaCom t(f.session);
    // Line 0 is the one selected at start; every other line starts as the rest.
    button(t, QStringLiteral("cmdSel(%1)").arg(index))->click();
    QCOMPARE(t.selectedLine(), index);
    for (int i = 0; i < FrmTestaCom::kLines; ++i) {
        const bool on = i == index;
        QCOMPARE(line(t, i)->isEnabled(), on);
        QCOMPARE(line(t, i)->palette().color(QPalette::Base),
                 on ? QColor(Qt::white) : QColor(192, 192, 192));
        QCOMPARE(button(t, QStringLiteral("cmdTX(%1)").arg(i))->isEnabled(), on);
        QCOMPARE(button(t, QStringLiteral("cmdTX(%1)").arg(i))->text(), QStringLiteral("TX"));
    }
}

void TstTester::inactiveLinesCanBeRead_data() {
    addStyleRows();
}

// A technician must see what the lines not selected hold, on their grey.
void TstTester::inactiveLinesCanBeRead() {
    QFETCH(QString, style);
    const StyleForTest styled(style);
    WindowFixture f;
    FrmTestaCom t(f.session);
    t.show();
    for (int i = 1; i < FrmTestaCom::kLines; ++i) {
        line(t, i)->setText(QStringLiteral("ATZ[CR]"));
        QVERIFY(!line(t, i)->isEnabled());
        const DrawnColours drawn = drawnColours(*line(t, i));
        QCOMPARE(drawn.background, QColor(192, 192, 192));
        QVERIFY2(contrastRatio(drawn.text, drawn.background) >= 4.5, qPrintable(drawn.text.name()));
    }
}

void TstTester::markersGoAfterTheSelection_data() {
    QTest::addColumn<QString>("buttonName");
    QTest::addColumn<QString>("answer");
    QTest::addColumn<int>("selStart");
    QTest::addColumn<int>("selLength");
    QTest::addColumn<QString>("result");
    QTest::newRow("CR after a selection")
        << QStringLiteral("cmdCR") << QString() << 1 << 1 << QStringLiteral("AT[CR]Z");
    QTest::newRow("CR after a right-to-left selection")
        << QStringLiteral("cmdCR") << QString() << 3 << -2 << QStringLiteral("ATZ[CR]");
    QTest::newRow("Delay after a right-to-left selection")
        << QStringLiteral("cmdDelay") << QStringLiteral("5") << 3 << -2
        << QStringLiteral("ATZ[D|5]");
    QTest::newRow("LF at the caret")
        << QStringLiteral("cmdLF") << QString() << 0 << 0 << QStringLiteral("[LF]ATZ");
    QTest::newRow("^A at the end")
        << QStringLiteral("cmdCtrlA") << QString() << 3 << 0 << QStringLiteral("ATZ[SOH]");
    QTest::newRow("^E after all") << QStringLiteral("cmdCtrlE") << QString() << 0 << 3
                                  << QStringLiteral("ATZ[ENQ]");
    QTest::newRow("Delay answered") << QStringLiteral("cmdDelay") << QStringLiteral("1500") << 2
                                    << 0 << QStringLiteral("AT[D|1500]Z");
    QTest::newRow("Delay cancelled")
        << QStringLiteral("cmdDelay") << QString() << 3 << 0 << QStringLiteral("ATZ[D|]");
}

void TstTester::markersGoAfterTheSelection() {
    QFETCH(QString, buttonName);
    QFETCH(QString, answer);
    QFETCH(int, selStart);
    QFETCH(int, selLength);
    QFETCH(QString, result);
    WindowFixture f;
    FrmTestaCom t(f.session);
    t.show();
    QVERIFY(QTest::qWaitForWindowActive(&t));
    button(t, QStringLiteral("cmdSel(2)"))->click();
    line(t, 2)->setText(QStringLiteral("ATZ"));
    line(t, 2)->setFocus();
    QVERIFY(line(t, 2)->hasFocus());
    if (selLength != 0)
        line(t, 2)->setSelection(selStart, selLength);
    else
        line(t, 2)->setCursorPosition(selStart);
    if (!answer.isEmpty())
        f.dialogs.inputs.enqueue(answer);
    // With the mouse, as a user does: the press must not take the selection away.
    QTest::mouseClick(button(t, buttonName), Qt::LeftButton);
    QCOMPARE(line(t, 2)->text(), result);
    QVERIFY(line(t, 0)->text().isEmpty());
    QCOMPARE(t.focusWidget(), line(t, 2));
    if (buttonName == QLatin1String("cmdDelay")) {
        QCOMPARE(f.dialogs.prompts.size(), 1);
        QCOMPARE(f.dialogs.prompts[0].text, QStringLiteral("Digite o tempo de delay (em ms):"));
        QCOMPARE(f.dialogs.prompts[0].title, QStringLiteral("Delay"));
        QCOMPARE(f.dialogs.defaults[0], QStringLiteral("200"));
    }
}

void TstTester::reopenAtSpeed_data() {
    QTest::addColumn<QString>("buttonName");
    QTest::addColumn<int>("openError");
    QTest::addColumn<QString>("settings");
    QTest::newRow("1200") << QStringLiteral("cmd1200") << 0 << QStringLiteral("1200,n,8,1");
    QTest::newRow("9600") << QStringLiteral("cmd9600") << 0 << QStringLiteral("9600,n,8,1");
    QTest::newRow("9600, port taken meanwhile")
        << QStringLiteral("cmd9600") << int(PortError::PortInUse) << QStringLiteral("9600,n,8,1");
}

void TstTester::reopenAtSpeed() {
    QFETCH(QString, buttonName);
    QFETCH(int, openError);
    QFETCH(QString, settings);
    WindowFixture f;
    f.session.settings.terminalSettings = QStringLiteral("2400,o,7,2");
    FrmTestaCom t(f.session);
    fake(t).openResult = [openError](int) { return openError; };
    button(t, buttonName)->click();
    QCOMPARE(f.session.settings.terminalSettings, settings);
    QCOMPARE(t.port().settings(), settings);
    QCOMPARE(fake(t).events().value(1), QStringLiteral("close"));
    QCOMPARE(t.port().isOpen(), openError == 0);
    if (openError == 0) {
        QCOMPARE(fake(t).events().value(2), QStringLiteral("open ") + settings);
        QVERIFY(f.dialogs.messages.isEmpty());
        return;
    }
    QCOMPARE(f.dialogs.messages.size(), 1);
    QCOMPARE(f.session.lastErrorNumber, openError);
    // Still usable: the other speed works once the port is free.
    fake(t).openResult = {};
    button(t, QStringLiteral("cmd1200"))->click();
    QVERIFY(t.port().isOpen());
}

void TstTester::failuresReportedOnce_data() {
    QTest::addColumn<QString>("portNumber");
    QTest::addColumn<int>("openError");
    QTest::addColumn<int>("writeError");
    QTest::addColumn<QList<int>>("reported");
    QTest::newRow("port number not a number")
        << QStringLiteral("x") << 0 << 0
        << QList<int>{PortError::InvalidPortNumber, PortError::PortNotOpen};
    QTest::newRow("port in use") << QStringLiteral("2") << int(PortError::PortInUse) << 0
                                 << QList<int>{PortError::PortInUse, PortError::PortNotOpen};
    QTest::newRow("write fails") << QStringLiteral("2") << 0 << int(PortError::DeviceLost)
                                 << QList<int>{PortError::DeviceLost};
}

void TstTester::failuresReportedOnce() {
    QFETCH(QString, portNumber);
    QFETCH(int, openError);
    QFETCH(int, writeError);
    QFETCH(QList<int>, reported);
    WindowFixture f;
    f.session.settings.portNumber = portNumber;
    // The port object is made inside the window: hold the failure in the factory.
    f.session.portFactory = [openError, writeError] {
        auto port = std::make_unique<FakePort>();
        port->openResult = [openError](int) { return openError; };
        port->failWrites(writeError);
        return port;
    };
    FrmTestaCom t(f.session);
    line(t, 0)->setText(QStringLiteral("ATZ[CR]"));
    button(t, QStringLiteral("cmdTX(0)"))->click();
    // One box per failure, not one per character of the line.
    QCOMPARE(f.dialogs.messages.size(), reported.size());
    for (qsizetype i = 0; i < reported.size(); ++i)
        QCOMPARE(f.dialogs.messages[i].text, describeError(reported[i]).text);
    QCOMPARE(f.session.lastErrorNumber, reported.last());
    QVERIFY(fake(t).written().isEmpty());
}

void TstTester::secondSendDuringAPause() {
    WindowFixture f;
    FrmTestaCom t(f.session);
    line(t, 0)->setText(QStringLiteral("A[D|300]B"));
    QTimer::singleShot(100, &t, [&] {
        // Edited during the pause: the running send keeps the text it started with.
        line(t, 0)->setText(QStringLiteral("C"));
        button(t, QStringLiteral("cmdTX(0)"))->click();
    });
    button(t, QStringLiteral("cmdTX(0)"))->click();
    QCOMPARE(fake(t).written(), QByteArray("ACB"));
    QCOMPARE(fake(t).writes().size(), 3);
    QVERIFY(fake(t).writes()[2].atMs - fake(t).writes()[0].atMs >= 300 - Jitter);
}

void TstTester::closing_data() {
    QTest::addColumn<QString>("how");
    QTest::newRow("Fechar") << QStringLiteral("Fechar");
    QTest::newRow("close box") << QStringLiteral("close box");
    QTest::newRow("Fechar during a pause") << QStringLiteral("pause");
}

void TstTester::closing() {
    QFETCH(QString, how);
    WindowFixture f;
    FrmTestaCom t(f.session);
    line(t, 0)->setText(QStringLiteral("A[D|5000]B"));
    QElapsedTimer clock;
    clock.start();
    QTimer::singleShot(0, &t, [&] {
        // Esc is no way out: the lines typed so far would be lost.
        QTest::keyClick(&t, Qt::Key_Escape);
        QVERIFY(t.isVisible());
        if (how == QLatin1String("pause"))
            button(t, QStringLiteral("cmdTX(0)"))->click();
        else if (how == QLatin1String("close box"))
            t.close();
    });
    if (how != QLatin1String("close box"))
        QTimer::singleShot(100, &t, [&] { button(t, QStringLiteral("cmdFechar"))->click(); });
    t.exec();
    QVERIFY(!t.port().isOpen());
    QVERIFY(clock.elapsed() < 2000);
    // The pause ended with the window and nothing went to the closed port.
    QCOMPARE(fake(t).written(), how == QLatin1String("pause") ? QByteArray("A") : QByteArray());
    QVERIFY(f.dialogs.messages.isEmpty());
}

void TstTester::bytesAndPausesOnPty() {
    WindowFixture f{true};
    PtyPeer peer(f.folder.portsDir, Com);
    QVERIFY(peer.ok());
    f.session.settings.portNumber = QString::number(Com);
    FrmTestaCom t(f.session);
    QVERIFY(t.port().isOpen());
    line(t, 0)->setText(QStringLiteral("AT[CR][D|300]x[D|]y[NUL][d|9]"));
    peer.onReceive = [](PtyPeer& p, const QByteArray& bytes) {
        if (bytes.contains('\r'))
            p.write("OK\r\n");
    };
    const qint64 start = peer.elapsedMs();
    button(t, QStringLiteral("cmdTX(0)"))->click();
    // The answer came in during the pause and was shown at once.
    QCOMPARE(display(t)->toPlainText(), QStringLiteral("OK[CR]\n[LF]"));
    QVERIFY(peer.waitFor("[d|9]", 2000));
    QCOMPARE(peer.received(), QByteArray("AT\rxy[NUL][d|9]"));
    qint64 cr = -1, x = -1;
    for (const PtyPeer::Chunk& chunk : peer.chunks()) {
        if (chunk.bytes.contains('\r') && cr < 0)
            cr = chunk.atMs;
        if (chunk.bytes.contains('x') && x < 0)
            x = chunk.atMs;
    }
    QVERIFY(cr - start < 200);
    QVERIFY2(x - cr >= 300 - Jitter, qPrintable(QString::number(x - cr)));
    QVERIFY2(x - cr < 600, qPrintable(QString::number(x - cr)));
    QVERIFY(f.dialogs.messages.isEmpty());
}

void TstTester::mainPortClosedWhileShown() {
    WindowFixture f{true};
    PtyPeer peer(f.folder.portsDir, Com);
    QVERIFY(peer.ok());
    FrmXmodem& w = f.window();
    w.formLoad();
    w.findChild<QLineEdit*>(QStringLiteral("Text4"))->setText(QString::number(Com));
    f.session.settings.terminalSettings = QStringLiteral("2400,e,7,1");
    w.show();
    w.execute(Command::Terminal);
    QVERIFY(w.mainPort().isOpen());
    bool shown = false;
    QTimer::singleShot(100, &w, [&] {
        auto* t = qobject_cast<FrmTestaCom*>(QApplication::activeModalWidget());
        QVERIFY(t);
        shown = true;
        QVERIFY(!w.mainPort().isOpen());
        QVERIFY(t->port().isOpen());
        QCOMPARE(t->port().portNumber(), Com);
        QCOMPARE(t->port().settings(), QStringLiteral("2400,e,7,1"));
        peer.write("Q");
        QTRY_COMPARE(display(*t)->toPlainText(), QStringLiteral("Q"));
        button(*t, QStringLiteral("cmd1200"))->click();
        button(*t, QStringLiteral("cmdFechar"))->click();
    });
    w.toolbarButton(QStringLiteral("TESTARCOM"))->trigger();
    QVERIFY(shown);
    QVERIFY(w.mainPort().isOpen());
    // Reopened as it was; the new speed waits for the next terminal opening.
    QCOMPARE(w.mainPort().settings(), QStringLiteral("2400,e,7,1"));
    QCOMPARE(f.session.settings.terminalSettings, QStringLiteral("1200,n,8,1"));
    QCOMPARE(w.focusWidget(), &w.terminal());
    peer.write("R");
    QTRY_COMPARE(w.terminal().toPlainText(), QStringLiteral("R"));
    QVERIFY(f.dialogs.messages.isEmpty());
    w.close();
    QVERIFY(f.folder.readIni().contains("1200,n,8,1"));
    QVERIFY(!f.folder.readIni().contains("2400,e,7,1"));
}

QTEST_MAIN(TstTester)
#include "tst_tester.moc"
