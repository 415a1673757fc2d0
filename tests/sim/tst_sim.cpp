#include "tests/support/event_wait.h"
#include "tests/support/sim_process.h"

#include "sim/terminal_role.h"
#include "sim/wire_log.h"

#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QRegularExpression>
#include <QSerialPort>
#include <QSocketNotifier>
#include <QTemporaryDir>
#include <QTest>

#include <poll.h>

#include <csignal>
#include <fcntl.h>
#include <memory>
#include <sys/ioctl.h>
#include <unistd.h>

using namespace quillon::sim;
using namespace quillon::simtest;

namespace {

constexpr int ReplyTimeoutMs = 5000;

QByteArray reply(const QByteArray& line) {
    return "\r\nPXC: " + line + "\r\n";
}

QList<QByteArray> feed(Role& role, const QList<QByteArray>& chunks) {
    QList<QByteArray> sent;
    role.setSender([&](const QByteArray& bytes) { sent << bytes; });
    for (const QByteArray& chunk : chunks)
        role.receive(chunk);
    return sent;
}

std::unique_ptr<QSerialPort> openPort(const QString& path) {
    auto port = std::make_unique<QSerialPort>(path);
    port->setBaudRate(QSerialPort::Baud9600);
    if (!port->open(QIODevice::ReadWrite))
        qWarning("cannot open %s: %s", qPrintable(path), qPrintable(port->errorString()));
    return port;
}

// Sends and collects what comes back until `want` bytes arrived or time is up.
QByteArray exchange(QSerialPort& port, const QByteArray& send, qsizetype want,
                    int timeoutMs = ReplyTimeoutMs) {
    QByteArray got;
    port.write(send);
    EventWait wait;
    wait.wakeOn(&port, &QSerialPort::readyRead);
    wait.until(
        [&] {
            got += port.readAll();
            return got.size() >= want;
        },
        timeoutMs);
    return got;
}

void writeAllOut(QSerialPort& port) {
    EventWait wait;
    wait.wakeOn(&port, &QSerialPort::bytesWritten);
    wait.until([&] { return port.bytesToWrite() == 0; }, ReplyTimeoutMs);
}

QStringList simArguments(const QTemporaryDir& dir, const QStringList& extra = {}) {
    return QStringList{QStringLiteral("--ports"), dir.filePath(QStringLiteral("ports")),
                       QStringLiteral("--com"), QStringLiteral("3")} +
           extra;
}

QString linkPath(const QTemporaryDir& dir) {
    return dir.filePath(QStringLiteral("ports/COM3"));
}

// The hex bytes of all log lines in one direction, joined, so the check does not depend
// on how the kernel happened to chunk the data.
QByteArray loggedHex(const QByteArray& log, const QByteArray& direction) {
    static const QRegularExpression line(
        QStringLiteral("^\\d+\\.\\d{6} (in|out) ([0-9A-F]{2}(?: [0-9A-F]{2})*)$"));
    QByteArrayList hex;
    for (const QByteArray& text : log.split('\n')) {
        const QRegularExpressionMatch match = line.match(QString::fromLatin1(text));
        if (match.hasMatch() && match.captured(1).toLatin1() == direction)
            hex << match.captured(2).toLatin1();
    }
    return hex.join(' ');
}

QByteArray hexOf(const QByteArray& bytes) {
    return bytes.toHex(' ').toUpper();
}

} // namespace

class SimTest : public QObject {
    Q_OBJECT

private slots:
    void terminalRoleAnswersLines_data();
    void terminalRoleAnswersLines();
    void terminalRoleNeverInventsOk_data();
    void terminalRoleNeverInventsOk();
    void terminalRoleForgetsHalfLineOfClosedClient();
    void wireLogLineFormat_data();
    void wireLogLineFormat();

