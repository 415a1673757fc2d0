#include "tests/support/event_wait.h"
#include "tests/support/sim_process.h"

#include "sim/controller_role.h"
#include "sim/crc16.h"
#include "sim/loader_role.h"
#include "sim/sim_options.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace quillon::sim;
using namespace quillon::simtest;

namespace {

// The wire bytes, written out here rather than taken from the simulator, so that a wrong
// constant there cannot agree with itself.
constexpr char Soh = 0x01;
constexpr char Eot = 0x04;
constexpr char Ack = 0x06;
constexpr char Nak = 0x15;
constexpr char Can = 0x18;
constexpr int DataSize = 128;
constexpr char Pad = 0x1A;

const QString SaveName = QStringLiteral("got.Epr");
const QString WireLogName = QStringLiteral("wire.log");
constexpr int ProcessTimeoutMs = 60'000;

// Data that differs from block to block and holds every byte value, the control bytes of
// the transfer and the start commands among them.
QByteArray payload(int index) {
    QByteArray data(DataSize, Qt::Uninitialized);
    for (int i = 0; i < DataSize; ++i)
        data[i] = static_cast<char>((index * 31 + i * 7) & 0xFF);
    return data;
}

QByteArray blockOf(int index, const QByteArray& data) {
    const quint16 crc = crc16Xmodem(data);
    QByteArray block;
    block += Soh;
    block += static_cast<char>(index & 0xFF);
    block += static_cast<char>(0xFF - (index & 0xFF));
    block += data;
    block += static_cast<char>(crc >> 8);
    block += static_cast<char>(crc & 0xFF);
    return block;
}

QByteArray blockOf(int index) {
    return blockOf(index, payload(index));
}

QByteArray withBadCrc(QByteArray block) {
    block[block.size() - 1] = static_cast<char>(block.at(block.size() - 1) ^ 0x01);
    return block;
}

QByteArray withBadComplement(QByteArray block) {
    block[2] = static_cast<char>(block.at(2) ^ 0x10);
    return block;
}

QByteArray payloads(std::initializer_list<int> indexes) {
    QByteArray data;
    for (const int index : indexes)
        data += payload(index);
    return data;
}

QByteArray consoleReply(const QByteArray& line) {
    return "\r\nPXC: " + line + "\r\n";
}

// A role's end of the line: what it sent, write by write, and what it reported.
class Capture {
public:
    explicit Capture(Role& role) {
        role.setSender([this](const QByteArray& bytes) { writes << bytes; });
        role.setReporter([this](const QString& text) { reports << text; });
    }
    Capture(const Capture&) = delete;
    Capture& operator=(const Capture&) = delete;

    QByteArray takeAll() {
        const QByteArray all = writes.join();
        writes.clear();
        return all;
    }

    QList<QByteArray> writes;
    QStringList reports;
};

// An empty chunk stands for the program closing the port: the line never delivers one.
void feed(Role& role, const QList<QByteArray>& chunks) {
    for (const QByteArray& chunk : chunks) {
        if (chunk.isEmpty())
            role.clientClosed();
        else
            role.receive(chunk);
    }
}

// The settings as the command line makes them, saving into dir.
bool settingsFor(const QTemporaryDir& dir, const QStringList& options, LoaderSettings* settings) {
    const ParsedOptions parsed =
        parseSimOptions(QStringList{QStringLiteral("quillon-sim"), QStringLiteral("--save"),
                                    dir.filePath(SaveName)} +
                        options);
    if (parsed.outcome != ParsedOptions::Outcome::Run) {
        qWarning("%s", qPrintable(parsed.text));
        return false;
    }
    *settings = parsed.options.loader;
    return true;
}

QByteArray savedIn(const QTemporaryDir& dir) {
    QFile file(dir.filePath(SaveName));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray padded(QByteArray data) {
    const qsizetype rest = data.size() % DataSize;
    if (rest != 0)
        data.append(DataSize - rest, Pad);
    return data;
}

std::unique_ptr<QSerialPort> openPort(const QString& path, qint32 baud) {
    auto port = std::make_unique<QSerialPort>(path);
    port->setBaudRate(baud);
    if (!port->open(QIODevice::ReadWrite))
        qWarning("cannot open %s: %s", qPrintable(path), qPrintable(port->errorString()));
    return port;
}

// For a failure message: the end of what went over the line.
QString wireLogTail(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("no wire log");
    const QList<QByteArray> lines = file.readAll().split('\n');
    return QStringLiteral("wire log ends:\n") +
           QString::fromLatin1(lines.sliced(qMax(0, lines.size() - 10)).join('\n'));
}

bool writeAll(QSerialPort& port, const char* bytes) {
    port.write(bytes);
    EventWait wait;
    wait.wakeOn(&port, &QSerialPort::bytesWritten);
    return wait.until([&] { return port.bytesToWrite() == 0; }, 5000);
}

} // namespace

class SimLoaderTest : public QObject {
    Q_OBJECT

private slots:
    void crcMatchesKnownValues_data();
    void crcMatchesKnownValues();

