#include "tests/support/event_wait.h"
#include "tests/support/sim_process.h"

#include "sim/crc16.h"
#include "sim/modem_front.h"
#include "sim/sim_options.h"

#include <QElapsedTimer>
#include <QFile>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <utility>

using namespace quillon::sim;
using namespace quillon::simtest;

namespace {

// Short times so the suite runs fast; the escape rows below are laid out around them.
constexpr int DialDelayMs = 50;
constexpr int GuardMs = 200;
// Well past the guard's nine tenths (180 ms) that must come before the first "+".
constexpr int QuietMs = 300;
// Well within the guard, between two "+" or after the last one.
constexpr int GapMs = 60;
constexpr int ReplyTimeoutMs = 5000;

QByteArray result(const QByteArray& text) {
    return "\r\n" + text + "\r\n";
}

const QByteArray Ok = result("OK");
const QByteArray Error = result("ERROR");
const QByteArray NoCarrier = result("NO CARRIER");
const QByteArray Connect9600 = result("CONNECT 9600");

ModemSettings fastSettings() {
    ModemSettings settings;
    settings.enabled = true;
    settings.dialDelayMs = DialDelayMs;
    settings.guardMs = GuardMs;
    return settings;
}

// The controller at the far end of the call: keeps what reaches it and talks on demand.
class FakeRole : public Role {
public:
    void receive(QByteArrayView bytes) override { received += bytes; }
    void clientClosed() override { ++closes; }
    void say(const QByteArray& bytes) { send(bytes); }

    QByteArray received;
    int closes = 0;
};

// The program's end of the line, with the modem and the fake role behind it.
class Line : public QObject {
    Q_OBJECT
public:
    explicit Line(const ModemSettings& settings) {
        auto role = std::make_unique<FakeRole>();
        far = role.get();
        modem = std::make_unique<ModemFront>(std::move(role), settings);
        modem->setSender([this](const QByteArray& bytes) {
            out += bytes;
            emit changed();
        });
        modem->setReporter([this](const QString& text) { reports << text; });
    }

    // An empty chunk stands for the program closing the port: the line never delivers one.
    void feed(const QList<QByteArray>& chunks) {
        for (const QByteArray& chunk : chunks) {
            if (chunk.isEmpty())
                modem->clientClosed();
            else
                modem->receive(chunk);
        }
    }

    QByteArray take() { return std::exchange(out, {}); }

    // Waits until what came out ends with `tail`, and takes it all.
    QByteArray takeWhenEndsWith(const QByteArray& tail, int timeoutMs = ReplyTimeoutMs) {
        EventWait wait;
        wait.wakeOn(this, &Line::changed);
        wait.until([&] { return out.endsWith(tail); }, timeoutMs);
        return take();
    }

    bool call() {
        feed({"ATDT1\r"});
        return takeWhenEndsWith(Connect9600) == Connect9600 &&
               modem->state() == ModemFront::State::Online;
    }

    bool escape() {
        runEventsFor(QuietMs);
        feed({"+++"});
        return takeWhenEndsWith(Ok) == Ok && modem->state() == ModemFront::State::Command;
    }

