#include "core/session_capture.h"
#include "platform/paths.h"
#include "platform/port_map.h"
#include "platform/qt_serial_port.h"
#include "tests/app/window_fixture.h"
#include "tests/support/pty_peer.h"

#include <QMenu>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

using namespace quillon;
using namespace quillon::test;

namespace {

const QDateTime kStart(QDate(2026, 12, 9), QTime(17, 40, 1));

// Keeps embedded NULs, which a plain literal would end at.
template <std::size_t N> QByteArray raw(const char (&text)[N]) {
    return QByteArray(text, N - 1);
}

QStringList linesOf(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {QStringLiteral("<unreadable>")};
    QStringList lines = QString::fromUtf8(file.readAll()).split(QStringLiteral("\r\n"));
    if (lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

// A capture on a scripted clock, and a port the session's factory makes.
struct Rig {
    QTemporaryDir dir;
    QString path = dir.filePath(QStringLiteral("sessao.txt"));
    qint64 nowMs = 0;
    PortTaps taps;
    SessionCapture capture{
        taps, QStringLiteral("QuillonV2 2.3.59"),
        CaptureClock{[this] { return nowMs; },
                     [this] { return kStart.addMSecs(nowMs).toMSecsSinceEpoch(); }}};
    std::unique_ptr<SerialPort> made = taps.tapping([] { return std::make_unique<FakePort>(); })();
    FakePort& port = static_cast<FakePort&>(*made);

    // "<ms> <step> <bytes>": tx, rx, set, open, close, and hold/release with a note.
    void play(const QByteArrayList& script) {
        for (const QByteArray& step : script) {
            const QList<QByteArray> parts = step.split(' ');
            nowMs = parts[0].toLongLong();
            const QByteArray what = parts.value(1);
            const QByteArray data = step.mid(parts[0].size() + what.size() + 2);
            if (what == "tx") {
                port.write(data);
            } else if (what == "rx") {
                port.inject(data);
                port.readAll();
            } else if (what == "set") {
                port.setSettings(QString::fromLatin1(data));
            } else if (what == "open") {
                port.open();
            } else if (what == "close") {
                port.close();
            } else if (what == "hold") {
                capture.note(QString::fromUtf8(data));
                capture.holdBytes(true);
            } else if (what == "release") {
                capture.holdBytes(false);
                capture.note(QString::fromUtf8(data));
            }
        }
    }
};

} // namespace

class TstSessionCapture : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void lines_data();
    void lines();
    void appendsNeverTruncates_data();
    void appendsNeverTruncates();
    void quietLineIsWrittenByItself();
    void unreadBytesAreSeenAsTheyArrive();
    void failures_data();
    void failures();
    void menuItem();
    void writeFailureInTheWindow_data();
    void writeFailureInTheWindow();
    void closingTheProgramEndsIt();
    void uploadFromTheWindow();
};

void TstSessionCapture::lines_data() {
    QTest::addColumn<QByteArrayList>("script");
    QTest::addColumn<QStringList>("expected"); // after "2026-12-09 17:40:"
    QTest::newRow("LF ends a line, CR LF stays on it, a lone CR does not end it")
        << QByteArrayList{"0 tx AT\r", "10 rx \r\nOK\r\n", "20 rx OK\r", "30 rx \n"}
        << QStringList{"01.000 TX: AT[CR]", "01.010 RX: [CR][LF]", "01.010 RX: OK[CR][LF]",
                       "01.020 RX: OK[CR][LF]"};
    QTest::newRow("direction change")
        << QByteArrayList{"0 tx AB", "5 rx CD", "6 tx E", "7 tx F"}
        << QStringList{"01.000 TX: AB", "01.005 RX: CD", "01.006 TX: EF"};
    QTest::newRow("500 ms of quiet, judged byte to byte")
        << QByteArrayList{"0 rx A", "499 rx B", "998 rx C", "1498 rx D"}
        << QStringList{"01.000 RX: ABC", "02.498 RX: D"};
    QTest::newRow("control names, NUL and DEL")
        << QByteArrayList{raw("0 rx \x00\x01\x05\x1b\x1f\x7f.")}
        << QStringList{"01.000 RX: [NUL][SOH][ENQ][ESC][US][DEL]."};
    QTest::newRow("cp1252 into UTF-8")
        << QByteArrayList{"0 rx \xe7\xe3o \x80 \x81"}
        << QStringList{QString::fromUtf8("01.000 RX: ção € \xc2\x81")};
    QTest::newRow("port lines end the line before them; an unchanged setting is none")
        << QByteArrayList{"0 tx 4",    "100 set 1200,n,8,1",
                          "200 tx 1",  "300 set 1200,n,8,1",
                          "400 close", "500 open"}
        << QStringList{"01.000 TX: 4", "01.100 -- COM1 em 1200,n,8,1", "01.200 TX: 1",
                       "01.400 -- COM1 fechada", "01.500 -- COM1 aberta em 1200,n,8,1"};
    QTest::newRow("upload blocks left out")
        << QByteArrayList{"0 tx 1",
                          "10 rx C",
                          "20 hold Envio: 2 blocos de 128 bytes",
                          "30 tx \x01\x01\xfe" + QByteArray(128, 'x'),
                          "40 rx \x06",
                          "50 release Envio encerrado: ENVIADO, 2 de 2 blocos, 0 reenvios",
                          "60 rx ok"}
        << QStringList{"01.000 TX: 1", "01.010 RX: C", "01.020 -- Envio: 2 blocos de 128 bytes",
                       "01.050 -- Envio encerrado: ENVIADO, 2 de 2 blocos, 0 reenvios",
                       "01.060 RX: ok"};
    QTest::newRow("a line without an end is written whole")
        << QByteArrayList{"0 rx " + QByteArray(20000, 'a'), "1 tx b"}
        << QStringList{"01.000 RX: " + QString(20000, QLatin1Char('a')), "01.001 TX: b"};
}

void TstSessionCapture::lines() {
    QFETCH(QByteArrayList, script);
    QFETCH(QStringList, expected);
    Rig rig;
    QCOMPARE(rig.capture.start(rig.path), 0);
    rig.play({"0 open"});
    rig.play(script);
    rig.capture.stop();
    QStringList lines = linesOf(rig.path);
    QCOMPARE(lines.takeFirst(),
             QStringLiteral("2026-12-09 17:40:01.000 -- Gravação iniciada (QuillonV2 2.3.59)"));
    QCOMPARE(lines.takeFirst(), QStringLiteral("2026-12-09 17:40:01.000 -- COM1 aberta em "
                                               "9600,n,8,1"));
    QVERIFY(lines.takeLast().endsWith(QStringLiteral(" -- Gravação encerrada")));
    for (QString& line : expected)
        line.prepend(QStringLiteral("2026-12-09 17:40:"));
    QCOMPARE(lines, expected);
}

void TstSessionCapture::appendsNeverTruncates_data() {
    QTest::addColumn<QByteArray>("before");
    QTest::newRow("a whole record") << QByteArray("earlier\r\n");
    QTest::newRow("a record a crash cut short") << QByteArray("earlier");
}

void TstSessionCapture::appendsNeverTruncates() {
    QFETCH(QByteArray, before);
    Rig rig;
    QFile file(rig.path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(before);
    file.close();
    QCOMPARE(rig.capture.start(rig.path), 0);
    rig.capture.stop();
    const QStringList lines = linesOf(rig.path);
    QCOMPARE(lines.size(), 3);
    QCOMPARE(lines[0], QStringLiteral("earlier"));
    QVERIFY(lines[1].endsWith(QStringLiteral("-- Gravação iniciada (QuillonV2 2.3.59)")));
}

// The MODBUS window reads its reply only after its wait; the record must show the
// reply when it came, and once.
void TstSessionCapture::unreadBytesAreSeenAsTheyArrive() {
    QTemporaryDir ports;
    PtyPeer peer(ports.path(), 1);
    QVERIFY(peer.ok());
    struct Heard final : LineTap {
        QByteArrayList read;
        void bytesRead(const SerialPort&, const QByteArray& bytes) override { read << bytes; }
        void bytesWritten(const SerialPort&, const QByteArray&) override {}
        void portOpened(const SerialPort&) override {}
        void settingsChanged(const SerialPort&) override {}
        void portClosed(const SerialPort&) override {}
    } heard;
    const std::unique_ptr<SerialPort> port = qtPortFactory(PortMap(ports.path()))();
    port->setPortNumber(1);
    port->setReceiveThreshold(0);
    QCOMPARE(port->open(), 0);
    port->setLineTap(&heard);
    peer.write(QByteArray("\x01\x03", 2));
    QTRY_COMPARE(heard.read, QByteArrayList{QByteArray("\x01\x03", 2)});
    peer.write("AB");
    QTRY_COMPARE(heard.read.size(), 2);
    QCOMPARE(port->readAll(), QByteArray("\x01\x03"
                                         "AB",
                                         4));
    peer.write("C");
    QTRY_COMPARE(port->bytesWaiting(), 1);
    QCOMPARE(port->readAll(), QByteArray("C"));
    QCOMPARE(heard.read, (QByteArrayList{QByteArray("\x01\x03", 2), "AB", "C"}));
}

void TstSessionCapture::quietLineIsWrittenByItself() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("s.txt"));
    PortTaps taps;
    SessionCapture capture(taps, QStringLiteral("QuillonV2 2.3.59"));
    QCOMPARE(capture.start(path), 0);
    FakePort port;
    capture.bytesRead(port, "AT");
    QCOMPARE(linesOf(path).size(), 1);
    QTRY_COMPARE_WITH_TIMEOUT(linesOf(path).size(), 2, 1500);
    QVERIFY(linesOf(path).last().endsWith(QStringLiteral(" RX: AT")));
    // Nothing is left to wake up for.
    QVERIFY(!capture.findChild<QTimer*>()->isActive());
}