    void callsAfterTheKeys_data();
    void callsAfterTheKeys();
    void callsEverySecondUntilTheFirstBlock();
    void stopsCallingAfterAWhile();
    void startSequenceLapses();
    void answersBlocks_data();
    void answersBlocks();
    void blockCutShortIsRefusedAfterAPause_data();
    void blockCutShortIsRefusedAfterAPause();
    void eotInsideAHeadlessBlockIsNoEnd();
    void dropsTransferOnSilentLine();
    void closedPortEndsTransferOnceQuiet_data();
    void closedPortEndsTransferOnceQuiet();
    void transferGoesOnWhileBytesFollowAClose();
    void reportsWhatItSaved_data();
    void reportsWhatItSaved();
    void acknowledgesEvenWhenItCannotSave();
    void startsOverAfterATransfer();

    void controllerRoutes_data();
    void controllerRoutes();
    void controllerBehindModemRoutes_data();
    void controllerBehindModemRoutes();
    void controllerReleasesLapsedStart();

    void takesUploadFromRealSender_data();
    void takesUploadFromRealSender();
};

void SimLoaderTest::crcMatchesKnownValues_data() {
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<int>("crc");

    QTest::newRow("check string") << QByteArray("123456789") << 0x31C3;
    QTest::newRow("zero block") << QByteArray(DataSize, '\0') << 0x0000;
    QTest::newRow("padding block") << QByteArray(DataSize, Pad) << 0xF8B0;
    QTest::newRow("one byte") << QByteArray("A") << 0x58E5;
    QTest::newRow("nothing") << QByteArray() << 0x0000;
}

void SimLoaderTest::crcMatchesKnownValues() {
    QFETCH(QByteArray, data);
    QFETCH(int, crc);
    QCOMPARE(int(crc16Xmodem(data)), crc);
}

void SimLoaderTest::callsAfterTheKeys_data() {
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QList<QByteArray>>("chunks");
    QTest::addColumn<bool>("calls");

    const QStringList none;
    const QStringList after1{"--b1b2-after", "1"};
    const QStringList after3{"--b1b2-after", "3"};
    QTest::newRow("4 1 1") << none << QList<QByteArray>{"4", "1", "1"} << true;
    QTest::newRow("in one chunk") << none << QList<QByteArray>{"411"} << true;
    QTest::newRow("program repeats 4 1, closing between")
        << none << QList<QByteArray>{"4", "", "1", "", "4", "", "1"} << true;
    QTest::newRow("one 1 is enough when set so") << after1 << QList<QByteArray>{"4", "1"} << true;
    QTest::newRow("keys not pressed yet") << after3 << QList<QByteArray>{"4", "1", "1"} << false;
    QTest::newRow("third 1 presses them")
        << after3 << QList<QByteArray>{"4", "1", "4", "1", "1"} << true;
    QTest::newRow("1 without 4") << none << QList<QByteArray>{"1", "1", "1"} << false;
    QTest::newRow("4 alone") << none << QList<QByteArray>{"4", "4", "4"} << false;
    QTest::newRow("other byte breaks the sequence")
        << none << QList<QByteArray>{"4", "1", "x", "1"} << false;
    QTest::newRow("new sequence after a broken one")
        << none << QList<QByteArray>{"4", "1", "x", "4", "1", "1"} << true;
    QTest::newRow("end of transmission is not initialise")
        << none << QList<QByteArray>{QByteArray(1, Eot), "1", "1"} << false;

    // Behind the modem the program's "4" never arrives.
    const QStringList modem{"--modem"};
    QTest::newRow("modem: 1 1") << modem << QList<QByteArray>{"1", "1"} << true;
    QTest::newRow("modem: program repeats 1") << modem << QList<QByteArray>{"1", "", "1"} << true;
    QTest::newRow("modem: one 1 is not enough") << modem << QList<QByteArray>{"1"} << false;
    QTest::newRow("modem: one 1 is enough when set so")
        << modem + after1 << QList<QByteArray>{"1"} << true;
    QTest::newRow("modem: 4 1 1 still works") << modem << QList<QByteArray>{"4", "1", "1"} << true;
    QTest::newRow("modem: other byte breaks the sequence")
        << modem << QList<QByteArray>{"1", "x", "1"} << false;
}

void SimLoaderTest::callsAfterTheKeys() {
    QFETCH(QStringList, options);
    QFETCH(QList<QByteArray>, chunks);
    QFETCH(bool, calls);
    QTemporaryDir dir;
    LoaderSettings settings;
    QVERIFY(settingsFor(dir, options, &settings));
    LoaderRole loader(settings);
    Capture line(loader);
    feed(loader, chunks);
    // Alone in its write: the program looks for the call at the head of a chunk.
    QCOMPARE(line.writes, calls ? QList<QByteArray>{"C"} : QList<QByteArray>{});
    QCOMPARE(loader.phase() == LoaderRole::Phase::Calling, calls);
}

void SimLoaderTest::callsEverySecondUntilTheFirstBlock() {
    QTemporaryDir dir;
    LoaderSettings settings;
    QVERIFY(settingsFor(dir, {}, &settings));
    settings.times.callMs = 100;
    LoaderRole loader(settings);
    Capture line(loader);
    loader.receive("411");
    runEventsFor(450);
    QVERIFY2(line.writes.size() >= 3, qPrintable(QString::number(line.writes.size())));
    for (const QByteArray& write : std::as_const(line.writes))
        QCOMPARE(write, QByteArray("C"));

    line.writes.clear();
    const QByteArray block = blockOf(1);
    loader.receive(block.first(1));
    runEventsFor(300);
    QCOMPARE(line.writes, QList<QByteArray>{});
    loader.receive(block.sliced(1));
    QCOMPARE(line.takeAll(), QByteArray(1, Ack));
}

void SimLoaderTest::stopsCallingAfterAWhile() {
    QTemporaryDir dir;
    LoaderSettings settings;
    QVERIFY(settingsFor(dir, {}, &settings));
    settings.times.callMs = 50;
    settings.times.giveUpMs = 400;
    LoaderRole loader(settings);
    Capture line(loader);
    loader.receive("411");
    runEventsFor(250);
    QCOMPARE(loader.phase(), LoaderRole::Phase::Calling);
    runEventsFor(400);
    QCOMPARE(loader.phase(), LoaderRole::Phase::Idle);
    QVERIFY2(line.reports.last().contains(QLatin1String("no block")),
             qPrintable(line.reports.last()));

    line.writes.clear();
    runEventsFor(200);
    QCOMPARE(line.writes, QList<QByteArray>{});
    // A block now finds nobody listening; a new start sequence does.
    loader.receive(blockOf(1));
    QCOMPARE(line.writes, QList<QByteArray>{});
    loader.receive("411");
    QCOMPARE(line.writes, QList<QByteArray>{"C"});
}

void SimLoaderTest::startSequenceLapses() {
    QTemporaryDir dir;
    LoaderSettings settings;
    QVERIFY(settingsFor(dir, {}, &settings));
    settings.times.startQuietMs = 200;
    LoaderRole loader(settings);
    Capture line(loader);
    loader.receive("41");
    runEventsFor(350);
    loader.receive("1");
    QCOMPARE(line.writes, QList<QByteArray>{});
    loader.receive("411");
    QCOMPARE(line.writes, QList<QByteArray>{"C"});
}

void SimLoaderTest::answersBlocks_data() {
    QTest::addColumn<QStringList>("options");
    // What the sender sends after the call; an empty chunk closes the port.
    QTest::addColumn<QList<QByteArray>>("chunks");
    QTest::addColumn<QByteArray>("replies");
    // Null when nothing may be saved.
    QTest::addColumn<QByteArray>("saved");
    QTest::addColumn<bool>("endsIdle");

    const QByteArray eot(1, Eot);
    const QByteArray ack(1, Ack);
    const QByteArray nak(1, Nak);
    const QByteArray cans(3, Can);
    const QStringList none;
    const QByteArray nothing;

    QTest::newRow("three blocks") << none
                                  << QList<QByteArray>{blockOf(1), blockOf(2), blockOf(3), eot}
                                  << QByteArray(4, Ack) << payloads({1, 2, 3}) << true;
    QList<QByteArray> bytewise;
    for (const char c : blockOf(1) + eot)
        bytewise << QByteArray(1, c);
    QTest::newRow("byte by byte") << none << bytewise << QByteArray(2, Ack) << payload(1) << true;
    QTest::newRow("all in one chunk") << none << QList<QByteArray>{blockOf(1) + blockOf(2) + eot}
                                      << QByteArray(3, Ack) << payloads({1, 2}) << true;
    QTest::newRow("block split mid-way")
        << none << QList<QByteArray>{blockOf(1).first(70), blockOf(1).sliced(70) + eot}
        << QByteArray(2, Ack) << payload(1) << true;
    QTest::newRow("bad check value, then resent")
        << none << QList<QByteArray>{blockOf(1), withBadCrc(blockOf(2)), blockOf(2), eot}
        << ack + nak + ack + ack << payloads({1, 2}) << true;
    QTest::newRow("bad complement, then resent")
        << none << QList<QByteArray>{blockOf(1), withBadComplement(blockOf(2)), blockOf(2), eot}
        << ack + nak + ack + ack << payloads({1, 2}) << true;
    QTest::newRow("repeat after a lost answer is not kept twice")
        << none << QList<QByteArray>{blockOf(1), blockOf(2), blockOf(2), blockOf(3), eot}
        << QByteArray(5, Ack) << payloads({1, 2, 3}) << true;
    QTest::newRow("damaged repeat is refused")
        << none << QList<QByteArray>{blockOf(1), withBadCrc(blockOf(1)), blockOf(2), eot}
        << ack + nak + ack + ack << payloads({1, 2}) << true;
    QTest::newRow("block skipped")
        << none << QList<QByteArray>{blockOf(1), blockOf(3), blockOf(2), eot}
        << ack + nak + ack + ack << payloads({1, 2}) << true;
    QTest::newRow("no block before the first to repeat")
        << none << QList<QByteArray>{blockOf(0), blockOf(1), eot} << nak + ack + ack << payload(1)
        << true;
    QTest::newRow("noise and start commands between blocks")
        << none << QList<QByteArray>{"4",
                                     "1",
                                     QByteArray("x\x02\xff\x06", 4),
                                     blockOf(1),
                                     "1",
                                     "4",
                                     QByteArray(1, Can),
                                     blockOf(2),
                                     eot}
        << QByteArray(3, Ack) << payloads({1, 2}) << true;
    QByteArray lookalike(DataSize, Can);
    lookalike[5] = Eot;
    lookalike[6] = Soh;
    QTest::newRow("control bytes inside a block are data")
        << none << QList<QByteArray>{blockOf(1, lookalike), eot} << QByteArray(2, Ack) << lookalike
        << true;
    QTest::newRow("sender cancels")
        << none << QList<QByteArray>{blockOf(1), QByteArray(2, Can), eot} << ack << nothing << true;
    QTest::newRow("empty program")
        << none << QList<QByteArray>{eot} << ack << QByteArray("") << true;
    QList<QByteArray> many;
    QByteArray manyData;
    for (int index = 1; index <= 300; ++index) {
        many << blockOf(index);
        manyData += payload(index);
    }
    QTest::newRow("numbers wrap past 255")
        << none << many + QList<QByteArray>{eot} << QByteArray(301, Ack) << manyData << true;
    QTest::newRow("repeat across the wrap")
        << none << many.first(256) + QList<QByteArray>{many.at(255), many.at(256), eot}
        << QByteArray(259, Ack) << manyData.first(257 * DataSize) << true;

    QTest::newRow("nak-every 2") << QStringList{"--nak-every", "2"}
                                 << QList<QByteArray>{blockOf(1), blockOf(2), blockOf(2),
                                                      blockOf(3), blockOf(4), blockOf(4),
                                                      eot}
                                 << ack + nak + ack + ack + nak + ack + ack
                                 << payloads({1, 2, 3, 4}) << true;
    QTest::newRow("silent-after 2")
        << QStringList{"--silent-after", "2"}
        << QList<QByteArray>{blockOf(1), blockOf(2), blockOf(2), withBadCrc(blockOf(2)), eot} << ack
        << nothing << false;
    QTest::newRow("cancel-at 2") << QStringList{"--cancel-at", "2"}
                                 << QList<QByteArray>{blockOf(1), blockOf(2), blockOf(3), eot}
                                 << ack + cans << nothing << true;
    QTest::newRow("cancel-at 2 with a damaged block 2")
        << QStringList{"--cancel-at", "2"} << QList<QByteArray>{blockOf(1), withBadCrc(blockOf(2))}
        << ack + cans << nothing << true;
    QTest::newRow("nak-all") << QStringList{"--nak-all"}
                             << QList<QByteArray>{blockOf(1), blockOf(1), blockOf(1)}
                             << QByteArray(3, Nak) << nothing << false;
    QTest::newRow("nak-every 2, silent-after 3")
        << QStringList{"--nak-every", "2", "--silent-after", "3"}
        << QList<QByteArray>{blockOf(1), blockOf(2), blockOf(2), blockOf(3), eot} << ack + nak + ack
        << nothing << false;
    QTest::newRow("cancel-at 1 wins over nak-all")
        << QStringList{"--cancel-at", "1", "--nak-all"} << QList<QByteArray>{blockOf(1)} << cans
        << nothing << true;
    QTest::newRow("faults given as 0 are off")
        << QStringList{"--nak-every", "0", "--silent-after", "0", "--cancel-at", "0"}
        << QList<QByteArray>{blockOf(1), blockOf(2), eot} << QByteArray(3, Ack) << payloads({1, 2})
        << true;
}

void SimLoaderTest::answersBlocks() {
    QFETCH(QStringList, options);
    QFETCH(QList<QByteArray>, chunks);
    QFETCH(QByteArray, replies);
    QFETCH(QByteArray, saved);
    QFETCH(bool, endsIdle);
    QTemporaryDir dir;
    LoaderSettings settings;
    QVERIFY(settingsFor(dir, options, &settings));
    LoaderRole loader(settings);
    Capture line(loader);
    loader.receive("411");
    QCOMPARE(line.takeAll(), QByteArray("C"));

    feed(loader, chunks);
    QCOMPARE(line.takeAll().toHex(' '), replies.toHex(' '));
    QCOMPARE(QFile::exists(dir.filePath(SaveName)), !saved.isNull());
    QCOMPARE(savedIn(dir), saved);
    QCOMPARE(loader.phase() == LoaderRole::Phase::Idle, endsIdle);
}

void SimLoaderTest::blockCutShortIsRefusedAfterAPause_data() {
    // Pauses between equal parts of a block, then the whole block is sent again.
    QTest::addColumn<QList<int>>("pauses");
    QTest::addColumn<QByteArray>("replies");

    // The rest of the block, come too late, is noise; the resend is then the block.
    QTest::newRow("pause longer than the gap") << QList<int>{600} << QByteArray("\x15\x06\x06");
    // The late part completes the block; the resend is a repeat.
    QTest::newRow("pause shorter than the gap") << QList<int>{100} << QByteArray("\x06\x06\x06");
    QTest::newRow("trickle slower in all than the gap")
        << QList<int>{100, 100, 100, 100} << QByteArray("\x06\x06\x06");
}

void SimLoaderTest::blockCutShortIsRefusedAfterAPause() {
    QFETCH(QList<int>, pauses);
    QFETCH(QByteArray, replies);
    QTemporaryDir dir;
    LoaderSettings settings;
    QVERIFY(settingsFor(dir, {}, &settings));
    settings.times.interByteMs = 300;
    LoaderRole loader(settings);
    Capture line(loader);
    loader.receive("411");
    line.writes.clear();

    // No byte after the first part may look like the start of a block.
    const QByteArray data(DataSize, 'A');
    const QByteArray block = blockOf(1, data);
    const qsizetype part = block.size() / (pauses.size() + 1);
    loader.receive(block.first(part));
    for (qsizetype i = 0; i < pauses.size(); ++i) {
        const int early = qMin(pauses.at(i), 200);
        runEventsFor(early);
        QCOMPARE(line.writes, QList<QByteArray>{}); // nothing refused before the gap has passed
        runEventsFor(pauses.at(i) - early);
        const qsizetype from = part * (i + 1);
        loader.receive(i + 1 == pauses.size() ? block.sliced(from) : block.sliced(from, part));
    }
    loader.receive(block);
    loader.receive(QByteArray(1, Eot));
    QCOMPARE(line.takeAll().toHex(' '), replies.toHex(' '));
    QCOMPARE(savedIn(dir), data);
}

void SimLoaderTest::eotInsideAHeadlessBlockIsNoEnd() {
    // The line ate block 2's SOH: the rest is noise, and a 0x04 among the data is not
    // the sender's EOT. Taking it for one would save one block short and ACK, and the
    // sender would take that ACK for block 2.
    QTemporaryDir dir;
    LoaderSettings settings;
    QVERIFY(settingsFor(dir, {}, &settings));
    LoaderRole loader(settings);
    Capture line(loader);
    loader.receive("411");
    loader.receive(blockOf(1));
    QCOMPARE(line.takeAll(), QByteArray("C\x06"));
    QByteArray data(DataSize, 'd');
    data[40] = Eot;
    loader.receive(blockOf(2, data).sliced(1));
    QCOMPARE(line.takeAll(), QByteArray());
    QVERIFY(!QFile::exists(dir.filePath(SaveName)));
    // The block again, whole, and the real EOT after a quiet line end it.
    runEventsFor(150);
    loader.receive(blockOf(2, data));
    QCOMPARE(line.takeAll(), QByteArray("\x06"));
    loader.receive(QByteArray(1, Eot));
    QCOMPARE(savedIn(dir), payload(1) + data);
}

void SimLoaderTest::dropsTransferOnSilentLine() {
    QTemporaryDir dir;
    LoaderSettings settings;
    QVERIFY(settingsFor(dir, {}, &settings));
    settings.times.giveUpMs = 300;
    LoaderRole loader(settings);
    Capture line(loader);
    loader.receive("411");
    loader.receive(blockOf(1));
    QCOMPARE(line.takeAll(), QByteArray("C\x06"));
    runEventsFor(500);
    QCOMPARE(loader.phase(), LoaderRole::Phase::Idle);
    QVERIFY2(line.reports.last().contains(QLatin1String("silent")),
             qPrintable(line.reports.last()));
    loader.receive(blockOf(2) + Eot);
    QCOMPARE(line.takeAll(), QByteArray());
    QVERIFY(!QFile::exists(dir.filePath(SaveName)));
}

void SimLoaderTest::closedPortEndsTransferOnceQuiet_data() {
    // Sent after the call; an empty chunk closes the port.
    QTest::addColumn<QList<QByteArray>>("chunks");
    QTest::addColumn<QByteArray>("replies");
    QTest::addColumn<bool>("saves");

    const QByteArray eot(1, Eot);
    QTest::newRow("sender gone") << QList<QByteArray>{blockOf(1), ""} << QByteArray(1, Ack)
                                 << false;
    // The close is seen before bytes written ahead of it.
    QTest::newRow("close overtook a block")
        << QList<QByteArray>{blockOf(1), "", blockOf(2)} << QByteArray(2, Ack) << false;
    QTest::newRow("close overtook the end")
        << QList<QByteArray>{blockOf(1), "", eot} << QByteArray(2, Ack) << true;
}

void SimLoaderTest::closedPortEndsTransferOnceQuiet() {
    QFETCH(QList<QByteArray>, chunks);
    QFETCH(QByteArray, replies);
    QFETCH(bool, saves);
    QTemporaryDir dir;
    LoaderSettings settings;
    QVERIFY(settingsFor(dir, {}, &settings));
    settings.times.interByteMs = 200;
    LoaderRole loader(settings);
    Capture line(loader);
    loader.receive("411");
    line.writes.clear();
    feed(loader, chunks);
    QCOMPARE(line.takeAll().toHex(' '), replies.toHex(' '));
    runEventsFor(400);
    QCOMPARE(loader.phase(), LoaderRole::Phase::Idle);
    QCOMPARE(QFile::exists(dir.filePath(SaveName)), saves);
    if (!saves)
        QVERIFY2(line.reports.last().contains(QLatin1String("closed")),
                 qPrintable(line.reports.last()));
}

// Someone else may open and close the device while the sender carries on.
void SimLoaderTest::transferGoesOnWhileBytesFollowAClose() {
    QTemporaryDir dir;
    LoaderSettings settings;
    QVERIFY(settingsFor(dir, {}, &settings));
    settings.times.interByteMs = 200;
    LoaderRole loader(settings);
    Capture line(loader);
    loader.receive("411");
    loader.receive(blockOf(1));
    loader.clientClosed();
    for (const QByteArray& next : {blockOf(2), blockOf(3), QByteArray(1, Eot)}) {
        runEventsFor(120);
        loader.receive(next);
    }
    QCOMPARE(line.takeAll(), "C" + QByteArray(4, Ack));
    QCOMPARE(savedIn(dir), payloads({1, 2, 3}));
}

void SimLoaderTest::reportsWhatItSaved_data() {
    QTest::addColumn<int>("blocks");
    QTest::addColumn<QString>("counts");

    QTest::newRow("none") << 0 << "0 bytes (0 blocks)";
    QTest::newRow("one") << 1 << "128 bytes (1 block)";
    QTest::newRow("eight") << 8 << "1024 bytes (8 blocks)";
}

void SimLoaderTest::reportsWhatItSaved() {
    QFETCH(int, blocks);
    QFETCH(QString, counts);
    QTemporaryDir dir;
    LoaderSettings settings;
    QVERIFY(settingsFor(dir, {}, &settings));
    LoaderRole loader(settings);
    Capture line(loader);
    loader.receive("411");
    for (int index = 1; index <= blocks; ++index)
        loader.receive(blockOf(index));
    loader.receive(QByteArray(1, Eot));
    QCOMPARE(line.reports.last(),
             QStringLiteral("loader: received %1 -> %2").arg(counts, dir.filePath(SaveName)));
}

void SimLoaderTest::acknowledgesEvenWhenItCannotSave() {
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("gone")));
    LoaderSettings settings;
    QVERIFY(settingsFor(dir, {}, &settings));
    settings.savePath = dir.filePath(QStringLiteral("gone/got.Epr"));
    QVERIFY(QDir(dir.path()).rmdir(QStringLiteral("gone")));
    LoaderRole loader(settings);
    Capture line(loader);
    loader.receive("411");
    loader.receive(blockOf(1) + Eot);
    // The controller has its program; where the simulator keeps a copy is not its concern.
    QCOMPARE(line.takeAll(), QByteArray("C\x06\x06"));
    QVERIFY2(line.reports.last().contains(QLatin1String("cannot write")),
             qPrintable(line.reports.last()));
    QCOMPARE(loader.phase(), LoaderRole::Phase::Idle);
}