    FakeRole* far = nullptr;
    std::unique_ptr<ModemFront> modem;
    QByteArray out;
    QStringList reports;

signals:
    void changed();
};

ParsedOptions parse(const QStringList& arguments) {
    return parseSimOptions(QStringList{QStringLiteral("quillon-sim")} + arguments);
}

std::unique_ptr<QSerialPort> openPort(const QString& path) {
    auto port = std::make_unique<QSerialPort>(path);
    port->setBaudRate(QSerialPort::Baud9600);
    if (!port->open(QIODevice::ReadWrite))
        qWarning("cannot open %s: %s", qPrintable(path), qPrintable(port->errorString()));
    return port;
}

// Sends and collects what comes back until it ends with `tail` or time is up.
QByteArray exchange(QSerialPort& port, const QByteArray& send, const QByteArray& tail,
                    int timeoutMs = ReplyTimeoutMs) {
    QByteArray got;
    port.write(send);
    EventWait wait;
    wait.wakeOn(&port, &QSerialPort::readyRead);
    wait.until(
        [&] {
            got += port.readAll();
            return !tail.isEmpty() && got.endsWith(tail);
        },
        timeoutMs);
    return got;
}

bool writeAllOut(QSerialPort& port, const QByteArray& bytes) {
    port.write(bytes);
    EventWait wait;
    wait.wakeOn(&port, &QSerialPort::bytesWritten);
    return wait.until([&] { return port.bytesToWrite() == 0; }, ReplyTimeoutMs);
}

QByteArray waitForStandardError(SimProcess& sim, const QByteArray& wanted) {
    QByteArray text;
    EventWait wait;
    wait.wakeOn(&sim.process(), &QProcess::readyReadStandardError);
    wait.until(
        [&] {
            text += sim.process().readAllStandardError();
            return text.contains(wanted);
        },
        ReplyTimeoutMs);
    return text;
}

QStringList simArguments(const QTemporaryDir& dir, const QStringList& extra) {
    return QStringList{QStringLiteral("--ports"), dir.filePath(QStringLiteral("ports")),
                       QStringLiteral("--com"), QStringLiteral("3"), QStringLiteral("--modem")} +
           extra;
}

QString linkPath(const QTemporaryDir& dir) {
    return dir.filePath(QStringLiteral("ports/COM3"));
}

} // namespace

class SimModemTest : public QObject {
    Q_OBJECT

private slots:
    void commandLines_data();
    void commandLines();
    void dialNumberIsReported_data();
    void dialNumberIsReported();
    void dialResults_data();
    void dialResults();
    void silentDialWaitsForAbort();
    void dialAbort_data();
    void dialAbort();
    void closedPortDropsDial();

    void onlineDataPassesBothWays();
    void closedPortKeepsCall();
    void escape_data();
    void escape();
    void escapedCallGoesBackOnline();
    void noDialWhileCallIsUp();
    void hangUp_data();
    void hangUp();

    void acceptsModemOptions_data();
    void acceptsModemOptions();
    void rejectsModemOptions_data();
    void rejectsModemOptions();

    void answersAsModemOnItsLine();
    void loaderTakesUploadThroughModem();
};