void TstSessionCapture::failures_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("startResult");
    QTest::addColumn<QList<int>>("writeFailures");
    QTest::newRow("disk full") << QStringLiteral("/dev/full") << 0 << QList<int>{61};
    QTest::newRow("no such folder")
        << QStringLiteral("/nonexistent/folder/s.txt") << 76 << QList<int>{};
    QTest::newRow("a folder") << QStringLiteral("/tmp") << 75 << QList<int>{};
}

void TstSessionCapture::failures() {
    QFETCH(QString, path);
    QFETCH(int, startResult);
    QFETCH(QList<int>, writeFailures);
    Rig rig;
    QSignalSpy failed(&rig.capture, &SessionCapture::writeFailed);
    QCOMPARE(rig.capture.start(path), startResult);
    rig.play({"0 open", "1 tx AT\r\n", "2 rx OK\r\n"});
    rig.capture.stop();
    QVERIFY(!rig.capture.running());
    QList<int> seen;
    for (const QList<QVariant>& call : failed)
        seen << call.at(0).toInt();
    QCOMPARE(seen, writeFailures);
    QCOMPARE(rig.port.written(), QByteArray("AT\r\n"));
}

void TstSessionCapture::menuItem() {
    WindowFixture f;
    FrmXmodem& w = f.window();
    w.formLoad();
    QStringList order;
    for (const QAction* action : w.findChild<QMenu*>(QStringLiteral("mnuFile"))->actions())
        order << action->objectName();
    QCOMPARE(order, (QStringList{"mnuChoose", "dummy1", "mnuRecv", "mnuSnd", "mnuGravar", "dummy2",
                                 "mnuExit"}));
    QAction* item = w.menuItem(QStringLiteral("mnuGravar"));
    QCOMPARE(item->text(), QStringLiteral("&Gravar sessão..."));
    item->trigger(); // the save dialog is cancelled
    QVERIFY(!item->isChecked());
    QCOMPARE(f.dialogs.fileRequests.size(), 1);
    const FileDialogRequest asked = f.dialogs.fileRequests[0];
    QVERIFY(asked.save);
    QVERIFY2(QRegularExpression(QStringLiteral("^sessao-\\d{8}-\\d{6}\\.txt$"))
                 .match(asked.initialName)
                 .hasMatch(),
             qPrintable(asked.initialName));
    const QString folder = localPath(f.session.settings.workingDirectory);
    QCOMPARE(asked.directory, folder);
    f.dialogs.files.enqueue({false, asked.initialName});
    item->trigger();
    QVERIFY(item->isChecked());
    w.execute(Command::Terminal);
    w.controller().sendKey('x');
    item->trigger();
    QVERIFY(!item->isChecked());
    const QStringList lines = linesOf(QDir(folder).filePath(asked.initialName));
    QCOMPARE(lines.size(), 4);
    QVERIFY(lines[1].endsWith(QStringLiteral(" -- COM1 aberta em 1200,n,8,1")));
    QVERIFY(lines[2].endsWith(QStringLiteral(" TX: x")));
    QVERIFY(lines[3].endsWith(QStringLiteral(" -- Gravação encerrada")));
    QVERIFY(f.dialogs.messages.isEmpty());
}

