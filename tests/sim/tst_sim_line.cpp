#include "tty_port.h"

#include "tests/support/sim_process.h"

#include "sim/paced_wire.h"
#include "sim/uart_decoder.h"

#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include "tests/support/event_wait.h"

using namespace quillon::sim;
using namespace quillon::simtest;

namespace {

constexpr qint64 Ms = 1'000'000;
// Far beyond any line time here: only a simulator that never answers fails on it.
constexpr int AnswerTimeoutMs = 10'000;
// A call ("C") comes as the last "1" ends; this long without one, none is coming.
constexpr int NoCallMs = 1500;

HeardByte good(char value) {
    return {value, false};
}

HeardByte framingError(char value) {
    return {value, true};
}

// A paced simulator on COM3 of a fresh ports folder.
QString startPaced(SimProcess& sim, const QTemporaryDir& dir, const QStringList& options) {
    sim.setPaced(true);
    QString why;
    if (!sim.start(QStringList{"--ports", dir.filePath("ports"), "--com", "3"} + options, &why))
        return why;
    return {};
}

QString linkOf(const QTemporaryDir& dir) {
    return dir.filePath(QStringLiteral("ports/COM3"));
}

// One step of a program on the line: the speed it writes at, what it writes, and what it
// does after: changes the speed at once, waits for the line time, or closes and opens
// the port again (after the line time).
struct Step {
    enum class Then { ChangeAtOnce, Wait, Reopen };
    int baud;
    QByteArray bytes;
    Then then;
};

bool play(TtyPort& port, const QString& path, const QList<Step>& steps) {
    for (qsizetype i = 0; i < steps.size(); ++i) {
        const Step& step = steps.at(i);
        const int next = i + 1 < steps.size() ? steps.at(i + 1).baud : step.baud;
        if (!port.write(step.bytes))
            return false;
        if (step.then == Step::Then::ChangeAtOnce) {
            if (!port.setSpeed(next))
                return false;
            continue;
        }
        waitLineTime(step.bytes.size(), step.baud);
        if (step.then == Step::Then::Reopen) {
            port.close();
            if (!port.open(path, next))
                return false;
        } else if (next != step.baud && !port.setSpeed(next)) {
            return false;
        }
    }
    return true;
}

} // namespace

Q_DECLARE_METATYPE(HeardByte)
Q_DECLARE_METATYPE(SpeedChange)
Q_DECLARE_METATYPE(Step)

class SimLineTest : public QObject {
    Q_OBJECT

private slots:
    void uartHearsWhatTheWaveformSays_data();
    void uartHearsWhatTheWaveformSays();
    void wireEndsCharactersOnTime_data();
    void wireEndsCharactersOnTime();
    void wireWakesInBatchesButEndsBurstsOnTime_data();
    void wireWakesInBatchesButEndsBurstsOnTime();

    void burstTakesItsLineTimeBothWays_data();
    void burstTakesItsLineTimeBothWays();
    void loaderStartsOnlyOnCleanStart_data();
    void loaderStartsOnlyOnCleanStart();
    void consoleAnswersAtItsOwnSetting_data();
    void consoleAnswersAtItsOwnSetting();
    void dialLocksTheLineRate_data();
    void dialLocksTheLineRate();
    void relayPassesBytesAtTheProgramsPace_data();
    void relayPassesBytesAtTheProgramsPace();
    void pacedLoaderTakesUploadFromRealSender();
};

