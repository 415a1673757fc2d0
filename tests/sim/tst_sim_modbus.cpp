#include "controller_answers.h"
#include "modbus/modbus_frame.h"
#include "sim/controller_role.h"

#include <QTest>

using namespace quillon::sim;
using quillon::modbus::calcularCrc;
using quillon::simtest::controllerAnswers;

namespace {

QByteArray framed(const char* hex) {
    const QByteArray bytes = QByteArray::fromHex(hex);
    return bytes + calcularCrc(bytes);
}

} // namespace

class SimModbusTest : public QObject {
    Q_OBJECT

private slots:
    void answersRequests_data();
    void answersRequests();
    void writeIsReadBack();
    void inputRegistersMove();
};

void SimModbusTest::answersRequests_data() {
    QTest::addColumn<QList<QByteArray>>("chunks");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("read two holding registers")
        << QList<QByteArray>{framed("010300000002")} << framed("010304 00DC 000F");
    QTest::newRow("request in pieces")
        << QList<QByteArray>{framed("010300000001").left(3), framed("010300000001").mid(3)}
        << framed("010302 00DC");
    QTest::newRow("write echoes") << QList<QByteArray>{framed("0106000503E8")}
                                  << framed("0106000503E8");
    QTest::newRow("register past the table")
        << QList<QByteArray>{framed("010300630002")} << framed("018302");
    QTest::newRow("quantity 0") << QList<QByteArray>{framed("010400000000")} << framed("018403");
    QTest::newRow("write past the table")
        << QList<QByteArray>{framed("010600640001")} << framed("018602");
    QTest::newRow("other slave stays silent")
        << QList<QByteArray>{framed("020300000001")} << QByteArray();
    QTest::newRow("broadcast write is not answered")
        << QList<QByteArray>{framed("000600000001")} << QByteArray();
    QTest::newRow("bad CRC is not answered, nor typed")
        << QList<QByteArray>{QByteArray::fromHex("0103000000010000")} << QByteArray();
    QTest::newRow("typed line still answered")
        << QList<QByteArray>{"ver\r"} << QByteArray("\r\nPXC: ver\r\n");
    QTest::newRow("request bytes inside a typed line are text")
        << QList<QByteArray>{"a" + framed("010300000001") + "\r"} << QByteArray("\r\nPXC: a");
}

void SimModbusTest::answersRequests() {
    QFETCH(QList<QByteArray>, chunks);
    QFETCH(QByteArray, expected);
    const QByteArray sent = controllerAnswers(chunks);
    if (expected.startsWith("\r\n"))
        QVERIFY2(sent.startsWith(expected), sent.toHex(' ').constData());
    else
        QCOMPARE(sent.toHex(' '), expected.toHex(' '));
}

void SimModbusTest::writeIsReadBack() {
    const QByteArray sent = controllerAnswers({framed("01060001FFFF"), framed("010300010001")});
    QVERIFY(sent.endsWith(framed("010302FFFF")));
}

void SimModbusTest::inputRegistersMove() {
    ModbusSlave slave;
    const quint16 first = slave.inputRegister(0);
    QVERIFY(first >= 185 && first <= 215);
    QTRY_VERIFY_WITH_TIMEOUT(slave.inputRegister(0) != first, 3000);
}

QTEST_GUILESS_MAIN(SimModbusTest)
#include "tst_sim_modbus.moc"