void TstSessionCapture::writeFailureInTheWindow_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("shown");
    QTest::newRow("write fails") << QStringLiteral("/dev/full")
                                 << QStringLiteral("Não foi possível gravar a sessão em /dev/full: "
                                                   "disco cheio. A gravação foi encerrada.");
    QTest::newRow("cannot open") << QStringLiteral("/nonexistent/s.txt")
                                 << QStringLiteral("Não foi possível abrir /nonexistent/s.txt "
                                                   "para gravar a sessão: caminho não encontrado.");
}

void TstSessionCapture::writeFailureInTheWindow() {
    QFETCH(QString, path);
    QFETCH(QString, shown);
    WindowFixture f;
    FrmXmodem& w = f.window();
    w.formLoad();
    w.execute(Command::Terminal);
    f.dialogs.files.enqueue({false, path});
    w.menuItem(QStringLiteral("mnuGravar"))->trigger();
    QVERIFY(!w.menuItem(QStringLiteral("mnuGravar"))->isChecked());
    QVERIFY(!w.controller().capturing());
    // The line carries on, and nothing more is said.
    w.controller().sendKey('x');
    QCOMPARE(f.fakePort().written(), QByteArray("x"));
    QTRY_COMPARE(f.dialogs.messages.size(), 1);
    QTest::qWait(50);
    QCOMPARE(f.dialogs.messages.size(), 1);
    QCOMPARE(f.dialogs.messages[0].text, shown);
}