void SimLineTest::uartHearsWhatTheWaveformSays_data() {
    QTest::addColumn<int>("value");
    QTest::addColumn<QList<SpeedChange>>("speeds");
    QTest::addColumn<int>("receiverBaud");
    QTest::addColumn<QList<HeardByte>>("heard");

    const QList<SpeedChange> fast{{0, 9600}};
    const QList<SpeedChange> slow{{0, 1200}};
    // A 9600 character is over before a 1200 receiver has read its first data bit.
    QTest::newRow("4 at 9600 heard at 1200") << 0x34 << fast << 1200 << QList{good('\xFF')};
    QTest::newRow("C at 9600 heard at 1200") << 0x43 << fast << 1200 << QList{good('\xFF')};
    QTest::newRow("ACK at 9600 heard at 1200") << 0x06 << fast << 1200 << QList{good('\xFF')};
    QTest::newRow("1 at 9600 heard at 1200") << 0x31 << fast << 1200 << QList{good('\xFF')};
    // 0x68 is a 1 where the start bit would be confirmed, and the next fall is too
    // short as well: nothing at all.
    QTest::newRow("h at 9600 heard at 1200") << 0x68 << fast << 1200 << QList<HeardByte>{};
    QTest::newRow("4 at 1200 heard at 9600")
        << 0x34 << slow << 9600 << QList{framingError('\0'), good('\x80'), framingError('\0')};
    QTest::newRow("1 at 1200 heard at 9600")
        << 0x31 << slow << 9600 << QList{good('\x80'), framingError('\0'), framingError('\0')};
    QTest::newRow("same speed") << 0xA5 << fast << 9600 << QList{good('\xA5')};
    // Four bits of zeros at 1200, then the other five at 9600: the line is back at 1
    // before the receiver reads data bit 4.
    QTest::newRow("0x00 sped up after four bits, heard at 1200")
        << 0x00 << QList<SpeedChange>{{0, 1200}, {3'333'333, 9600}} << 1200 << QList{good('\xF0')};
}

void SimLineTest::uartHearsWhatTheWaveformSays() {
    QFETCH(int, value);
    QFETCH(QList<SpeedChange>, speeds);
    QFETCH(int, receiverBaud);
    QFETCH(QList<HeardByte>, heard);
    QCOMPARE(hearCharacter(static_cast<quint8>(value), speeds, receiverBaud), heard);
}

void SimLineTest::wireEndsCharactersOnTime_data() {
    QTest::addColumn<int>("baud");
    QTest::addColumn<QList<qint64>>("arrivals");
    QTest::addColumn<bool>("ownSetting");
    QTest::addColumn<qint64>("changeAtNs");
    QTest::addColumn<QList<qint64>>("ends");

    const qint64 none = -1;
    const qint64 at9600 = 1'041'667;
    const qint64 at1200 = 8'333'334;
    const qint64 half1200 = at1200 / 2;
    // Five of the ten bits left, at 9600.
    const qint64 cut = half1200 + at9600 / 2;
    QTest::newRow("back to back") << 9600 << QList<qint64>{0, 0} << false << none
                                  << QList<qint64>{at9600, 2 * at9600};
    QTest::newRow("after a gap, from its arrival")
        << 9600 << QList<qint64>{0, 5 * Ms} << false << none
        << QList<qint64>{at9600, 5 * Ms + at9600};
    QTest::newRow("a change halfway sends the rest at 9600")
        << 1200 << QList<qint64>{0} << false << half1200 << QList<qint64>{cut};
    QTest::newRow("queued behind a change, at 9600")
        << 1200 << QList<qint64>{0, 0} << false << half1200 << QList<qint64>{cut, cut + at9600};
    QTest::newRow("the controller's own setting is not cut")
        << 1200 << QList<qint64>{0} << true << half1200 << QList<qint64>{at1200};
}

void SimLineTest::wireEndsCharactersOnTime() {
    QFETCH(int, baud);
    QFETCH(QList<qint64>, arrivals);
    QFETCH(bool, ownSetting);
    QFETCH(qint64, changeAtNs);
    QFETCH(QList<qint64>, ends);

    const LineSetting start{baud};
    PacedWire wire(start);
    for (const qint64 at : arrivals)
        wire.push("x", at, ownSetting ? std::optional(start) : std::nullopt);
    if (changeAtNs >= 0)
        wire.setSetting(LineSetting{9600}, changeAtNs);
    const QList<EndedByte> ended = wire.takeEnded(100 * Ms);
    QCOMPARE(ended.size(), ends.size());
    for (qsizetype i = 0; i < ends.size(); ++i) {
        // Rounding to whole nanoseconds may differ by one or two.
        QVERIFY2(qAbs(ended.at(i).endNs - ends.at(i)) <= 2,
                 qPrintable(QString::number(ended.at(i).endNs)));
        QCOMPARE(ended.at(i).cutShort, changeAtNs >= 0 && !ownSetting && i == 0);
    }
}