void SimLoaderTest::startsOverAfterATransfer() {
    QTemporaryDir dir;
    LoaderSettings settings;
    QVERIFY(settingsFor(dir, {}, &settings));
    LoaderRole loader(settings);
    Capture line(loader);
    loader.receive("411");
    loader.receive(blockOf(1) + blockOf(2) + Eot);
    QCOMPARE(savedIn(dir), payloads({1, 2}));
    line.writes.clear();

    // Blocks before a new start sequence find the loader idle.
    loader.receive(blockOf(1));
    QCOMPARE(line.takeAll(), QByteArray());
    loader.receive("411");
    loader.receive(blockOf(1, payload(7)) + Eot);
    QCOMPARE(line.takeAll(), QByteArray("C\x06\x06"));
    QCOMPARE(savedIn(dir), payload(7));
}

void SimLoaderTest::controllerRoutes_data() {
    QTest::addColumn<QList<QByteArray>>("chunks");
    QTest::addColumn<QList<QByteArray>>("writes");

    const QByteArray ack(1, Ack);
    const QByteArray fours(TerminalRole::MaxLine + 44, '4');
    QTest::newRow("typed line") << QList<QByteArray>{"ver\r"}
                                << QList<QByteArray>{consoleReply("ver")};
    QTest::newRow("line that starts like a start sequence")
        << QList<QByteArray>{"41\r"} << QList<QByteArray>{consoleReply("41")};
    QTest::newRow("4 typed alone, then more")
        << QList<QByteArray>{"4", "2", "\r"} << QList<QByteArray>{consoleReply("42")};
    QTest::newRow("4 alone on a line")
        << QList<QByteArray>{"4\r"} << QList<QByteArray>{consoleReply("4")};
    QTest::newRow("4 1 1 inside a line")
        << QList<QByteArray>{"ab4", "1", "1\r"} << QList<QByteArray>{consoleReply("ab411")};
    QTest::newRow("start sequence") << QList<QByteArray>{"4", "1", "1"} << QList<QByteArray>{"C"};
    QTest::newRow("program's start, closing between")
        << QList<QByteArray>{"4", "", "1", "", "4", "", "1"} << QList<QByteArray>{"C"};
    QTest::newRow("held 4 goes with its session")
        << QList<QByteArray>{"4", "", "hello\r"} << QList<QByteArray>{consoleReply("hello")};
    QTest::newRow("the loader has the line until the transfer ends")
        << QList<QByteArray>{"411", "ver\r", blockOf(1), QByteArray(1, Eot), "ver\r"}
        << QList<QByteArray>{"C", ack, ack, consoleReply("ver")};
    QTest::newRow("key held down")
        << QList<QByteArray>{fours + "\r"}
        << QList<QByteArray>{consoleReply(fours.first(TerminalRole::MaxLine)),
                             consoleReply(fours.sliced(TerminalRole::MaxLine))};
}

