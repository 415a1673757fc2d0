#include "controller_answers.h"
#include "sim/console_role.h"
#include "sim/controller_role.h"

#include <QTest>

using namespace quillon::sim;
using quillon::simtest::controllerAnswers;

namespace {

QByteArray latin1(const char* utf8) {
    return QString::fromUtf8(utf8).toLatin1();
}

// The framing the main program sends, as one run of bytes.
QByteArray frame(const QByteArray& command, char lead = ConsoleRole::Enquiry,
                 const QByteArray& station = "B", const QByteArray& identifier = "5839") {
    return lead + station + identifier + '\r' + command + '\r';
}

} // namespace

class SimConsoleTest : public QObject {
    Q_OBJECT

private slots:
    void answersFrames_data();
    void answersFrames();
    void writesAreReadBack();
    void interleavedFramesAnswerBoth();
    void neverSaysOk();
};

void SimConsoleTest::answersFrames_data() {
    QTest::addColumn<QList<QByteArray>>("chunks");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("help screen") << QList<QByteArray>{frame("2,2,2,2")}
                                 << latin1("Ajuda do console");
    QTest::newRow("variables table")
        << QList<QByteArray>{frame("3,3,3,3")} << latin1("Entradas analógicas: 21.5 22.1");
    QTest::newRow("parameter list")
        << QList<QByteArray>{frame("7,7,7,7") + "0\r"} << latin1("1  Temperatura desejada");
    QTest::newRow("parameter list from the fifth")
        << QList<QByteArray>{frame("7,7,7,7") + "5\r"} << latin1("Parâmetros\r\n5  Retardo");
    QTest::newRow("report, modem switches around it")
        << QList<QByteArray>{"atq0", frame("3,3,3,3", '&'), "atq1"}
        << latin1("Relatório da estação B");
    QTest::newRow("read a parameter")
        << QList<QByteArray>{frame("0,2,2,0")} << QByteArray("2,2 = 1.5");
    QTest::newRow("read with blanks")
        << QList<QByteArray>{frame("0, 2 ,1,0")} << QByteArray("2,1 = 22");
    QTest::newRow("write a relay")
        << QList<QByteArray>{frame("1,3,2,1")} << latin1("3,2 = 1 (gravado)");
    QTest::newRow("write an input is refused")
        << QList<QByteArray>{frame("1,0,1,5")} << latin1("0,1: entrada não pode ser gravada");
    QTest::newRow("relay state out of range")
        << QList<QByteArray>{frame("1,3,1,2")} << latin1("3,1: valor fora da faixa: 2");
    QTest::newRow("analog output over 100 %")
        << QList<QByteArray>{frame("1,4,1,101")} << latin1("4,1: valor fora da faixa: 101");
    QTest::newRow("no such relay")
        << QList<QByteArray>{frame("0,3,99,0")} << latin1("3,99: variável inexistente");
    QTest::newRow("unknown kind") << QList<QByteArray>{frame("0,9,1,0")}
                                  << latin1("9,1: variável inexistente");
    QTest::newRow("not a command")
        << QList<QByteArray>{frame("abc")} << latin1("Comando inválido: abc");
    QTest::newRow("empty command") << QList<QByteArray>{frame("")} << latin1("Comando inválido: ");
    QTest::newRow("identifier -1 asks who is there")
        << QList<QByteArray>{frame("0,2,5,0", ConsoleRole::Enquiry, "B", "-1")}
        << latin1("PXC estação B, identificador 5839");
    QTest::newRow("station and identifier in pieces")
        << QList<QByteArray>{"\x05", "B", "58", "39\r", "0,2,1,0", "\r"} << QByteArray("2,1 = 22");
    QTest::newRow("other station stays silent")
        << QList<QByteArray>{frame("2,2,2,2", ConsoleRole::Enquiry, "C")} << QByteArray();
    QTest::newRow("other identifier stays silent")
        << QList<QByteArray>{frame("3,3,3,3", ConsoleRole::Enquiry, "B", "1234")} << QByteArray();
    QTest::newRow("other station's parameter line is swallowed")
        << QList<QByteArray>{frame("7,7,7,7", ConsoleRole::Enquiry, "C") + "0\r"} << QByteArray();
    QTest::newRow("typed line after a frame goes to the terminal")
        << QList<QByteArray>{frame("2,2,2,2", ConsoleRole::Enquiry, "C"), "ver\r"}
        << QByteArray("\r\nPXC: ver\r\n");
    QTest::newRow("ampersand inside a typed line is text")
        << QList<QByteArray>{"a&b\r"} << QByteArray("\r\nPXC: a&b\r\n");
    QTest::newRow("half typed line is dropped by a frame")
        << QList<QByteArray>{"xyz", frame("0,2,1,0")} << QByteArray("\r\n2,1 = 22\r\n");
}

void SimConsoleTest::answersFrames() {
    QFETCH(QList<QByteArray>, chunks);
    QFETCH(QByteArray, expected);
    const QByteArray sent = controllerAnswers(chunks);
    if (expected.isEmpty())
        QCOMPARE(sent, QByteArray());
    else
        QVERIFY2(sent.contains(expected), sent.constData());
}

void SimConsoleTest::writesAreReadBack() {
    const QByteArray sent = controllerAnswers(
        {frame("1,2,1,24.5"), frame("0,2,1,0"), frame("1,4,2,55"), frame("3,3,3,3")});
    QVERIFY2(sent.contains("2,1 = 24.5\r\n"), sent.constData());
    QVERIFY2(sent.contains(latin1("Saídas analógicas (%): 40 55 75")), sent.constData());
}

void SimConsoleTest::interleavedFramesAnswerBoth() {
    // A second command started while the first waits for a quiet line: ENQ opens afresh.
    const QByteArray sent =
        controllerAnswers({"\x05", "B", "\x05", "B", "5839\r", "0,2,1,0\r", "5839\r", "0,2,2,0\r"});
    QVERIFY2(sent.contains("2,1 = 22"), sent.constData());
    QVERIFY(!sent.contains("2,2 = 1.5")); // the first frame's rest is only typing now
}

void SimConsoleTest::neverSaysOk() {
    // The main program takes an "OK" from any port for a modem.
    const QByteArray sent =
        controllerAnswers({frame("2,2,2,2"), frame("3,3,3,3"), frame("7,7,7,7") + "0\r",
                           frame("3,3,3,3", '&'), frame("x")});
    QVERIFY(sent.size() > 500);
    QVERIFY(!sent.toUpper().contains("OK"));
}

QTEST_GUILESS_MAIN(SimConsoleTest)
#include "tst_sim_console.moc"
