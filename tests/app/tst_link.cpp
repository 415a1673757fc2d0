#include "core/port_probe.h"
#include "core/serial_link.h"
#include "core/session.h"
#include "platform/port_map.h"
#include "platform/qt_serial_port.h"
#include "tests/support/fake_dialogs.h"
#include "tests/support/fake_port.h"
#include "tests/support/process_stats.h"
#include "tests/support/pty_peer.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <thread>

using namespace quillon;
using test::FakePort;

namespace {

struct LinkFixture {
    test::FakeDialogs dialogs;
    Session session{fullEdition(), QStringLiteral("/tmp"), dialogs,
                    [] { return std::make_unique<FakePort>(); }};
    FakePort port;
    SerialLink link{session, port};
    QByteArray shown;
    LinkFixture() {
        link.setTerminalSink([this](const QByteArray& b) { shown += b; });
        port.setReceiveThreshold(1);
        QCOMPARE(port.open(), 0);
    }
};

} // namespace

class TstLink : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void waitMsTakesItsTime_data();
    void waitMsTakesItsTime();
    void waitMsRunsEvents();
    void waitCancelEndsEveryWait();
    void waitCancelIgnoredWhenNotCancellable();
    void waitMsSleeps();
    void waitsReportAWindowThatWent();
    void chunksReachListeners_data();
    void chunksReachListeners();
    void stoppedTransferStillEndsTheBurst();
    void terminalModeRoutesToSink();
    void rxBufferIsBounded();
    void quietLine_data();
    void quietLine();
    void lineActiveFallsAfterBurst();
    void realPtyChunksAndQuietLine();
    void realPtyWriteThenCloseDelivers();
    void realPtyUnreadInputIsBounded();
    void realPtyArmedWriteGoesOutFromTheRead_data();
    void realPtyArmedWriteGoesOutFromTheRead();
    void realPtyLossWhileArmedIsReported();
    void typedKeyIsOneByte();
    void openTerminalPort_data();
    void openTerminalPort();
    void probeWithFakes();
    void portListing_data();
    void portListing();
    void portsFolderTextEntry_data();
    void portsFolderTextEntry();
};

void TstLink::waitMsTakesItsTime_data() {
    QTest::addColumn<double>("ms");
    QTest::newRow("0") << 0.0;
    QTest::newRow("-5") << -5.0;
    QTest::newRow("1") << 1.0;
    QTest::newRow("250") << 250.0;
    QTest::newRow("fraction") << 20.5;
}

void TstLink::waitMsTakesItsTime() {
    QFETCH(double, ms);
    Waiter waiter;
    QElapsedTimer clock;
    clock.start();
    waiter.waitMs(ms);
    const double elapsed = static_cast<double>(clock.nsecsElapsed()) / 1e6;
    QVERIFY2(elapsed >= ms, qPrintable(QString::number(elapsed)));
    QVERIFY2(elapsed < std::max(ms, 0.0) + 150, qPrintable(QString::number(elapsed)));
}

void TstLink::waitMsRunsEvents() {
    Waiter waiter;
    int ticks = 0;
    QTimer timer;
    connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    timer.start(20);
    int innerDepth = 0;
    QTimer::singleShot(50, [&] {
        innerDepth = waiter.depth();
        waiter.waitMs(100); // nested: the outer wait goes on after it
    });
    QElapsedTimer clock;
    clock.start();
    waiter.waitMs(300);
    QVERIFY(clock.elapsed() >= 300);
    QVERIFY(clock.elapsed() < 500);
    QCOMPARE(innerDepth, 1);
    QVERIFY2(ticks >= 10, qPrintable(QString::number(ticks)));
    QCOMPARE(waiter.depth(), 0);
}