void SimModemTest::commandLines_data() {
    QTest::addColumn<bool>("echo");
    // An empty chunk closes the port.
    QTest::addColumn<QList<QByteArray>>("chunks");
    QTest::addColumn<QByteArray>("replies");

    using Chunks = QList<QByteArray>;
    const QByteArray longest = "AT" + QByteArray(ModemFront::MaxCommandLine - 2, ' ') + "\r";
    const QByteArray tooLong = "AT" + QByteArray(ModemFront::MaxCommandLine - 1, ' ') + "\r";

    QTest::newRow("AT") << false << Chunks{"AT\r"} << Ok;
    QTest::newRow("lower case") << false << Chunks{"at\r"} << Ok;
    QTest::newRow("mixed case") << false << Chunks{"aT\r"} << Ok;
    QTest::newRow("probe with CR LF, answered once") << false << Chunks{"ATV1\r\n"} << Ok;
    QTest::newRow("ATZ") << false << Chunks{"ATZ\r"} << Ok;
    QTest::newRow("AT&F") << false << Chunks{"AT&F\r"} << Ok;
    QTest::newRow("ATH without a call") << false << Chunks{"ATH\r"} << Ok;
    QTest::newRow("ath without a call") << false << Chunks{"ath\r"} << Ok;
    QTest::newRow("ATE0") << false << Chunks{"ATE0\r"} << Ok;
    QTest::newRow("several settings") << false << Chunks{"ATX3V1Q0S7=60\r"} << Ok;
    QTest::newRow("spaces between commands") << false << Chunks{"AT V1 E0\r"} << Ok;
    QTest::newRow("&D is no dial") << false << Chunks{"AT&C1&D2\r"} << Ok;
    QTest::newRow("extended command with D is no dial") << false << Chunks{"AT+CGDCONT=1\r"} << Ok;
    QTest::newRow("word is no command") << false << Chunks{"hello\r"} << Error;
    QTest::newRow("word ending in at") << false << Chunks{"what\r"} << Error;
    QTest::newRow("letter before AT") << false << Chunks{"xATV1\r"} << Error;
    QTest::newRow("A alone") << false << Chunks{"A\r"} << Error;
    QTest::newRow("noise alone") << false << Chunks{"+++\r"} << Error;
    QTest::newRow("start command left before a command") << false << Chunks{"4ATV1\r"} << Ok;
    QTest::newRow("late escape left before ath") << false << Chunks{"+++ath\r"} << Ok;
    QTest::newRow("blank lines get nothing")
        << false << Chunks{"\r", "\r\n", "\n\n"} << QByteArray();
    QTest::newRow("LF does not end a line") << false << Chunks{"AT\n"} << QByteArray();
    QTest::newRow("LF inside a line is dropped") << false << Chunks{"AT\nV1\r"} << Ok;
    QTest::newRow("line over chunks") << false << Chunks{"A", "T", "V1", "\r"} << Ok;
    QTest::newRow("two lines in one chunk") << false << Chunks{"AT\rfoo\rATZ\r"} << Ok + Error + Ok;
    QTest::newRow("closed port drops the half line") << false << Chunks{"hello", "", "AT\r"} << Ok;
    QTest::newRow("ATO without a call") << false << Chunks{"ATO\r"} << NoCarrier;
    QTest::newRow("longest line") << false << Chunks{longest} << Ok;
    QTest::newRow("line one too long") << false << Chunks{tooLong} << Error;
    QTest::newRow("endless garbage answered once, then a command")
        << false << Chunks{QByteArray(100'000, 'x'), QByteArray(100'000, 'y'), "\r", "AT\r"}
        << Error + Ok;
    QTest::newRow("overlong AT line is refused whole")
        << false << Chunks{"ATDT" + QByteArray(1000, '5') + "\r"} << Error;

    QTest::newRow("echo on") << true << Chunks{"AT\r"} << "AT\r" + Ok;
    QTest::newRow("echo as received, line ends too")
        << true << Chunks{"AT", "V1\r\n"} << "ATV1\r" + Ok + "\n";
    QTest::newRow("echo of a refused line") << true << Chunks{"hi\r"} << "hi\r" + Error;
    QTest::newRow("ATE1 turns echo on") << false << Chunks{"ATE1\r", "AT\r"} << Ok + "AT\r" + Ok;
    QTest::newRow("ATE0 turns echo off") << true << Chunks{"ATE0\r", "AT\r"} << "ATE0\r" + Ok + Ok;
    QTest::newRow("ATZ restores echo off")
        << false << Chunks{"ATE1\r", "ATZ\r", "AT\r"} << Ok + "ATZ\r" + Ok + Ok;
    QTest::newRow("AT&F restores echo on")
        << true << Chunks{"ATE0\r", "AT&F\r", "AT\r"} << "ATE0\r" + Ok + Ok + "AT\r" + Ok;
}

void SimModemTest::commandLines() {
    QFETCH(bool, echo);
    QFETCH(QList<QByteArray>, chunks);
    QFETCH(QByteArray, replies);
    ModemSettings settings = fastSettings();
    settings.echo = echo;
    Line line(settings);
    line.feed(chunks);
    QCOMPARE(line.take(), replies);
    QCOMPARE(line.modem->state(), ModemFront::State::Command);
    QCOMPARE(line.far->received, QByteArray());
    QCOMPARE(line.reports, QStringList());
}

