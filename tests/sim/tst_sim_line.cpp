#include "sim/paced_wire.h"
#include "sim/uart_decoder.h"

#include <QTest>

using namespace quillon::sim;

namespace {

constexpr qint64 Ms = 1'000'000;

HeardByte good(char value) {
    return {value, false};
}

HeardByte framingError(char value) {
    return {value, true};
}

} // namespace

Q_DECLARE_METATYPE(HeardByte)
Q_DECLARE_METATYPE(SpeedChange)

class SimLineTest : public QObject {
    Q_OBJECT

private slots:
    void uartHearsWhatTheWaveformSays_data();
    void uartHearsWhatTheWaveformSays();
    void wireEndsCharactersOnTime_data();
    void wireEndsCharactersOnTime();
    void wireWakesInBatchesButEndsBurstsOnTime_data();
    void wireWakesInBatchesButEndsBurstsOnTime();
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

QTEST_GUILESS_MAIN(SimLineTest)
#include "tst_sim_line.moc"