void TstLink::waitCancelEndsEveryWait() {
    Waiter waiter;
    QElapsedTimer clock;
    clock.start();
    qint64 innerEnded = -1;
    QTimer::singleShot(50, [&] {
        QTimer::singleShot(100, [&] { waiter.cancel(); });
        waiter.waitMs(5000);
        innerEnded = clock.elapsed();
    });
    waiter.waitMs(5000);
    QVERIFY2(innerEnded >= 140 && innerEnded < 400, qPrintable(QString::number(innerEnded)));
    QVERIFY(clock.elapsed() < 400);
    // A new wait clears the flag and waits again.
    clock.restart();
    waiter.waitMs(100);
    QVERIFY(clock.elapsed() >= 100);
}

void TstLink::waitCancelIgnoredWhenNotCancellable() {
    Waiter waiter(false);
    QTimer::singleShot(20, [&] { waiter.cancel(); });
    QElapsedTimer clock;
    clock.start();
    waiter.waitMs(200);
    QVERIFY(clock.elapsed() >= 200);
}

void TstLink::waitMsSleeps() {
    Waiter waiter;
    const double cpuBefore = test::cpuSeconds();
    QElapsedTimer clock;
    clock.start();
    waiter.waitMs(2000);
    const double wall = static_cast<double>(clock.elapsed()) / 1000.0;
    const double share = (test::cpuSeconds() - cpuBefore) / wall;
    QVERIFY2(share < 0.05, qPrintable(QStringLiteral("CPU %1 %").arg(share * 100)));
}

void TstLink::waitsReportAWindowThatWent() {
    Waiter waiter;
    WindowLife window(waiter);
    QVERIFY(window.waitMs(1));
    // The window goes while a wait runs inside it: that wait answers so.
    QTimer::singleShot(10, [&] { QVERIFY(window.end()); });
    QVERIFY(!window.waitMs(100));
    QVERIFY(!window.alive());
    QVERIFY(!window.end()); // unloading twice does the work once
    // Nothing is left to wait for: a long wait ends at once.
    QElapsedTimer clock;
    clock.start();
    QVERIFY(!window.waitMs(60000));
    QVERIFY(clock.elapsed() < 30000);
}

void TstLink::chunksReachListeners_data() {
    QTest::addColumn<QByteArray>("chunk");
    QTest::newRow("ACK") << QByteArray("\x06");
    QTest::newRow("ACK and NAK") << QByteArray("\x06\x15");
    QTest::newRow("C") << QByteArray("C");
    QTest::newRow("OK CR LF") << QByteArray("OK\r\n");
    QTest::newRow("zero byte first") << QByteArray("\0\x06", 2);
}

void TstLink::chunksReachListeners() {
    QFETCH(QByteArray, chunk);
    LinkFixture f;
    QByteArrayList heard;
    connect(&f.link, &SerialLink::received, this,
            [&heard](const QByteArray& bytes) { heard.append(bytes); });
    f.port.inject(chunk);
    const LinkState& link = f.session.link;
    QCOMPARE(link.rxBuffer, chunk);
    QCOMPARE(link.lastReceived, chunk);
    QCOMPARE(heard, QByteArrayList{chunk});
    QVERIFY(link.lineActive);
    QVERIFY(f.shown.isEmpty());
}

void TstLink::stoppedTransferStillEndsTheBurst() {
    LinkFixture f;
    f.session.transfer.transferStop = true;
    f.port.inject("\x06");
    QCOMPARE(f.session.link.rxBuffer, QByteArray("\x06"));
    // The burst still ends, so a quiet-line wait is not held up.
    QTRY_VERIFY_WITH_TIMEOUT(!f.session.link.lineActive, 1000);
}

void TstLink::terminalModeRoutesToSink() {
    LinkFixture f;
    int heard = 0;
    connect(&f.link, &SerialLink::received, this, [&heard] { ++heard; });
    f.session.link.terminalMode = true;
    f.port.inject(QByteArray("AB\r\nXY\x07\0", 8));
    QCOMPARE(f.shown, QByteArray("AB\r\nXY\x07\0", 8));
    QVERIFY(f.session.link.rxBuffer.isEmpty());
    QCOMPARE(heard, 0);
}