void SimLineTest::wireWakesInBatchesButEndsBurstsOnTime_data() {
    QTest::addColumn<int>("baud");
    QTest::addColumn<int>("characters");
    QTest::addColumn<qint64>("wakeAt");

    // Woken last at 0: the next batch is due at 1 ms.
    QTest::newRow("long burst: the batch") << 115200 << 30 << Ms;
    QTest::newRow("short burst: its last character's end") << 115200 << 3 << 260'417LL;
    QTest::newRow("slow line: the next end") << 1200 << 2 << 8'333'334LL;
}

void SimLineTest::wireWakesInBatchesButEndsBurstsOnTime() {
    QFETCH(int, baud);
    QFETCH(int, characters);
    QFETCH(qint64, wakeAt);
    PacedWire wire(LineSetting{baud});
    wire.push(QByteArray(characters, 'x'), 0);
    const std::optional<qint64> wake = wire.wakeAt(Ms);
    QVERIFY(wake);
    QVERIFY2(qAbs(*wake - wakeAt) <= 2, qPrintable(QString::number(*wake)));
    QVERIFY(!PacedWire().wakeAt(Ms));
}

void SimLineTest::burstTakesItsLineTimeBothWays_data() {
    QTest::addColumn<int>("baud");
    QTest::addColumn<int>("stopBits");
    QTest::addColumn<QString>("settings");

    QTest::newRow("1200") << 1200 << 1 << "1200,n,8,1";
    QTest::newRow("9600") << 9600 << 1 << "9600,n,8,1";
    QTest::newRow("2400, 2 stop bits") << 2400 << 2 << "2400,n,8,2";
}

void SimLineTest::burstTakesItsLineTimeBothWays() {
    QFETCH(int, baud);
    QFETCH(int, stopBits);
    QFETCH(QString, settings);
    QTemporaryDir dir;
    SimProcess sim;
    const QString why =
        startPaced(sim, dir, {"--role", "terminal", "--console-settings", settings});
    QVERIFY2(why.isEmpty(), qPrintable(why));

    TtyPort port;
    QVERIFY(port.open(linkOf(dir), baud, stopBits));
    const QByteArray question = "hello\r";
    const QByteArray answer = "\r\nPXC: hello\r\n";
    QVERIFY(port.write(question));
    QCOMPARE(port.readUntil(answer.size(), AnswerTimeoutMs), answer);
    // The question reaches the terminal when its last character has ended, and the
    // answer goes out one character after the other.
    const qint64 least = lineTimeNs(question.size() + answer.size(), baud, stopBits);
    QVERIFY2(port.lastArrivalNs() >= least,
             qPrintable(QStringLiteral("%1 ns, less than the line time %2 ns")
                            .arg(port.lastArrivalNs())
                            .arg(least)));
}

void SimLineTest::loaderStartsOnlyOnCleanStart_data() {
    QTest::addColumn<QList<Step>>("steps");
    QTest::addColumn<bool>("calls");

    using Then = Step::Then;
    const QList<Step> ones{{9600, "1", Then::Wait}, {9600, "1", Then::Wait}};
    QTest::newRow("4 at 1200, then 1s at 9600")
        << QList<Step>{{1200, "4", Then::Reopen}} + ones << true;
    // The program repeats both every second; the loader already at 9600 hears the
    // second "4" as junk and keeps counting.
    QTest::newRow("4 repeated at 1200 between the 1s") << QList<Step>{{1200, "4", Then::Reopen},
                                                                      {9600, "1", Then::Reopen},
                                                                      {1200, "4", Then::Reopen},
                                                                      {9600, "1", Then::Wait}}
                                                       << true;
    QTest::newRow("4 at 1200 with the speed changed at once")
        << QList<Step>{{1200, "4", Then::ChangeAtOnce}} + ones << false;
    QTest::newRow("4 at 9600") << QList<Step>{{9600, "4", Then::Wait}} + ones << false;
}

