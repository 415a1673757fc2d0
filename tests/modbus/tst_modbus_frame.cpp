#include "modbus/modbus_display.h"
#include "modbus/modbus_frame.h"

#include <QRandomGenerator>
#include <QTest>

#include <limits>

using namespace quillon::modbus;

namespace {

QByteArray hex(const char* text) {
    return QByteArray::fromHex(text);
}

} // namespace

class TstModbusFrame : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void crcVectors_data();
    void crcVectors();
    void requests_data();
    void requests();
    void function04DiffersOnlyInCodeAndCrc();
    void writeValueOutOfRangeBuildsNothing_data();
    void writeValueOutOfRangeBuildsNothing();
    void hexLine_data();
    void hexLine();
    void values_data();
    void values();
    void valuesNeverReadPastTheReply();
};

void TstModbusFrame::crcVectors_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QByteArray>("crc");
    // Well-known request frames from MODBUS over serial line documentation and tools.
    QTest::newRow("01 03 00 00 00 0A") << hex("01030000000A") << hex("C5CD");
    QTest::newRow("01 06 00 01 00 03") << hex("010600010003") << hex("980B");
    QTest::newRow("01 03 00 00 00 01") << hex("010300000001") << hex("840A");
    QTest::newRow("11 03 00 6B 00 03") << hex("1103006B0003") << hex("7687");
    QTest::newRow("empty") << QByteArray() << hex("FFFF");
}

void TstModbusFrame::crcVectors() {
    QFETCH(QByteArray, bytes);
    QFETCH(QByteArray, crc);
    QCOMPARE(calcularCrc(bytes), crc);
    // A frame followed by its own CRC checks to zero, as a receiver tests it.
    QCOMPARE(crc16(bytes + crc), quint16(0));
}

void TstModbusFrame::requests_data() {
    QTest::addColumn<int>("function");
    QTest::addColumn<int>("address");
    QTest::addColumn<int>("reg");
    QTest::addColumn<int>("count");
    QTest::addColumn<QByteArray>("head"); // the six bytes before the CRC

    QTest::newRow("defaults") << 3 << 1 << 0 << 1 << hex("010300000001");
    QTest::newRow("ten registers") << 3 << 1 << 0 << 10 << hex("01030000000A");
    QTest::newRow("address 0 is broadcast") << 3 << 0 << 0 << 1 << hex("000300000001");
    QTest::newRow("address 255") << 3 << 255 << 0 << 1 << hex("FF0300000001");
    QTest::newRow("address 256") << 3 << 256 << 0 << 1 << hex("000300000001");
    QTest::newRow("address 300") << 3 << 300 << 0 << 1 << hex("2C0300000001");
    QTest::newRow("address 511") << 3 << 511 << 0 << 1 << hex("FF0300000001");
    QTest::newRow("address -1") << 3 << -1 << 0 << 1 << hex("010300000001");
    QTest::newRow("address -300") << 3 << -300 << 0 << 1 << hex("2C0300000001");
    QTest::newRow("address -32768") << 3 << -32768 << 0 << 1 << hex("000300000001");
    QTest::newRow("register -1") << 3 << 1 << -1 << 1 << hex("010300000001");
    QTest::newRow("register 70000") << 3 << 1 << 70000 << 1 << hex("0103FFFF0001");
    QTest::newRow("register 40001 is not offset") << 3 << 1 << 40001 << 1 << hex("01039C410001");
    QTest::newRow("quantity 0") << 3 << 1 << 0 << 0 << hex("010300000001");
    QTest::newRow("quantity 125") << 3 << 1 << 0 << 125 << hex("01030000007D");
    QTest::newRow("quantity 200") << 3 << 1 << 0 << 200 << hex("01030000007D");
    QTest::newRow("quantity -5") << 4 << 1 << 0 << -5 << hex("010400000001");
    QTest::newRow("06 value 0") << 6 << 1 << 1 << 0 << hex("010600010000");
    QTest::newRow("06 value 3") << 6 << 1 << 1 << 3 << hex("010600010003");
    QTest::newRow("06 value 1000") << 6 << 1 << 1 << 1000 << hex("0106000103E8");
    QTest::newRow("06 value 65535") << 6 << 1 << 1 << 65535 << hex("01060001FFFF");
    QTest::newRow("06 value -1") << 6 << 1 << 1 << -1 << hex("01060001FFFF");
    QTest::newRow("06 value -32768") << 6 << 1 << 1 << -32768 << hex("010600018000");
    QTest::newRow("06 value -65536") << 6 << 1 << 1 << -65536 << hex("010600010000");
    QTest::newRow("06 register limits too") << 6 << 300 << 70000 << 7 << hex("2C06FFFF0007");
}

void TstModbusFrame::requests() {
    QFETCH(int, function);
    QFETCH(int, address);
    QFETCH(int, reg);
    QFETCH(int, count);
    QFETCH(QByteArray, head);
    QByteArray frame;
    if (function == 3)
        frame = montarFrame03(address, reg, count);
    else if (function == 4)
        frame = montarFrame04(address, reg, count);
    else
        frame = montarFrame06(address, reg, count).value_or(QByteArray());
    QCOMPARE(frame.toHex(' ').toUpper(), (head + calcularCrc(head)).toHex(' ').toUpper());
}

