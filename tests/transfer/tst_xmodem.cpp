#include "transfer/xmodem.h"
#include "transfer/xmodem_replies.h"

#include <QTest>

using namespace quillon;

class TstXmodem : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void crcVectors_data();
    void crcVectors();
    void blockNumbering_data();
    void blockNumbering();
    void blockCount_data();
    void blockCount();
    void blockLayout();
    void replies_data();
    void replies();
};

void TstXmodem::crcVectors_data() {
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<int>("crc");
    QTest::newRow("check string") << QByteArray("123456789") << 0x31C3;
    QTest::newRow("128 zero bytes") << QByteArray(128, '\0') << 0x0000;
    QTest::newRow("128 pad bytes") << QByteArray(128, 0x1A) << 0xF8B0;
    QTest::newRow("one A") << QByteArray("A") << 0x58E5;
    QTest::newRow("empty") << QByteArray() << 0x0000;
}

void TstXmodem::crcVectors() {
    QFETCH(QByteArray, data);
    QFETCH(int, crc);
    const auto [high, low] = xmodem::calcularCrcXmodem(data);
    QCOMPARE(high * 256 + low, crc);
    qint32 running = 0;
    for (const char b : data)
        xmodem::atualizarCrcXmodem(static_cast<quint8>(b), 0x1021, running);
    QCOMPARE(running, crc);
}

void TstXmodem::blockNumbering_data() {
    QTest::addColumn<int>("k");
    QTest::addColumn<int>("number");
    QTest::newRow("1") << 1 << 1;
    QTest::newRow("255") << 255 << 255;
    QTest::newRow("256") << 256 << 0;
    QTest::newRow("257") << 257 << 1;
    QTest::newRow("32767") << 32767 << 255;
}

void TstXmodem::blockNumbering() {
    QFETCH(int, k);
    QFETCH(int, number);
    const QByteArray block = xmodem::buildBlock(k, "x");
    QCOMPARE(static_cast<quint8>(block.at(1)), quint8(number));
    QCOMPARE(static_cast<quint8>(block.at(2)), quint8(255 - number));
}

void TstXmodem::blockCount_data() {
    QTest::addColumn<qint64>("length");
    QTest::addColumn<int>("blocks"); // -1: too long
    QTest::newRow("0") << qint64(0) << 1;
    QTest::newRow("1") << qint64(1) << 1;
    QTest::newRow("127") << qint64(127) << 1;
    QTest::newRow("128 gets an empty block") << qint64(128) << 2;
    QTest::newRow("129") << qint64(129) << 2;
    QTest::newRow("256") << qint64(256) << 3;
    QTest::newRow("4194175 fits") << qint64(4194175) << 32767;
    QTest::newRow("4194176 overflows") << qint64(4194176) << -1;
}

void TstXmodem::blockCount() {
    QFETCH(qint64, length);
    QFETCH(int, blocks);
    const auto count = xmodem::blockCount(length);
    QCOMPARE(count.has_value(), blocks >= 0);
    if (count)
        QCOMPARE(int(*count), blocks);
}

void TstXmodem::blockLayout() {
    const QByteArray one = xmodem::buildBlock(1, "\x42");
    QCOMPARE(one.size(), 133);
    QCOMPARE(one.at(0), '\x01');
    QCOMPARE(one.at(3), '\x42');
    QCOMPARE(one.mid(4, 127), QByteArray(127, 0x1A));
    const auto [high, low] = xmodem::calcularCrcXmodem(one.mid(3, 128));
    QCOMPARE(static_cast<quint8>(one.at(131)), high);
    QCOMPARE(static_cast<quint8>(one.at(132)), low);
    // A block with no file data left is all padding with the known CRC.
    const QByteArray empty = xmodem::buildBlock(2, QByteArray());
    QCOMPARE(static_cast<quint8>(empty.at(131)), quint8(0xF8));
    QCOMPARE(static_cast<quint8>(empty.at(132)), quint8(0xB0));
    // More than 128 bytes never leak into the block.
    QCOMPARE(xmodem::buildBlock(3, QByteArray(300, 'z')).size(), 133);
}

void TstXmodem::replies_data() {
    QTest::addColumn<QByteArrayList>("chunks");
    QTest::addColumn<QByteArray>("kept"); // the reply bytes, 0 where noise parts two CANs
    QTest::addColumn<bool>("givenUp");
    QTest::newRow("ACK") << QByteArrayList{"\x06"} << QByteArray("\x06") << false;
    QTest::newRow("ACK and NAK in one chunk, in order")
        << QByteArrayList{"\x06\x15"} << QByteArray("\x06\x15") << false;
    QTest::newRow("C before ACK") << QByteArrayList{"C\x06"} << QByteArray("\x06") << false;
    QTest::newRow("ACK behind noise") << QByteArrayList{"x\x06"} << QByteArray("\x06") << false;
    QTest::newRow("zero byte first")
        << QByteArrayList{QByteArray("\0\x06", 2)} << QByteArray("\x06") << false;
    QTest::newRow("modem text") << QByteArrayList{"OK\r\n"} << QByteArray() << false;
    QTest::newRow("one CAN is noise") << QByteArrayList{"\x18"} << QByteArray("\x18") << false;
    QTest::newRow("CAN CAN") << QByteArrayList{"\x18\x18"} << QByteArray("\x18\x18") << true;
    QTest::newRow("CAN CAN split over chunks")
        << QByteArrayList{"\x18", "\x18"} << QByteArray("\x18\x18") << true;
    QTest::newRow("CANs parted by noise")
        << QByteArrayList{"\x18x\x18"} << QByteArray("\x18\0\x18", 3) << false;
    QTest::newRow("CANs parted by an ACK")
        << QByteArrayList{"\x18\x06\x18"} << QByteArray("\x18\x06\x18") << false;
}

void TstXmodem::replies() {
    QFETCH(QByteArrayList, chunks);
    QFETCH(QByteArray, kept);
    QFETCH(bool, givenUp);
    XmodemReplies replies;
    const auto start = XmodemReplies::Clock::now();
    for (qsizetype i = 0; i < chunks.size(); ++i)
        replies.take(chunks.at(i), start + std::chrono::milliseconds(i));
    QCOMPARE(replies.bytes(), kept);
    QCOMPARE(replies.holdsCancelPair(), givenUp);
    if (!kept.isEmpty()) {
        // Each reply keeps when its chunk came.
        QVERIFY(replies.takeFirst().at == start);
    }
    replies.clear();
    QVERIFY(replies.isEmpty());
}

QTEST_GUILESS_MAIN(TstXmodem)
#include "tst_xmodem.moc"