    void announcesAndLinksPort();
    void answersAcrossReopens();
    void unreadReplyIsNotLeftForTheNextProgram();
    void modemProbeGetsNoOk();
    void logsBothDirectionsWhileRunning();
    void stopsCleanlyOnSignal_data();
    void stopsCleanlyOnSignal();
    void staysIdleAfterClientCloses_data();
    void staysIdleAfterClientCloses();
    void deadClientDoesNotLockPort();
    void replacesStaleLink();
    void leavesNonLinkAlone();
    void rejectsBadArguments_data();
    void rejectsBadArguments();
};

void SimTest::terminalRoleAnswersLines_data() {
    QTest::addColumn<QList<QByteArray>>("chunks");
    QTest::addColumn<QList<QByteArray>>("replies");

    const QByteArray max(TerminalRole::MaxLine, 'x');
    QTest::newRow("CR") << QList<QByteArray>{"hello\r"} << QList<QByteArray>{reply("hello")};
    QTest::newRow("LF") << QList<QByteArray>{"hello\n"} << QList<QByteArray>{reply("hello")};
    QTest::newRow("CR LF is one line end") << QList<QByteArray>{"hello\r\nworld\r\n"}
                                           << QList<QByteArray>{reply("hello"), reply("world")};
    QTest::newRow("CR LF split over chunks") << QList<QByteArray>{"hello\r", "\nworld\r"}
                                             << QList<QByteArray>{reply("hello"), reply("world")};
    QTest::newRow("LF CR is two line ends")
        << QList<QByteArray>{"a\n\rb\r"} << QList<QByteArray>{reply("a"), reply("b")};
    QTest::newRow("LF after text after CR ends a line")
        << QList<QByteArray>{"a\rb\n"} << QList<QByteArray>{reply("a"), reply("b")};
    QTest::newRow("empty lines are ignored")
        << QList<QByteArray>{"\r\n\r\n\r", "\n\n"} << QList<QByteArray>{};
    QTest::newRow("no echo before the line ends")
        << QList<QByteArray>{"hel", "lo"} << QList<QByteArray>{};
    QTest::newRow("line split over chunks")
        << QList<QByteArray>{"he", "l", "lo", "\r"} << QList<QByteArray>{reply("hello")};
    QTest::newRow("line of exactly the cap")
        << QList<QByteArray>{max + "\r\n"} << QList<QByteArray>{reply(max)};
    QTest::newRow("long line answered in pieces")
        << QList<QByteArray>{QByteArray(2 * TerminalRole::MaxLine + 10, 'y') + "\r"}
        << QList<QByteArray>{reply(QByteArray(TerminalRole::MaxLine, 'y')),
                             reply(QByteArray(TerminalRole::MaxLine, 'y')),
                             reply(QByteArray(10, 'y'))};
    QTest::newRow("long line over many chunks")
        << QList<QByteArray>{QByteArray(200, 'z'), QByteArray(100, 'z'), "\n"}
        << QList<QByteArray>{reply(QByteArray(TerminalRole::MaxLine, 'z')),
                             reply(QByteArray(44, 'z'))};
    QTest::newRow("embedded zero bytes") << QList<QByteArray>{QByteArray("a\0b\r", 4)}
                                         << QList<QByteArray>{reply(QByteArray("a\0b", 3))};
    QTest::newRow("zero byte alone") << QList<QByteArray>{QByteArray("\0\n", 2)}
                                     << QList<QByteArray>{reply(QByteArray(1, '\0'))};
}

void SimTest::terminalRoleAnswersLines() {
    QFETCH(QList<QByteArray>, chunks);
    QFETCH(QList<QByteArray>, replies);
    TerminalRole role;
    QCOMPARE(feed(role, chunks), replies);
}

void SimTest::terminalRoleNeverInventsOk_data() {
    QTest::addColumn<QByteArray>("input");

    QTest::newRow("modem probe") << QByteArray("ATV1\r\n");
    QTest::newRow("modem reset") << QByteArray("ATZ\r");
    QTest::newRow("O at line end") << QByteArray("HELLO\r");
    QTest::newRow("K at line start") << QByteArray("K\r");
    QTest::newRow("O then K on the next line") << QByteArray("O\rK\r");
    QTest::newRow("lower case") << QByteArray("ok\r");
}