void SimLoaderTest::controllerRoutes() {
    QFETCH(QList<QByteArray>, chunks);
    QFETCH(QList<QByteArray>, writes);
    QTemporaryDir dir;
    LoaderSettings settings;
    QVERIFY(settingsFor(dir, {}, &settings));
    ControllerRole controller(settings);
    Capture line(controller);
    feed(controller, chunks);
    QCOMPARE(line.writes, writes);
}

void SimLoaderTest::controllerBehindModemRoutes_data() {
    QTest::addColumn<QList<QByteArray>>("chunks");
    QTest::addColumn<QList<QByteArray>>("writes");

    QTest::newRow("program's start commands")
        << QList<QByteArray>{"1", "", "1"} << QList<QByteArray>{"C"};
    QTest::newRow("1 typed alone on a line")
        << QList<QByteArray>{"1", "\r"} << QList<QByteArray>{consoleReply("1")};
    QTest::newRow("line that starts with 1")
        << QList<QByteArray>{"12\r"} << QList<QByteArray>{consoleReply("12")};
    QTest::newRow("1 1 inside a line")
        << QList<QByteArray>{"ab1", "1\r"} << QList<QByteArray>{consoleReply("ab11")};
    QTest::newRow("typed line") << QList<QByteArray>{"ver\r"}
                                << QList<QByteArray>{consoleReply("ver")};
}