void SimModemTest::dialNumberIsReported_data() {
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QString>("number");

    QTest::newRow("settings before the dial") << QByteArray("ATX3DP5551234") << "5551234";
    QTest::newRow("tone") << QByteArray("ATDT123") << "123";
    QTest::newRow("pulse, lower case") << QByteArray("atdp123") << "123";
    QTest::newRow("no method, spaced") << QByteArray("ATD 555-1234") << "555-1234";
    QTest::newRow("&D before the dial") << QByteArray("AT&C1&D2DT42") << "42";
    QTest::newRow("noise before AT") << QByteArray("4ATDP7") << "7";
}

void SimModemTest::dialNumberIsReported() {
    QFETCH(QByteArray, command);
    QFETCH(QString, number);
    Line line(fastSettings());
    line.feed({command + '\r'});
    QCOMPARE(line.modem->state(), ModemFront::State::Dialing);
    QCOMPARE(line.reports, QStringList{QStringLiteral("modem: dialing ") + number});
    QCOMPARE(line.take(), QByteArray());
}

void SimModemTest::dialResults_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("connects");

    QTest::newRow("CONNECT 9600") << QByteArray("CONNECT 9600") << true;
    QTest::newRow("CONNECT 2400") << QByteArray("CONNECT 2400") << true;
    QTest::newRow("CONNECT 1200") << QByteArray("CONNECT 1200") << true;
    QTest::newRow("BUSY") << QByteArray("BUSY") << false;
    QTest::newRow("NO CARRIER") << QByteArray("NO CARRIER") << false;
    QTest::newRow("NO DIALTONE") << QByteArray("NO DIALTONE") << false;
    QTest::newRow("NO ANSWER") << QByteArray("NO ANSWER") << false;
}