void TstModbusFrame::function04DiffersOnlyInCodeAndCrc() {
    const QByteArray f3 = montarFrame03(17, 107, 3);
    const QByteArray f4 = montarFrame04(17, 107, 3);
    QCOMPARE(f3, hex("1103006B00037687"));
    QCOMPARE(f4.size(), 8);
    QCOMPARE(f4[1], char(4));
    QCOMPARE(f4.left(1) + f4.mid(2, 4), f3.left(1) + f3.mid(2, 4));
    QVERIFY(f4.right(2) != f3.right(2));
}

void TstModbusFrame::writeValueOutOfRangeBuildsNothing_data() {
    QTest::addColumn<int>("value");
    QTest::newRow("65536") << 65536;
    QTest::newRow("-65537") << -65537;
    QTest::newRow("most positive") << std::numeric_limits<int>::max();
    QTest::newRow("most negative") << std::numeric_limits<int>::min();
}

void TstModbusFrame::writeValueOutOfRangeBuildsNothing() {
    QFETCH(int, value);
    QVERIFY(!montarFrame06(1, 1, value));
}

void TstModbusFrame::hexLine_data() {
    QTest::addColumn<QString>("prefix");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("line");
    QTest::newRow("0 15 16 255") << QStringLiteral("TX:   ") << hex("000F10FF")
                                 << QStringLiteral("TX:   [00][0F][10][FF]\r\n");
    QTest::newRow("request") << QStringLiteral("TX:   ") << hex("01030000000AC5CD")
                             << QStringLiteral("TX:   [01][03][00][00][00][0A][C5][CD]\r\n");
    QTest::newRow("empty") << QStringLiteral("RX:   ") << QByteArray()
                           << QStringLiteral("RX:   \r\n");
}

void TstModbusFrame::hexLine() {
    QFETCH(QString, prefix);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, line);
    QCOMPARE(mostrarMensagem(prefix, bytes), line);
}

void TstModbusFrame::values_data() {
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<int>("first");
    QTest::addColumn<QString>("text");
    QTest::newRow("count 4") << hex("010304000AFFFF0000") << 100
                             << QStringLiteral("0100:    10\r\n0101:    65535\r\n");
    QTest::newRow("count 5") << hex("010305000A0001FF0000") << 5
                             << QStringLiteral("0005:    10\r\n0006:    1\r\n");
    QTest::newRow("count 0") << hex("0103000000") << 0 << QString();
    QTest::newRow("count 1") << hex("01030107") << 0 << QString();
    QTest::newRow("under three bytes") << hex("0103") << 0 << QString();
    QTest::newRow("five-digit labels")
        << hex("01040200017ABC") << 20000 << QStringLiteral("20000:    1\r\n");
    QTest::newRow("label 9999 then 10000")
        << hex("010304000100020000") << 9999 << QStringLiteral("9999:    1\r\n10000:    2\r\n");
    QTest::newRow("labels past the top of int")
        << hex("010304000100020000") << std::numeric_limits<int>::max()
        << QStringLiteral("2147483647:    1\r\n2147483648:    2\r\n");
    QTest::newRow("negative first register")
        << hex("01030200010000") << -5 << QStringLiteral("-0005:    1\r\n");
    QTest::newRow("short reply marks what is missing")
        << hex("010306000A00D842") << 0
        << QStringLiteral("0000:    10\r\n0001:    (faltando)\r\n0002:    (faltando)\r\n");
    // The last two bytes are the CRC, never a register.
    QTest::newRow("count larger than the data")
        << hex("010304000AD842") << 100 << QStringLiteral("0100:    10\r\n0101:    (faltando)\r\n");
    QTest::newRow("no CRC at all")
        << hex("010302000A") << 0 << QStringLiteral("0000:    (faltando)\r\n");
    QTest::newRow("exception reply")
        << hex("018302C0F1") << 0 << QStringLiteral("Exceção 02 na função 03\r\n");
}

void TstModbusFrame::values() {
    QFETCH(QByteArray, reply);
    QFETCH(int, first);
    QFETCH(QString, text);
    QCOMPARE(mostrarValores(reply, first), text);
}

void TstModbusFrame::valuesNeverReadPastTheReply() {
    // Every length up to a full message, random contents, and each of them cut short:
    // the sanitizers of the checked build catch any read past the bytes given.
    QRandomGenerator random(20261208);
    qsizetype lines = 0;
    for (int run = 0; run < 4000; ++run) {
        QByteArray reply(random.bounded(0, 260), Qt::Uninitialized);
        for (char& byte : reply)
            byte = static_cast<char>(random.bounded(256));
        if (run % 2 == 0 && reply.size() > 2)
            reply[1] = 3; // a normal reply, so the count is used
        const QByteArray heap(reply.constData(), reply.size()); // exact-size buffer
        const QString text = mostrarValores(QByteArrayView(heap.constData(), heap.size()),
                                            random.bounded(-40000, 70000));
        lines += text.count(QStringLiteral("\r\n"));
        QVERIFY(text.count(QStringLiteral("\r\n")) <= 127);
        QVERIFY(!mostrarMensagem(QStringLiteral("RX:   "), heap).isEmpty());
    }
    QVERIFY(lines > 0);
}

QTEST_GUILESS_MAIN(TstModbusFrame)
#include "tst_modbus_frame.moc"