void SimLoaderTest::controllerBehindModemRoutes() {
    QFETCH(QList<QByteArray>, chunks);
    QFETCH(QList<QByteArray>, writes);
    QTemporaryDir dir;
    LoaderSettings settings;
    QVERIFY(settingsFor(dir, {QStringLiteral("--modem")}, &settings));
    ControllerRole controller(settings);
    Capture line(controller);
    feed(controller, chunks);
    QCOMPARE(line.writes, writes);
}

void SimLoaderTest::controllerReleasesLapsedStart() {
    QTemporaryDir dir;
    LoaderSettings settings;
    QVERIFY(settingsFor(dir, {}, &settings));
    settings.times.startQuietMs = 200;
    ControllerRole controller(settings);
    Capture line(controller);
    controller.receive("4");
    runEventsFor(350);
    controller.receive("1\r");
    QCOMPARE(line.writes, QList<QByteArray>{consoleReply("41")});
}

void SimLoaderTest::takesUploadFromRealSender_data() {
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<int>("size");
    QTest::addColumn<bool>("delivered");

    const QStringList loader{"--role", "loader"};
    QTest::newRow("last block padded") << loader << 1000 << true;
    QTest::newRow("whole blocks") << loader << 1024 << true;
    QTest::newRow("block numbers wrap") << loader << 40'000 << true;
    QTest::newRow("default role") << QStringList{} << 3000 << true;
    QTest::newRow("refused blocks are resent")
        << loader + QStringList{"--nak-every", "3"} << 3000 << true;
    QTest::newRow("loader cancels") << loader + QStringList{"--cancel-at", "2"} << 1000 << false;
}