void TstSessionCapture::closingTheProgramEndsIt() {
    WindowFixture f;
    FrmXmodem& w = f.window();
    w.formLoad();
    const QString path = f.folder.dir.filePath(QStringLiteral("s.txt"));
    f.dialogs.files.enqueue({false, path});
    w.menuItem(QStringLiteral("mnuGravar"))->trigger();
    w.execute(Command::Terminal);
    w.close();
    const QStringList lines = linesOf(path);
    QCOMPARE(lines.size(), 4);
    QVERIFY(lines[2].endsWith(QStringLiteral(" -- COM1 fechada")));
    QVERIFY(lines[3].endsWith(QStringLiteral(" -- Gravação encerrada")));
}

void TstSessionCapture::uploadFromTheWindow() {
    WindowFixture f;
    FrmXmodem& w = f.window();
    w.formLoad();
    const QString program = f.folder.dir.filePath(QStringLiteral("prog.Epr"));
    QFile file(program);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(300, 'p'));
    file.close();
    f.session.applySettings({.programFile = program});
    // A loader that asks at the first "1" and takes every block and the EOT.
    f.fakePort().onWrite = [](FakePort& port, const QByteArray& bytes) {
        if (bytes == "1")
            port.inject("C");
        else if (bytes.size() == 133 || bytes == "\x04")
            port.injectAfter(2, "\x06");
    };
    const QString path = f.folder.dir.filePath(QStringLiteral("s.txt"));
    f.dialogs.files.enqueue({false, path});
    w.menuItem(QStringLiteral("mnuGravar"))->trigger();
    w.execute(Command::SendProgram);
    w.menuItem(QStringLiteral("mnuGravar"))->trigger();
    const QString text = linesOf(path).join(QLatin1Char('\n'));
    for (const char* line :
         {" TX: 4\n", " TX: 1\n", " RX: C\n", " -- Envio: 3 blocos de 128 bytes\n",
          " -- Envio encerrado: ENVIADO, 3 de 3 blocos, 0 reenvios\n"})
        QVERIFY2(text.contains(QString::fromLatin1(line)), qPrintable(text));
    QVERIFY(!text.contains(QStringLiteral("[SOH]")));
}

QTEST_MAIN(TstSessionCapture)
#include "tst_session_capture.moc"