void SimLineTest::loaderStartsOnlyOnCleanStart() {
    QFETCH(QList<Step>, steps);
    QFETCH(bool, calls);
    QTemporaryDir dir;
    SimProcess sim;
    const QString why = startPaced(sim, dir, {"--role", "loader", "--log", dir.filePath("w.log")});
    QVERIFY2(why.isEmpty(), qPrintable(why));

    TtyPort port;
    QVERIFY(port.open(linkOf(dir), steps.constFirst().baud));
    QVERIFY(play(port, linkOf(dir), steps));
    const QByteArray got = port.readUntil(1, calls ? AnswerTimeoutMs : NoCallMs);
    QFile log(dir.filePath("w.log"));
    QVERIFY(log.open(QIODevice::ReadOnly));
    QVERIFY2(got == (calls ? QByteArray("C") : QByteArray()), log.readAll().constData());
}

void SimLineTest::consoleAnswersAtItsOwnSetting_data() {
    QTest::addColumn<int>("readBaud");

    QTest::newRow("read at 1200, the console's setting") << 1200;
    QTest::newRow("read at 9600") << 9600;
}

void SimLineTest::consoleAnswersAtItsOwnSetting() {
    QFETCH(int, readBaud);
    QTemporaryDir dir;
    SimProcess sim;
    const QString why = startPaced(sim, dir, {});
    QVERIFY2(why.isEmpty(), qPrintable(why));

    // Long enough that the answer is still on the wire whenever the speed changes.
    const QByteArray line(40, 'x');
    const QByteArray answer = "\r\nPXC: " + line + "\r\n";
    TtyPort port;
    QVERIFY(port.open(linkOf(dir), 1200));
    QVERIFY(play(port, linkOf(dir), {{1200, line + '\r', Step::Then::Wait}}));
    QVERIFY(port.setSpeed(readBaud));
    const QByteArray got = port.readUntil(answer.size(), readBaud == 1200 ? AnswerTimeoutMs : 2000);
    if (readBaud == 1200)
        QCOMPARE(got, answer);
    else
        QVERIFY2(!got.contains("PXC: " + line), got.toHex(' ').constData());
}

void SimLineTest::dialLocksTheLineRate_data() {
    QTest::addColumn<int>("dialBaud");
    QTest::addColumn<int>("commandBaud");
    QTest::addColumn<bool>("calls");

    QTest::newRow("dial and commands at 9600") << 9600 << 9600 << true;
    QTest::newRow("dial and commands at 1200") << 1200 << 1200 << true;
    QTest::newRow("dial at 9600, commands at 1200") << 9600 << 1200 << false;
    QTest::newRow("dial at 1200, commands at 9600") << 1200 << 9600 << false;
}

void SimLineTest::dialLocksTheLineRate() {
    QFETCH(int, dialBaud);
    QFETCH(int, commandBaud);
    QFETCH(bool, calls);
    QTemporaryDir dir;
    SimProcess sim;
    const QString why = startPaced(sim, dir, {"--modem", "--role", "loader", "--dial-delay", "50"});
    QVERIFY2(why.isEmpty(), qPrintable(why));

    TtyPort port;
    QVERIFY(port.open(linkOf(dir), dialBaud));
    QVERIFY(port.write("ATD1\r"));
    const QByteArray connect = "\r\nCONNECT 9600\r\n";
    QCOMPARE(port.readUntil(connect.size(), AnswerTimeoutMs), connect);
    port.close();
    QVERIFY(port.open(linkOf(dir), commandBaud));
    QVERIFY(play(port, linkOf(dir),
                 {{commandBaud, "1", Step::Then::Wait}, {commandBaud, "1", Step::Then::Wait}}));
    QCOMPARE(port.readUntil(1, calls ? AnswerTimeoutMs : NoCallMs),
             calls ? QByteArray("C") : QByteArray());
}