void SimModemTest::dialResults() {
    QFETCH(QByteArray, text);
    QFETCH(bool, connects);
    constexpr int delayMs = 300;
    ModemSettings settings = fastSettings();
    settings.dialDelayMs = delayMs;
    settings.dialResult = text;
    Line line(settings);
    QElapsedTimer clock;
    clock.start();
    line.feed({"ATX3DP5551234\r"});
    runEventsFor(delayMs / 2);
    QCOMPARE(line.out, QByteArray());
    QCOMPARE(line.takeWhenEndsWith(result(text)), result(text));
    // Timers may fire a little early, never much.
    QVERIFY2(clock.elapsed() >= delayMs * 9 / 10, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(line.reports, (QStringList{QStringLiteral("modem: dialing 5551234"),
                                        QStringLiteral("modem: ") + QString::fromLatin1(text)}));
    QCOMPARE(line.modem->callUp(), connects);
    QCOMPARE(line.modem->state(),
             connects ? ModemFront::State::Online : ModemFront::State::Command);

    line.feed({"data\r"});
    QCOMPARE(line.take(), connects ? QByteArray() : Error);
    QCOMPARE(line.far->received, connects ? QByteArray("data\r") : QByteArray());
}

void SimModemTest::silentDialWaitsForAbort() {
    ModemSettings settings = fastSettings();
    settings.dialResult.clear();
    Line line(settings);
    line.feed({"ATDP123\r"});
    runEventsFor(DialDelayMs * 6);
    QCOMPARE(line.take(), QByteArray());
    QCOMPARE(line.modem->state(), ModemFront::State::Dialing);
    line.feed({"ath"});
    QCOMPARE(line.take(), NoCarrier);
    line.feed({"ATV1\r"});
    QCOMPARE(line.take(), Ok);
    QCOMPARE(line.far->received, QByteArray());
}

void SimModemTest::dialAbort_data() {
    // What comes while the dial is under way.
    QTest::addColumn<QList<QByteArray>>("chunks");
    QTest::addColumn<bool>("aborts");

    using Chunks = QList<QByteArray>;
    QTest::newRow("the program's ath") << Chunks{"ath"} << true;
    QTest::newRow("any key") << Chunks{"x"} << true;
    QTest::newRow("a line end") << Chunks{"\r"} << true;
    QTest::newRow("a new command line") << Chunks{"ATZ\r"} << true;
    QTest::newRow("LF of the dial's CR LF") << Chunks{"\n"} << false;
    QTest::newRow("a second LF") << Chunks{"\n", "\n"} << true;
}

void SimModemTest::dialAbort() {
    QFETCH(QList<QByteArray>, chunks);
    QFETCH(bool, aborts);
    ModemSettings settings = fastSettings();
    settings.dialDelayMs = 200;
    Line line(settings);
    line.feed({"ATDT1\r"});
    line.feed(chunks);
    // Past the time the result would have come.
    runEventsFor(settings.dialDelayMs * 2);
    QCOMPARE(line.take(), aborts ? NoCarrier : Connect9600);
    QCOMPARE(line.modem->callUp(), !aborts);
    QCOMPARE(line.far->received, QByteArray());
    if (aborts) {
        QCOMPARE(line.reports.last(), QStringLiteral("modem: dial aborted"));
        // What came with the aborting key is gone with it.
        line.feed({"ATV1\r"});
        QCOMPARE(line.take(), Ok);
    }
}

void SimModemTest::closedPortDropsDial() {
    Line line(fastSettings());
    line.feed({"ATDT1\r", ""});
    runEventsFor(DialDelayMs * 4);
    QCOMPARE(line.take(), QByteArray());
    QCOMPARE(line.modem->state(), ModemFront::State::Command);
    QCOMPARE(line.far->closes, 0);
    line.feed({"AT\r"});
    QCOMPARE(line.take(), Ok);
}

void SimModemTest::onlineDataPassesBothWays() {
    Line line(fastSettings());
    QVERIFY(line.call());
    const QByteArray binary("\x00\x01+\r\n\xff", 6);
    line.feed({"hello\r", "AT\r", binary, "a+b"});
    QCOMPARE(line.far->received, "hello\rAT\r" + binary + "a+b");
    QCOMPARE(line.take(), QByteArray());
    line.far->say("PXC: hi");
    line.far->say(binary);
    QCOMPARE(line.take(), "PXC: hi" + binary);
}

void SimModemTest::closedPortKeepsCall() {
    Line line(fastSettings());
    QVERIFY(line.call());
    line.feed({"4", "", "1"});
    QCOMPARE(line.far->closes, 1);
    QCOMPARE(line.modem->state(), ModemFront::State::Online);
    QCOMPARE(line.far->received, QByteArray("41"));
}

void SimModemTest::escape_data() {
    // Each chunk comes after its pause; the guard time is GuardMs.
    QTest::addColumn<QList<int>>("pauses");
    QTest::addColumn<QList<QByteArray>>("chunks");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<bool>("escapes");

    using Pauses = QList<int>;
    using Chunks = QList<QByteArray>;
    QTest::newRow("spaced after silence")
        << Pauses{QuietMs, GapMs, GapMs} << Chunks{"+", "+", "+"} << QByteArray() << true;
    QTest::newRow("at once after silence")
        << Pauses{QuietMs} << Chunks{"+++"} << QByteArray() << true;
    QTest::newRow("slowly, within the guard") << Pauses{QuietMs, GuardMs - 80, GuardMs - 80}
                                              << Chunks{"+", "+", "+"} << QByteArray() << true;
    QTest::newRow("too soon after data")
        << Pauses{QuietMs, GuardMs - 120, GapMs, GapMs} << Chunks{"x", "+", "+", "+"}
        << QByteArray("x+++") << false;
    QTest::newRow("a fourth +") << Pauses{QuietMs, GapMs, GapMs, GapMs}
                                << Chunks{"+", "+", "+", "+"} << QByteArray("++++") << false;
    QTest::newRow("data within the guard after")
        << Pauses{QuietMs, GapMs, GapMs, GuardMs - 100} << Chunks{"+", "+", "+", "y"}
        << QByteArray("+++y") << false;
    QTest::newRow("data between") << Pauses{QuietMs, GapMs} << Chunks{"+", "y+"}
                                  << QByteArray("+y+") << false;
    QTest::newRow("pause too long between") << Pauses{QuietMs, GuardMs + 100, GapMs}
                                            << Chunks{"+", "+", "+"} << QByteArray("+++") << false;
    QTest::newRow("+ alone after silence")
        << Pauses{QuietMs} << Chunks{"+"} << QByteArray("+") << false;
    QTest::newRow("inside a burst")
        << Pauses{QuietMs} << Chunks{"a+++"} << QByteArray("a+++") << false;
    QTest::newRow("escape after data")
        << Pauses{QuietMs, QuietMs} << Chunks{"data\r", "+++"} << QByteArray("data\r") << true;
}

void SimModemTest::escape() {
    QFETCH(QList<int>, pauses);
    QFETCH(QList<QByteArray>, chunks);
    QFETCH(QByteArray, data);
    QFETCH(bool, escapes);
    Line line(fastSettings());
    QVERIFY(line.call());
    for (qsizetype i = 0; i < chunks.size(); ++i) {
        runEventsFor(pauses.at(i));
        line.feed({chunks.at(i)});
    }
    runEventsFor(GuardMs + 200);
    QCOMPARE(line.far->received, data);
    QCOMPARE(line.take(), escapes ? Ok : QByteArray());
    QCOMPARE(line.modem->state(), escapes ? ModemFront::State::Command : ModemFront::State::Online);
    QVERIFY(line.modem->callUp());
    QCOMPARE(line.reports.contains(QStringLiteral("modem: escape")), escapes);
}

void SimModemTest::escapedCallGoesBackOnline() {
    Line line(fastSettings());
    QVERIFY(line.call());
    QVERIFY(line.escape());
    // The far end is not heard in command state, and commands do not reach it.
    line.far->say("lost");
    line.feed({"ATV1\r"});
    QCOMPARE(line.take(), Ok);
    QCOMPARE(line.far->received, QByteArray());

    line.feed({"ATO\r"});
    QCOMPARE(line.take(), Connect9600);
    QCOMPARE(line.modem->state(), ModemFront::State::Online);
    line.feed({"more\r"});
    QCOMPARE(line.far->received, QByteArray("more\r"));
    line.far->say("back");
    QCOMPARE(line.take(), QByteArray("back"));
    // The silence before an escape counts afresh once back online.
    QVERIFY(line.escape());
    QCOMPARE(line.far->received, QByteArray("more\r"));
}

void SimModemTest::noDialWhileCallIsUp() {
    Line line(fastSettings());
    QVERIFY(line.call());
    QVERIFY(line.escape());
    line.feed({"ATDT2\r"});
    QCOMPARE(line.take(), Error);
    QVERIFY(line.modem->callUp());
    QCOMPARE(line.modem->state(), ModemFront::State::Command);
}

void SimModemTest::hangUp_data() {
    QTest::addColumn<QByteArray>("command");

    QTest::newRow("ath") << QByteArray("ath\r");
    QTest::newRow("ATH") << QByteArray("ATH\r");
    QTest::newRow("ATH0") << QByteArray("ATH0\r");
    QTest::newRow("with settings") << QByteArray("ATE0H\r");
}

void SimModemTest::hangUp() {
    QFETCH(QByteArray, command);
    Line line(fastSettings());
    line.feed({"ATX3DP5551234\r"});
    QCOMPARE(line.takeWhenEndsWith(Connect9600), Connect9600);
    QVERIFY(line.escape());
    line.feed({command});
    QCOMPARE(line.take(), Ok);
    QVERIFY(!line.modem->callUp());
    QCOMPARE(line.far->closes, 1);
    QCOMPARE(line.reports, (QStringList{"modem: dialing 5551234", "modem: CONNECT 9600",
                                        "modem: escape", "modem: hang up"}));

    line.far->say("lost");
    line.feed({"hello\r", "ATO\r"});
    QCOMPARE(line.take(), Error + NoCarrier);
    QCOMPARE(line.far->received, QByteArray());
    QCOMPARE(line.modem->state(), ModemFront::State::Command);
}

void SimModemTest::acceptsModemOptions_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<bool>("echo");
    QTest::addColumn<int>("dialDelayMs");
    QTest::addColumn<QByteArray>("dialResult");
    QTest::addColumn<int>("guardMs");

    QTest::newRow("no modem") << QStringList{} << false << false << 2000
                              << QByteArray("CONNECT 9600") << 1000;
    QTest::newRow("defaults") << QStringList{"--modem"} << true << false << 2000
                              << QByteArray("CONNECT 9600") << 1000;
    QTest::newRow("all set") << QStringList{"--modem",       "--modem-echo", "--dial-delay", "0",
                                            "--dial-result", "BUSY",         "--guard-ms",   "50"}
                             << true << true << 0 << QByteArray("BUSY") << 50;
    QTest::newRow("silence") << QStringList{"--modem", "--dial-result", "silence"} << true << false
                             << 2000 << QByteArray() << 1000;
    QTest::newRow("result in any case")
        << QStringList{"--modem", "--dial-result", "connect 2400"} << true << false << 2000
        << QByteArray("CONNECT 2400") << 1000;
    QTest::newRow("in front of the terminal")
        << QStringList{"--modem", "--role", "terminal", "--dial-result", "NO DIALTONE"} << true
        << false << 2000 << QByteArray("NO DIALTONE") << 1000;
}