// The main program probes every port with "ATV1" and takes any "OK" in the answer for a
// modem, so a reply may hold "OK" only if the line it answers did.
void SimTest::terminalRoleNeverInventsOk() {
    QFETCH(QByteArray, input);
    TerminalRole role;
    QByteArray lines;
    role.setSender([&](const QByteArray& bytes) {
        QVERIFY2(!bytes.contains("OK") || lines.contains("OK"), bytes.constData());
    });
    for (const QByteArray& line : input.split('\r')) {
        lines = line;
        role.receive(line + '\r');
    }
}

void SimTest::terminalRoleForgetsHalfLineOfClosedClient() {
    TerminalRole role;
    QList<QByteArray> sent;
    role.setSender([&](const QByteArray& bytes) { sent << bytes; });
    role.receive("garbage from a dying session");
    role.clientClosed();
    role.receive("ver\r");
    QCOMPARE(sent, QList<QByteArray>{reply("ver")});
}

void SimTest::wireLogLineFormat_data() {
    QTest::addColumn<qint64>("nsecs");
    QTest::addColumn<bool>("incoming");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QByteArray>("line");

    QTest::newRow("start") << qint64(0) << true << QByteArray("A")
                           << QByteArray("0.000000 in 41\n");
    QTest::newRow("sub-microsecond dropped")
        << qint64(1999) << false << QByteArray("\r\n") << QByteArray("0.000001 out 0D 0A\n");
    QTest::newRow("fraction padded")
        << qint64(12'000'050'000) << true << QByteArray("\x00\xff\x7f", 3)
        << QByteArray("12.000050 in 00 FF 7F\n");
    QTest::newRow("hours in") << qint64(3'600'123'456'789) << false << QByteArray("ab")
                              << QByteArray("3600.123456 out 61 62\n");
}

void SimTest::wireLogLineFormat() {
    QFETCH(qint64, nsecs);
    QFETCH(bool, incoming);
    QFETCH(QByteArray, bytes);
    QFETCH(QByteArray, line);
    QCOMPARE(WireLog::formatLine(nsecs, incoming ? WireLog::Direction::In : WireLog::Direction::Out,
                                 bytes),
             line);
}

void SimTest::announcesAndLinksPort() {
    QTemporaryDir dir;
    SimProcess sim;
    QString why;
    QVERIFY2(sim.start(simArguments(dir), &why), qPrintable(why));
    QVERIFY2(!sim.device().isEmpty(), qPrintable(sim.banner()));
    QVERIFY(sim.banner().startsWith(QLatin1String("quillon-sim: COM3 -> ")));
    const QFileInfo link(linkPath(dir));
    QVERIFY(link.isSymLink());
    QCOMPARE(link.symLinkTarget(), sim.device());
}

void SimTest::answersAcrossReopens() {
    QTemporaryDir dir;
    SimProcess sim;
    QString why;
    QVERIFY2(sim.start(simArguments(dir), &why), qPrintable(why));
    for (int session = 1; session <= 3; ++session) {
        const auto port = openPort(linkPath(dir));
        QVERIFY(port->isOpen());
        const QByteArray line = "hello" + QByteArray::number(session);
        QCOMPARE(exchange(*port, line + "\r", reply(line).size()), reply(line));
        port->close();
    }
}

void SimTest::unreadReplyIsNotLeftForTheNextProgram() {
    // Plain file access, not QSerialPort, which discards old input on its own
    // when it opens: other programs on the line do not.
    QTemporaryDir dir;
    SimProcess sim;
    QString why;
    QVERIFY2(sim.start(simArguments(dir), &why), qPrintable(why));
    const QByteArray device = QFile::encodeName(linkPath(dir));
    int fd = ::open(device.constData(), O_RDWR | O_NOCTTY);
    QVERIFY(fd >= 0);
    QCOMPARE(::write(fd, "stale\r", 6), ssize_t(6));
    QTest::qWait(200); // the reply now waits, unread, in the terminal
    ::close(fd);
    QTest::qWait(200);
    fd = ::open(device.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    QVERIFY(fd >= 0);
    pollfd wait{fd, POLLIN, 0};
    const int ready = ::poll(&wait, 1, 300);
    char leftover[64] = {};
    const ssize_t n = ready > 0 ? ::read(fd, leftover, sizeof leftover) : 0;
    ::close(fd);
    QCOMPARE(QByteArray(leftover, n > 0 ? static_cast<qsizetype>(n) : 0), QByteArray());
}

void SimTest::modemProbeGetsNoOk() {
    QTemporaryDir dir;
    SimProcess sim;
    QString why;
    QVERIFY2(sim.start(simArguments(dir), &why), qPrintable(why));
    const auto port = openPort(linkPath(dir));
    QVERIFY(port->isOpen());
    // Everything that arrives within the second after the probe, as the main program
    // would collect it.
    const QByteArray got = exchange(*port, "ATV1\r\n", 1 << 20, 1000);
    QCOMPARE(got, reply("ATV1"));
    QVERIFY(!got.contains("OK"));
}

void SimTest::logsBothDirectionsWhileRunning() {
    QTemporaryDir dir;
    const QString logPath = dir.filePath(QStringLiteral("wire.log"));
    SimProcess sim;
    QString why;
    QVERIFY2(sim.start(simArguments(dir, {QStringLiteral("--log"), logPath}), &why),
             qPrintable(why));
    const auto port = openPort(linkPath(dir));
    QVERIFY(port->isOpen());
    QCOMPARE(exchange(*port, "hi\r", reply("hi").size()), reply("hi"));

    // The simulator keeps running: what it logged must already be readable.
    QByteArray log;
    QFileSystemWatcher watcher({logPath});
    EventWait wait;
    wait.wakeOn(&watcher, &QFileSystemWatcher::fileChanged);
    const bool complete = wait.until(
        [&] {
            QFile file(logPath);
            log = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
            return loggedHex(log, "out") == hexOf(reply("hi"));
        },
        ReplyTimeoutMs);
    QVERIFY2(complete, log.constData());
    QCOMPARE(loggedHex(log, "in"), QByteArray("68 69 0D"));

    double last = 0;
    for (const QByteArray& line : log.trimmed().split('\n')) {
        QVERIFY2(QRegularExpression(
                     QStringLiteral("^\\d+\\.\\d{6} (in|out) [0-9A-F]{2}( [0-9A-F]{2})*$"))
                     .match(QString::fromLatin1(line))
                     .hasMatch(),
                 line.constData());
        const double time = line.left(line.indexOf(' ')).toDouble();
        QVERIFY2(time >= last, line.constData());
        last = time;
    }
}

void SimTest::stopsCleanlyOnSignal_data() {
    QTest::addColumn<int>("signo");
    QTest::newRow("SIGTERM") << int(SIGTERM);
    QTest::newRow("SIGINT") << int(SIGINT);
    QTest::newRow("SIGHUP") << int(SIGHUP);
}

void SimTest::stopsCleanlyOnSignal() {
    QFETCH(int, signo);
    QTemporaryDir dir;
    SimProcess sim;
    QString why;
    QVERIFY2(sim.start(simArguments(dir), &why), qPrintable(why));
    // With a client attached too: the link must go even while the port is in use.
    const auto port = openPort(linkPath(dir));
    QVERIFY(port->isOpen());
    QVERIFY(sim.stopWith(signo, ReplyTimeoutMs));
    QCOMPARE(sim.process().exitStatus(), QProcess::NormalExit);
    QCOMPARE(sim.process().exitCode(), 0);
    QVERIFY(!QFileInfo(linkPath(dir)).isSymLink());
    QVERIFY(QFileInfo(dir.filePath(QStringLiteral("ports"))).isDir());
}

void SimTest::staysIdleAfterClientCloses_data() {
    QTest::addColumn<bool>("readReply");
    QTest::newRow("after a full exchange") << true;
    QTest::newRow("reply left unread") << false;
}

// Once the client closes, a pseudo-terminal master can report hang-up on every poll; a
// simulator that reacts to that burns a whole core while looking idle.
void SimTest::staysIdleAfterClientCloses() {
    QFETCH(bool, readReply);
    QTemporaryDir dir;
    SimProcess sim;
    QString why;
    QVERIFY2(sim.start(simArguments(dir), &why), qPrintable(why));
    for (int session = 0; session < 2; ++session) {
        const auto port = openPort(linkPath(dir));
        QVERIFY(port->isOpen());
        if (readReply) {
            QCOMPARE(exchange(*port, "bye\r", reply("bye").size()), reply("bye"));
        } else {
            port->write("bye\r");
            writeAllOut(*port);
        }
        port->close();
    }
    runEventsFor(100);

    QElapsedTimer wall;
    wall.start();
    const double before = sim.cpuSeconds();
    QVERIFY(before >= 0);
    runEventsFor(1000);
    const double used = sim.cpuSeconds() - before;
    const double share = used / (static_cast<double>(wall.elapsed()) / 1000.0);
    QVERIFY2(share < 0.05, qPrintable(QStringLiteral("CPU share %1").arg(share)));
    QCOMPARE(sim.process().state(), QProcess::Running);
}

// A client that dies leaves exclusive mode set on the terminal; since the simulator keeps
// the terminal alive, nobody but root could open the port again unless it clears that.
void SimTest::deadClientDoesNotLockPort() {
    QTemporaryDir dir;
    SimProcess sim;
    QString why;
    QVERIFY2(sim.start(simArguments(dir), &why), qPrintable(why));
    const QByteArray path = QFile::encodeName(linkPath(dir));

    // Opened first, so it is let in whoever we run as.
    const int observer = ::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    QVERIFY(observer >= 0);
    const auto closeObserver = qScopeGuard([&] { ::close(observer); });
    int exclusive = 0;
    if (::ioctl(observer, TIOCGEXCL, &exclusive) != 0)
        QSKIP("this kernel cannot report exclusive mode");

    const int dying = ::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    QVERIFY(dying >= 0);
    QCOMPARE(::ioctl(dying, TIOCEXCL), 0);
    QCOMPARE(::ioctl(observer, TIOCGEXCL, &exclusive), 0);
    QCOMPARE(exclusive, 1);
    ::close(dying); // all a crash does: no TIOCNXCL

    // The close event is queued before this line, so by the time the answer comes the
    // simulator has seen both.
    QCOMPARE(::write(observer, "x\r", 2), ssize_t(2));
    QByteArray got;
    QSocketNotifier readable(observer, QSocketNotifier::Read);
    EventWait wait;
    wait.wakeOn(&readable, &QSocketNotifier::activated);
    wait.until(
        [&] {
            char buffer[256];
            const ssize_t n = ::read(observer, buffer, sizeof buffer);
            if (n > 0)
                got.append(buffer, static_cast<qsizetype>(n));
            return got.size() >= reply("x").size();
        },
        ReplyTimeoutMs);
    QCOMPARE(got, reply("x"));
    QCOMPARE(::ioctl(observer, TIOCGEXCL, &exclusive), 0);
    QCOMPARE(exclusive, 0);
}

void SimTest::replacesStaleLink() {
    QTemporaryDir dir;
    QVERIFY(QDir().mkpath(dir.filePath(QStringLiteral("ports"))));
    QVERIFY(QFile::link(QStringLiteral("/dev/pts/no-such-terminal"), linkPath(dir)));
    SimProcess sim;
    QString why;
    QVERIFY2(sim.start(simArguments(dir), &why), qPrintable(why));
    QCOMPARE(QFileInfo(linkPath(dir)).symLinkTarget(), sim.device());
    const auto port = openPort(linkPath(dir));
    QVERIFY(port->isOpen());
    QCOMPARE(exchange(*port, "again\r", reply("again").size()), reply("again"));
}

void SimTest::leavesNonLinkAlone() {
    QTemporaryDir dir;
    QVERIFY(QDir().mkpath(dir.filePath(QStringLiteral("ports"))));
    QFile file(linkPath(dir));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("keep me");
    file.close();

    QProcess sim;
    sim.start(SimProcess::program(), simArguments(dir));
    EventWait wait;
    wait.wakeOn(&sim, &QProcess::finished);
    QVERIFY(wait.until([&] { return sim.state() == QProcess::NotRunning; }, ReplyTimeoutMs));
    QCOMPARE(sim.exitCode(), 2);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("keep me"));
}

void SimTest::rejectsBadArguments_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("complaint");

    QTest::newRow("port zero") << QStringList{"--com", "0"} << "--com";
    QTest::newRow("port not a number") << QStringList{"--com", "three"} << "--com";
    QTest::newRow("port too high") << QStringList{"--com", "257"} << "--com";
    QTest::newRow("value missing") << QStringList{"--com"} << "--com";
    QTest::newRow("unknown option") << QStringList{"--baud", "9600"} << "baud";
    QTest::newRow("stray argument") << QStringList{"COM3"} << "COM3";
    QTest::newRow("unknown role") << QStringList{"--role", "toaster"} << "toaster";
    QTest::newRow("ports folder is a file") << QStringList{"--ports", "/dev/null"} << "/dev/null";
    QTest::newRow("log cannot be written")
        << QStringList{"--log", "/nonexistent/dir/wire.log"} << "wire.log";
    QTest::newRow("keys never pressed") << QStringList{"--b1b2-after", "0"} << "--b1b2-after";
    QTest::newRow("negative fault") << QStringList{"--nak-every", "-1"} << "--nak-every";
    QTest::newRow("fault not a number") << QStringList{"--cancel-at", "two"} << "--cancel-at";
    QTest::newRow("save folder missing")
        << QStringList{"--save", "/nonexistent/dir/got.Epr"} << "got.Epr";
    QTest::newRow("loader option without a loader")
        << QStringList{"--role", "terminal", "--silent-after", "2"} << "--silent-after";
    QTest::newRow("no such parity")
        << QStringList{"--console-settings", "1200,x,8,1"} << "--console-settings";
    QTest::newRow("no such data bits")
        << QStringList{"--transfer-settings", "9600,n,9,1"} << "--transfer-settings";
    QTest::newRow("no such stop bits")
        << QStringList{"--console-settings", "1200,n,8,3"} << "--console-settings";
    QTest::newRow("speed not a number")
        << QStringList{"--console-settings", "fast,n,8,1"} << "--console-settings";
    QTest::newRow("blank in the settings")
        << QStringList{"--console-settings", " 1200,n,8,1"} << "--console-settings";
    QTest::newRow("transfer settings without a loader")
        << QStringList{"--role", "terminal", "--transfer-settings", "9600,n,8,1"}
        << "--transfer-settings";
    QTest::newRow("a relay listens at nothing")
        << QStringList{"--role", "relay", "--console-settings", "1200,n,8,1"}
        << "--console-settings";
}

void SimTest::rejectsBadArguments() {
    QFETCH(QStringList, arguments);
    QFETCH(QString, complaint);
    QTemporaryDir dir;
    QProcess sim;
    // Should a bad argument slip through, the port goes somewhere harmless.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QUILLON_PORTS"), dir.filePath(QStringLiteral("ports")));
    sim.setProcessEnvironment(env);
    sim.start(SimProcess::program(), arguments);
    EventWait wait;
    wait.wakeOn(&sim, &QProcess::finished);
    QVERIFY(wait.until([&] { return sim.state() == QProcess::NotRunning; }, ReplyTimeoutMs));
    QCOMPARE(sim.exitStatus(), QProcess::NormalExit);
    QCOMPARE(sim.exitCode(), 2);
    const QString err = QString::fromLocal8Bit(sim.readAllStandardError());
    QVERIFY2(err.contains(complaint), qPrintable(err));
    QVERIFY(sim.readAllStandardOutput().isEmpty());
}

QTEST_GUILESS_MAIN(SimTest)
#include "tst_sim.moc"