void SimLineTest::relayPassesBytesAtTheProgramsPace_data() {
    QTest::addColumn<bool>("fromProgram");

    QTest::newRow("program to peer") << true;
    QTest::newRow("peer to program") << false;
}

void SimLineTest::relayPassesBytesAtTheProgramsPace() {
    QFETCH(bool, fromProgram);
    QTemporaryDir dir;
    SimProcess sim;
    const QString why = startPaced(sim, dir, {"--role", "relay"});
    QVERIFY2(why.isEmpty(), qPrintable(why));
    QVERIFY(!sim.farDevice().isEmpty());

    TtyPort program;
    TtyPort peer;
    QVERIFY(program.open(linkOf(dir), 1200));
    // The peer's own setting means nothing: the relay runs at the program's.
    QVERIFY(peer.open(sim.farDevice(), 9600));
    TtyPort& from = fromProgram ? program : peer;
    TtyPort& to = fromProgram ? peer : program;
    QByteArray bytes(12, Qt::Uninitialized);
    for (qsizetype i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>(i * 37);
    const qint64 least = lineTimeNs(bytes.size(), 1200);
    QElapsedTimer clock;
    clock.start();
    QVERIFY(from.write(bytes));
    QCOMPARE(to.readUntil(bytes.size(), AnswerTimeoutMs), bytes);
    QVERIFY2(clock.nsecsElapsed() >= least, qPrintable(QString::number(clock.nsecsElapsed())));
}

void SimLineTest::pacedLoaderTakesUploadFromRealSender() {
    const QString sender = QStringLiteral("/usr/bin/sx");
    if (!QFile::exists(sender))
        QSKIP("no /usr/bin/sx (package lrzsz) to send with");
    QTemporaryDir dir;
    const QString source = dir.filePath("program.Epr");
    const QString save = dir.filePath("got.Epr");
    QByteArray program(3000, Qt::Uninitialized);
    QRandomGenerator random(3000);
    for (char& c : program)
        c = static_cast<char>(random.bounded(256));
    QFile file(source);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(program), qint64(program.size()));
    file.close();
    SimProcess sim;
    const QString why =
        startPaced(sim, dir, {"--role", "loader", "--b1b2-after", "1", "--save", save});
    QVERIFY2(why.isEmpty(), qPrintable(why));

    // The handshake, leaving the line at 9600 for the sender, which keeps the speed.
    TtyPort port;
    QVERIFY(port.open(linkOf(dir), 1200));
    QVERIFY(
        play(port, linkOf(dir), {{1200, "4", Step::Then::Reopen}, {9600, "1", Step::Then::Wait}}));
    QCOMPARE(port.readUntil(1, AnswerTimeoutMs), QByteArray("C"));
    port.close();

    QProcess sx;
    sx.setStandardInputFile(linkOf(dir));
    sx.setStandardOutputFile(linkOf(dir));
    QElapsedTimer clock;
    clock.start();
    sx.start(sender, {QStringLiteral("-q"), source});
    EventWait wait;
    wait.wakeOn(&sx, &QProcess::finished).wakeOn(&sx, &QProcess::errorOccurred);
    QVERIFY(wait.until([&] { return sx.state() == QProcess::NotRunning; }, 60'000));
    QCOMPARE(sx.exitCode(), 0);
    // 24 blocks of 133 bytes at 9600, and their answers.
    QVERIFY(clock.nsecsElapsed() >= lineTimeNs(24 * 134, 9600));
    QFile got(save);
    QVERIFY(got.open(QIODevice::ReadOnly));
    QCOMPARE(got.readAll().left(program.size()), program);
}

QTEST_GUILESS_MAIN(SimLineTest)
#include "tst_sim_line.moc"