void SimModemTest::acceptsModemOptions() {
    QFETCH(QStringList, arguments);
    QFETCH(bool, enabled);
    QFETCH(bool, echo);
    QFETCH(int, dialDelayMs);
    QFETCH(QByteArray, dialResult);
    QFETCH(int, guardMs);
    const ParsedOptions parsed = parse(arguments);
    QVERIFY2(parsed.outcome == ParsedOptions::Outcome::Run, qPrintable(parsed.text));
    const ModemSettings& modem = parsed.options.modem;
    QCOMPARE(modem.enabled, enabled);
    QCOMPARE(modem.echo, echo);
    QCOMPARE(modem.dialDelayMs, dialDelayMs);
    QCOMPARE(modem.dialResult, dialResult);
    QCOMPARE(modem.guardMs, guardMs);
}

void SimModemTest::rejectsModemOptions_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("complaint");

    QTest::newRow("echo without the modem") << QStringList{"--modem-echo"} << "--modem-echo";
    QTest::newRow("delay without the modem") << QStringList{"--dial-delay", "5"} << "--dial-delay";
    QTest::newRow("result without the modem")
        << QStringList{"--dial-result", "BUSY"} << "--dial-result";
    QTest::newRow("guard without the modem") << QStringList{"--guard-ms", "5"} << "--guard-ms";
    QTest::newRow("unknown result")
        << QStringList{"--modem", "--dial-result", "CONNECT 14400"} << "CONNECT 14400";
    QTest::newRow("empty result") << QStringList{"--modem", "--dial-result", ""} << "--dial-result";
    QTest::newRow("negative delay")
        << QStringList{"--modem", "--dial-delay", "-1"} << "--dial-delay";
    QTest::newRow("delay not a number")
        << QStringList{"--modem", "--dial-delay", "soon"} << "--dial-delay";
    QTest::newRow("no guard") << QStringList{"--modem", "--guard-ms", "0"} << "--guard-ms";
}