void TstLink::rxBufferIsBounded() {
    LinkFixture f;
    const QByteArray block(10000, 'a');
    for (int i = 0; i < 20; ++i)
        f.port.inject(block);
    f.port.inject("OK\r\n");
    QCOMPARE(f.session.link.rxBuffer.size(), SerialLink::kRxBufferLimit);
    QVERIFY(f.session.link.rxBuffer.endsWith("OK\r\n"));
    f.port.inject(QByteArray(SerialLink::kRxBufferLimit * 2, 'b'));
    QCOMPARE(f.session.link.rxBuffer.size(), SerialLink::kRxBufferLimit);
}

void TstLink::quietLine_data() {
    QTest::addColumn<int>("bytes");     // bytes sent, one every 400 ms from the start
    QTest::addColumn<int>("atLeastMs"); // when the wait may end at the earliest
    QTest::newRow("silent") << 0 << 500;
    QTest::newRow("three bytes 400 ms apart") << 3 << 800 + 500;
}

void TstLink::quietLine() {
    QFETCH(int, bytes);
    QFETCH(int, atLeastMs);
    LinkFixture f;
    for (int i = 0; i < bytes; ++i)
        f.port.injectAfter(i * 400, "x");
    QElapsedTimer clock;
    clock.start();
    f.link.waitForQuietLine();
    const qint64 elapsed = clock.elapsed();
    QVERIFY2(elapsed >= atLeastMs, qPrintable(QString::number(elapsed)));
    QVERIFY2(elapsed < atLeastMs + 600, qPrintable(QString::number(elapsed)));
    QCOMPARE(f.session.link.rxBuffer.size(), bytes);
}

void TstLink::lineActiveFallsAfterBurst() {
    LinkFixture f;
    f.port.inject("a");
    QVERIFY(f.session.link.lineActive);
    QTest::qWait(300);
    f.port.inject("b");
    QTest::qWait(300);
    QVERIFY(f.session.link.lineActive); // the second byte restarted the half second
    QTRY_VERIFY_WITH_TIMEOUT(!f.session.link.lineActive, 400);
}

void TstLink::realPtyChunksAndQuietLine() {
    QTemporaryDir ports;
    test::PtyPeer peer(ports.path(), 1);
    QVERIFY(peer.ok());
    test::FakeDialogs dialogs;
    Session session(fullEdition(), QStringLiteral("/tmp"), dialogs,
                    qtPortFactory(PortMap(ports.path())));
    auto port = session.portFactory();
    SerialLink link(session, *port);
    QByteArray heard;
    connect(&link, &SerialLink::received, this,
            [&heard](const QByteArray& bytes) { heard += bytes; });
    port->setPortNumber(1);
    port->setReceiveThreshold(1);
    QCOMPARE(port->open(), 0);
    peer.write("x\x06");
    QTRY_COMPARE(heard, QByteArray("x\x06"));
    QTRY_VERIFY_WITH_TIMEOUT(!session.link.lineActive, 1000);

    int sent = 0;
    QTimer ticker;
    connect(&ticker, &QTimer::timeout, [&] {
        if (sent++ < 3)
            peer.write("x");
    });
    QElapsedTimer clock;
    clock.start();
    peer.write("x");
    ticker.start(400);
    link.waitForQuietLine();
    const qint64 elapsed = clock.elapsed();
    QVERIFY2(elapsed >= 1200 + 500 && elapsed < 2400, qPrintable(QString::number(elapsed)));
    QVERIFY(session.link.rxBuffer.endsWith("xxxx"));
}

void TstLink::realPtyWriteThenCloseDelivers() {
    // The start handshake writes "4" and closes at once to reopen at
    // another speed: the byte must still reach the line.
    QTemporaryDir ports;
    test::PtyPeer peer(ports.path(), 1);
    auto port = qtPortFactory(PortMap(ports.path()))();
    for (const char* text : {"4", "1", "44"}) {
        port->setPortNumber(1);
        QCOMPARE(port->open(), 0);
        QCOMPARE(port->write(text), 0);
        port->close();
    }
    QVERIFY(peer.waitFor("4144", 2000));
    QCOMPARE(peer.received(), QByteArray("4144"));
}