void SimLoaderTest::takesUploadFromRealSender() {
    QFETCH(QStringList, options);
    QFETCH(int, size);
    QFETCH(bool, delivered);
    const QString sender = QStringLiteral("/usr/bin/sx");
    if (!QFile::exists(sender))
        QSKIP("no /usr/bin/sx (package lrzsz) to send with");

    QTemporaryDir dir;
    const QString source = dir.filePath(QStringLiteral("program.Epr"));
    QByteArray program(size, Qt::Uninitialized);
    QRandomGenerator random(static_cast<quint32>(size));
    for (char& c : program)
        c = static_cast<char>(random.bounded(256));
    {
        QFile file(source);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(program), qint64(size));
    }
    const QString save = dir.filePath(SaveName);
    const QString link = dir.filePath(QStringLiteral("ports/COM3"));
    SimProcess sim;
    QString why;
    QVERIFY2(sim.start(QStringList{"--ports", dir.filePath(QStringLiteral("ports")), "--com", "3",
                                   "--b1b2-after", "1", "--save", save, "--log",
                                   dir.filePath(WireLogName)} +
                           options,
                       &why),
             qPrintable(why));

    // The handshake as the program does it, settings, closes and all.
    std::unique_ptr<QSerialPort> port = openPort(link, 1200);
    QVERIFY(port->isOpen());
    QVERIFY(writeAll(*port, "4"));
    port->close();
    port = openPort(link, 9600);
    QVERIFY(port->isOpen());
    QByteArray call;
    port->write("1");
    EventWait called;
    called.wakeOn(port.get(), &QSerialPort::readyRead);
    called.until(
        [&] {
            call += port->readAll();
            return !call.isEmpty();
        },
        5000);
    QCOMPARE(call, QByteArray("C"));
    // Before the sender starts: the port settings belong to the terminal, not to one
    // descriptor, and ours would become the sender's.
    port->close();

    // The sender waits for the next call.
    QProcess sx;
    sx.setStandardInputFile(link);
    sx.setStandardOutputFile(link);
    sx.start(sender, {QStringLiteral("-q"), source});
    EventWait wait;
    wait.wakeOn(&sx, &QProcess::finished).wakeOn(&sx, &QProcess::errorOccurred);
    QVERIFY2(wait.until([&] { return sx.state() == QProcess::NotRunning; }, ProcessTimeoutMs),
             qPrintable(wireLogTail(dir.filePath(WireLogName))));
    const QString sxErrors = QString::fromLocal8Bit(sx.readAllStandardError());
    QCOMPARE(sx.exitStatus(), QProcess::NormalExit);

    QByteArray simErrors;
    const QByteArray expected = delivered
                                    ? QStringLiteral("loader: received %1 bytes (%2 blocks) -> %3")
                                          .arg(padded(program).size())
                                          .arg(padded(program).size() / DataSize)
                                          .arg(save)
                                          .toLocal8Bit()
                                    : QByteArray("loader: cancelled the transfer at block 2");
    EventWait reported;
    reported.wakeOn(&sim.process(), &QProcess::readyReadStandardError);
    reported.until(
        [&] {
            simErrors += sim.process().readAllStandardError();
            return simErrors.contains(expected);
        },
        5000);
    QVERIFY2(simErrors.contains(expected), simErrors.constData());

    if (delivered) {
        QVERIFY2(sx.exitCode() == 0, qPrintable(sxErrors));
        QFile file(save);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray got = file.readAll();
        QCOMPARE(got.size(), padded(program).size());
        QVERIFY(got == padded(program));
    } else {
        QVERIFY(sx.exitCode() != 0);
        QVERIFY(!QFile::exists(save));
    }
}

QTEST_GUILESS_MAIN(SimLoaderTest)
#include "tst_sim_loader.moc"