void SimModemTest::rejectsModemOptions() {
    QFETCH(QStringList, arguments);
    QFETCH(QString, complaint);
    const ParsedOptions parsed = parse(arguments);
    QCOMPARE(parsed.outcome, ParsedOptions::Outcome::Error);
    QVERIFY2(parsed.text.contains(complaint), qPrintable(parsed.text));
}

void SimModemTest::answersAsModemOnItsLine() {
    constexpr int dialDelayMs = 200;
    QTemporaryDir dir;
    SimProcess sim;
    QString why;
    QVERIFY2(sim.start(simArguments(dir, {"--dial-delay", QString::number(dialDelayMs)}), &why),
             qPrintable(why));

    // The main program's start-up probe: everything within a second, then the port closes.
    {
        const auto probe = openPort(linkPath(dir));
        QVERIFY(probe->isOpen());
        const QByteArray got = exchange(*probe, "ATV1\r\n", {}, 1000);
        QCOMPARE(got, Ok);
    }

    const auto port = openPort(linkPath(dir));
    QVERIFY(port->isOpen());
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(exchange(*port, "ATX3DP123\r", Connect9600), Connect9600);
    QVERIFY2(clock.elapsed() >= dialDelayMs * 9 / 10, qPrintable(QString::number(clock.elapsed())));
    const QByteArray reply = "\r\nPXC: hello\r\n";
    QCOMPARE(exchange(*port, "hello\r", reply), reply);

    // The escape as the program makes it: a second of silence, "+" every 300 ms, then a
    // second of silence of its own.
    runEventsFor(1000);
    for (int plus = 0; plus < 3; ++plus) {
        if (plus > 0)
            runEventsFor(300);
        QVERIFY(writeAllOut(*port, "+"));
    }
    clock.restart();
    QCOMPARE(exchange(*port, {}, Ok, 3000), Ok);
    QVERIFY2(clock.elapsed() >= 900, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(exchange(*port, "ath\r", Ok), Ok);
    QCOMPARE(exchange(*port, "hello\r", Error), Error);

    const QByteArray log = waitForStandardError(sim, "modem: hang up");
    const QList<QByteArray> lines{"quillon-sim: modem: dialing 123\n",
                                  "quillon-sim: modem: CONNECT 9600\n",
                                  "quillon-sim: modem: escape\n", "quillon-sim: modem: hang up\n"};
    qsizetype at = 0;
    for (const QByteArray& wanted : lines) {
        at = log.indexOf(wanted, at);
        QVERIFY2(at >= 0, log.constData());
    }
}

void SimModemTest::loaderTakesUploadThroughModem() {
    QTemporaryDir dir;
    const QString save = dir.filePath(QStringLiteral("got.Epr"));
    SimProcess sim;
    QString why;
    QVERIFY2(sim.start(simArguments(dir, {"--dial-delay", "50", "--save", save}), &why),
             qPrintable(why));
    // The program's handshake: its initialise goes to the modem, before the call.
    {
        const auto init = openPort(linkPath(dir));
        QVERIFY(init->isOpen());
        init->setBaudRate(QSerialPort::Baud1200);
        QVERIFY(writeAllOut(*init, "4"));
    }
    const auto port = openPort(linkPath(dir));
    QVERIFY(port->isOpen());
    QCOMPARE(exchange(*port, "ATX3DP1\r", Connect9600), Connect9600);
    QCOMPARE(exchange(*port, "1", {}, 300), QByteArray());
    QCOMPARE(exchange(*port, "1", "C"), QByteArray("C"));

    // One block, written out here: start of header, number, its complement, data, CRC.
    QByteArray data(128, Qt::Uninitialized);
    for (int i = 0; i < data.size(); ++i)
        data[i] = static_cast<char>(i * 3 + 1);
    const quint16 crc = crc16Xmodem(data);
    QByteArray block = QByteArray("\x01\x01\xfe", 3) + data;
    block += static_cast<char>(crc >> 8);
    block += static_cast<char>(crc & 0xFF);
    const QByteArray ack(1, '\x06');
    // Calls for the block may still come ahead of the answer.
    QVERIFY(exchange(*port, block, ack).endsWith(ack));
    QVERIFY(exchange(*port, "\x04", ack).endsWith(ack));

    const QByteArray log = waitForStandardError(sim, "loader: received");
    QVERIFY2(log.contains("loader: received 128 bytes (1 block)"), log.constData());
    QFile file(save);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), data);
}

QTEST_GUILESS_MAIN(SimModemTest)
#include "tst_sim_modem.moc"