void TstLink::realPtyUnreadInputIsBounded() {
    QTemporaryDir ports;
    test::PtyPeer peer(ports.path(), 1);
    QVERIFY(peer.ok());
    auto port = qtPortFactory(PortMap(ports.path()))();
    port->setPortNumber(1);
    QCOMPARE(port->open(), 0);
    // As the MODBUS window holds the main port while it sits idle.
    port->setReceiveThreshold(0);
    const QByteArray flood(4 * 1024 * 1024, 'x');
    const qsizetype sent = peer.writeWithin(flood, 1000);
    QVERIFY2(port->bytesWaiting() <= QtSerialPortDevice::kUnreadHold,
             qPrintable(QString::number(port->bytesWaiting())));
    QVERIFY(sent < flood.size());
    QVERIFY(!port->readAll().isEmpty());
    // Back with events, the port reads everything again.
    port->setReceiveThreshold(1);
    QByteArray seen;
    QTimer::singleShot(0, [&] { peer.write("END"); });
    QTRY_VERIFY_WITH_TIMEOUT((seen += port->readAll()).endsWith("END"), 5000);
}

void TstLink::realPtyArmedWriteGoesOutFromTheRead_data() {
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<bool>("fires");
    // Read in one go unless an armed write went out between them.
    QTest::addColumn<QByteArrayList>("reads");
    QTest::newRow("trigger") << QByteArray("\x06") << true << QByteArrayList{"early\x06", "\x06"};
    QTest::newRow("another byte first") << QByteArray("x\x06") << false
                                        << QByteArrayList{"early"
                                                          "x\x06"
                                                          "\x06"};
}

void TstLink::realPtyArmedWriteGoesOutFromTheRead() {
    QFETCH(QByteArray, answer);
    QFETCH(bool, fires);
    QFETCH(QByteArrayList, reads);
    QTemporaryDir ports;
    test::PtyPeer peer(ports.path(), 1);
    QVERIFY(peer.ok());
    auto port = qtPortFactory(PortMap(ports.path()))();
    port->setPortNumber(1);
    QCOMPARE(port->setSettings(QStringLiteral("115200,n,8,1")), 0);
    QCOMPARE(port->open(), 0);
    int events = 0;
    connect(port.get(), &SerialPort::commEvent, this, [&] { ++events; });
    // Read by QSerialPort before the hand-over, and not lost by it.
    peer.write("early");
    QTRY_COMPARE(events, 1);
    QVERIFY(port->beginArmedWrites());
    QVERIFY(port->armWrite('\x06', "BLOCK"));
    const auto before = SerialPort::Clock::now();
    peer.write(answer);
    // No event loop runs here: what goes out, the port's own reader sent.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    // The answer to what went out must not be taken for part of the answer before it.
    peer.write("\x06");
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const std::optional<SerialPort::ArmedWrite> armed = port->withdrawArmedWrite();
    QCOMPARE(armed.has_value(), fires);
    if (fires) {
        QCOMPARE(armed->error, 0);
        QVERIFY(armed->at >= before && armed->at < SerialPort::Clock::now());
        QVERIFY(port->wireIdleAt() > armed->at);
    }
    for (const QByteArray& read : reads)
        QCOMPARE(port->readAll(), read);
    QCOMPARE(peer.waitFor("BLOCK", fires ? 2000 : 300), fires);
    // Handed back, QSerialPort reads and raises the events again.
    port->endArmedWrites();
    events = 0;
    peer.write("after");
    QTRY_VERIFY(events > 0);
    QCOMPARE(port->readAll(), QByteArray("after"));
}

void TstLink::realPtyLossWhileArmedIsReported() {
    QTemporaryDir ports;
    auto peer = std::make_unique<test::PtyPeer>(ports.path(), 1);
    auto port = qtPortFactory(PortMap(ports.path()))();
    port->setPortNumber(1);
    QCOMPARE(port->open(), 0);
    QVERIFY(port->beginArmedWrites());
    QVERIFY(port->armWrite('\x06', "BLOCK"));
    int lost = 0;
    connect(port.get(), &SerialPort::deviceLost, this, [&] { ++lost; });
    peer->vanish();
    QTRY_COMPARE(lost, 1);
    QVERIFY(!port->isOpen());
    QVERIFY(!port->withdrawArmedWrite());
}

void TstLink::typedKeyIsOneByte() {
    LinkFixture f;
    QCOMPARE(f.link.sendKey('x'), 0);
    QCOMPARE(f.port.written(), QByteArray("x"));
    f.port.close();
    QCOMPARE(f.link.sendKey('y'), PortError::PortNotOpen);
}

void TstLink::openTerminalPort_data() {
    QTest::addColumn<QString>("portNumber");
    QTest::addColumn<QString>("settings");
    QTest::addColumn<int>("openResult");
    QTest::addColumn<int>("error");
    QTest::newRow("ok") << QStringLiteral("3") << QStringLiteral("1200,n,8,1") << 0 << 0;
    QTest::newRow("in use") << QStringLiteral("3") << QStringLiteral("1200,n,8,1") << 8005 << 8005;
    QTest::newRow("bad settings") << QStringLiteral("3") << QStringLiteral("1200,n,9,1") << 0
                                  << 8008;
    QTest::newRow("port not a number")
        << QStringLiteral("x") << QStringLiteral("1200,n,8,1") << 0 << 8002;
    QTest::newRow("port zero") << QStringLiteral("0") << QStringLiteral("1200,n,8,1") << 0 << 8002;
}

void TstLink::openTerminalPort() {
    QFETCH(QString, portNumber);
    QFETCH(QString, settings);
    QFETCH(int, openResult);
    QFETCH(int, error);
    LinkFixture f;
    f.session.settings.portNumber = portNumber;
    f.session.settings.terminalSettings = settings;
    f.port.openResult = [openResult](int) { return openResult; };
    QCOMPARE(f.link.openTerminalPort(), error);
    QCOMPARE(f.port.isOpen(), error == 0);
    if (error == 0) {
        QCOMPARE(f.port.portNumber(), portNumber.toInt());
        QCOMPARE(f.port.settings(), settings);
        QCOMPARE(f.port.receiveThreshold(), 1);
    }
}

void TstLink::probeWithFakes() {
    // COM2 free, COM3 a modem, COM4 held elsewhere, everything else absent.
    auto factory = [] {
        auto port = std::make_unique<FakePort>();
        port->openResult = [](int n) {
            if (n == 2 || n == 3)
                return 0;
            return n == 4 ? 8005 : 8002;
        };
        port->onWrite = [](FakePort& self, const QByteArray& bytes) {
            if (self.portNumber() == 3 && bytes == "ATV1\r\n")
                self.injectAfter(50, "\r\nOK\r\n");
        };
        return port;
    };
    QElapsedTimer clock;
    clock.start();
    const QVector<int> status = PortProbe(factory).run(5000);
    const qint64 elapsed = clock.elapsed();
    QCOMPARE(status.size(), 5001);
    QCOMPARE(status[1], 8002);
    QCOMPARE(status[2], PortStatus::Free);
    QCOMPARE(status[3], PortStatus::Modem);
    QCOMPARE(status[4], PortStatus::InUse);
    QCOMPARE(status[5000], 8002);
    // Both open ports are asked side by side: one quiet-line wait, not two.
    QVERIFY2(elapsed >= 500 && elapsed < 900, qPrintable(QString::number(elapsed)));
}

void TstLink::portListing_data() {
    QTest::addColumn<QVector<int>>("status"); // for COM0..COM10
    QTest::addColumn<int>("saved");
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<QString>("text4");
    QTest::addColumn<QString>("combo");
    QVector<int> none(11, 0);
    QVector<int> mixed(11, 0);
    mixed[1] = 1;
    mixed[2] = 2;
    mixed[3] = 8005;
    mixed[7] = 8002;
    mixed[10] = 1;
    const QStringList mixedEntries = {QStringLiteral("COM1"), QStringLiteral("COM2 (MODEM)"),
                                      QStringLiteral("COM3 (OCUPADO)"), QStringLiteral("COM10")};
    QTest::newRow("saved free") << mixed << 1 << mixedEntries << QStringLiteral("1")
                                << QStringLiteral("COM1");
    QTest::newRow("saved modem") << mixed << 2 << mixedEntries << QStringLiteral("2")
                                 << QStringLiteral("COM2 (MODEM)");
    QTest::newRow("saved busy") << mixed << 3 << mixedEntries << QStringLiteral("3")
                                << QStringLiteral("COM3 (OCUPADO)");
    QTest::newRow("saved not listed")
        << mixed << 5 << mixedEntries << QStringLiteral("5") << QString();
    QTest::newRow("saved 12") << mixed << 12 << mixedEntries << QString() << QString();
    QTest::newRow("nothing found") << none << 4 << QStringList() << QStringLiteral("4")
                                   << QStringLiteral("Nenhuma COM encontr....");
    QTest::newRow("nothing found, saved 12")
        << none << 12 << QStringList() << QString() << QStringLiteral("Nenhuma COM encontr....");
}

void TstLink::portListing() {
    QFETCH(QVector<int>, status);
    QFETCH(int, saved);
    QFETCH(QStringList, entries);
    QFETCH(QString, text4);
    QFETCH(QString, combo);
    const PortListing listing = buildPortListing(status, saved);
    QStringList texts;
    for (const PortListEntry& e : listing.entries) {
        texts << e.text;
        QCOMPARE(e.text.section(QLatin1Char(' '), 0, 0), QStringLiteral("COM%1").arg(e.portNumber));
    }
    QCOMPARE(texts, entries);
    QCOMPARE(listing.portNumberText, text4);
    QCOMPARE(listing.comboText, combo);
}

void TstLink::portsFolderTextEntry_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("device"); // empty: no device for the number
    const QString gone = QStringLiteral("/sem/tal/ttyUSB0");
    QTest::newRow("LF") << QByteArray("/sem/tal/ttyUSB0\n") << gone;
    QTest::newRow("CR LF") << QByteArray("/sem/tal/ttyUSB0\r\n") << gone;
    QTest::newRow("CR only, more behind") << QByteArray("/sem/tal/ttyUSB0\r# COM3\r") << gone;
    QTest::newRow("no line end") << QByteArray("/sem/tal/ttyUSB0") << gone;
    QTest::newRow("blanks around") << QByteArray("  /sem/tal/ttyUSB0 \t\n") << gone;
    QTest::newRow("a real device, CR only")
        << QByteArray("/dev/null\r") << QStringLiteral("/dev/null");
    QTest::newRow("NUL in the path") << QByteArray("/dev/null\0/x\n", 13) << QString();
    QTest::newRow("NUL after the line")
        << QByteArray("/dev/null\n\0", 11) << QStringLiteral("/dev/null");
    QTest::newRow("empty") << QByteArray() << QString();
}

void TstLink::portsFolderTextEntry() {
    QFETCH(QByteArray, content);
    QFETCH(QString, device);
    QTemporaryDir ports;
    QFile entry(ports.filePath(QStringLiteral("COM3")));
    QVERIFY(entry.open(QIODevice::WriteOnly));
    entry.write(content);
    entry.close();
    QCOMPARE(PortMap(ports.path()).devicePath(3), device);
}

QTEST_GUILESS_MAIN(TstLink)
#include "tst_link.moc"
