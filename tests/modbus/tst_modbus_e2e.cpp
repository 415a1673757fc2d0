#include "app/main_window.h"
#include "modbus/frm_modbus.h"
#include "tests/app/window_fixture.h"
#include "tests/modbus/modbus_on_port.h"
#include "tests/support/process_stats.h"
#include "tests/support/pty_bridge.h"
#include "tests/support/sim_process.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include <optional>

using namespace quillon;
using namespace quillon::test;

namespace {

constexpr int Com = 2;

// A libmodbus slave on one end of a pty pair; the program's port is the other end, COM2.
struct RealSlave {
    ProgramFolder folder;
    PtyBridge bridge{folder.portsDir, Com};
    QProcess slave;
    ModbusOnPort modbus{folder.appDir, PortMap(folder.portsDir)};

    ~RealSlave() {
        modbus.window.reset();
        slave.kill();
        slave.waitForFinished(3000);
    }
    // Empty when the slave runs and the window is up; otherwise why not.
    QString start(const QString& mode) {
        const QString program = QStringLiteral(QUILLON_MODBUS_SLAVE);
        if (program.isEmpty())
            return QStringLiteral("built without libmodbus (install libmodbus-dev)");
        if (!bridge.ok())
            return QStringLiteral("no pty pair");
        slave.setProgram(program);
        slave.setArguments({bridge.peerDevice(), mode});
        slave.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        slave.start();
        if (!slave.waitForReadyRead(5000) || !slave.readAll().contains("ready"))
            return QStringLiteral("the slave did not start");
        return modbus.open(Com, QStringLiteral("9600,n,8,1"));
    }
};

#define START_SLAVE(s, mode)                                                                       \
    do {                                                                                           \
        const QString why = (s).start(QStringLiteral(mode));                                       \
        if (why.startsWith(QLatin1String("built without")))                                        \
            QSKIP(qPrintable(why));                                                                \
        QVERIFY2(why.isEmpty(), qPrintable(why));                                                  \
    } while (false)

const QString RequestLine = QStringLiteral("TX:   [01][03][00][00][00][01][84][0A]");

} // namespace

class TstModbusEndToEnd : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void defaultsPollLogsFrames();
    void valuesShowTheSlaveRegisters();
    void writeIsHeldBySlave();
    void exceptionReplyIsNamed();
    void silentSlaveLogsRequestsOnly();
    void closingDuringRunStopsTheLine();
    void modbusKeyOpensTheWindowModally();
    void pollsTheSimulator_data();
    void pollsTheSimulator();
};

void TstModbusEndToEnd::defaultsPollLogsFrames() {
    RealSlave s;
    START_SLAVE(s, "answer");
    s.modbus.ui->runFor(5500); // Stop after the third reply was read: it is still shown
    // Register 0 holds 1000 (03 E8); the reply CRC comes from libmodbus.
    const QString exchange = RequestLine + QStringLiteral("\nRX:   [01][03][02][03][E8][B8][FA]\n");
    QCOMPARE(s.modbus.ui->log(), exchange + exchange + exchange);
}

void TstModbusEndToEnd::valuesShowTheSlaveRegisters() {
    RealSlave s;
    START_SLAVE(s, "answer");
    s.modbus.ui->showValues();
    s.modbus.ui->field("TxtRegIni")->setText(QStringLiteral("10"));
    s.modbus.ui->field("TxtNumero")->setText(QStringLiteral("3"));
    s.modbus.ui->runFor(2500);
    QCOMPARE(s.modbus.ui->log(), QStringLiteral("0010:    1010\n0011:    1011\n0012:    1012\n"));
    // Input registers, function 04.
    s.modbus.window->findChild<QComboBox*>(QStringLiteral("CbFuncao"))->setCurrentIndex(1);
    s.modbus.ui->runFor(2500);
    QCOMPARE(s.modbus.ui->log(), QStringLiteral("0010:    2010\n0011:    2011\n0012:    2012\n"));
}

void TstModbusEndToEnd::writeIsHeldBySlave() {
    RealSlave s;
    START_SLAVE(s, "answer");
    s.modbus.ui->pick(2);
    s.modbus.ui->field("TxtRegIni")->setText(QStringLiteral("5"));
    s.modbus.ui->field("TxtValor")->setText(QStringLiteral("4321"));
    s.modbus.window->cmdIniciarClick();
    // The slave echoes a write request.
    QCOMPARE(s.modbus.ui->log(), QStringLiteral("TX:   [01][06][00][05][10][E1][54][43]\n"
                                                "RX:   [01][06][00][05][10][E1][54][43]\n"));
    s.modbus.ui->pick(0);
    s.modbus.ui->showValues();
    s.modbus.ui->runFor(2500);
    QCOMPARE(s.modbus.ui->log(), QStringLiteral("0005:    4321\n"));
}

void TstModbusEndToEnd::exceptionReplyIsNamed() {
    RealSlave s;
    START_SLAVE(s, "exception");
    s.modbus.ui->runFor(1500);
    QCOMPARE(s.modbus.ui->log(), RequestLine + QStringLiteral("\nRX:   [01][83][02][C0][F1]\n"));
    s.modbus.ui->showValues();
    s.modbus.ui->runFor(1500);
    QCOMPARE(s.modbus.ui->log(), QStringLiteral("Exceção 02 na função 03\n"));
}

void TstModbusEndToEnd::silentSlaveLogsRequestsOnly() {
    RealSlave s;
    START_SLAVE(s, "silent");
    s.modbus.ui->field("TxtTimeout")->setText(QStringLiteral("2"));
    const double cpuBefore = cpuSeconds();
    QElapsedTimer clock;
    clock.start();
    s.modbus.ui->runFor(5000);
    const double cpuShare =
        (cpuSeconds() - cpuBefore) / (static_cast<double>(clock.elapsed()) / 1000.0);
    QCOMPARE(s.modbus.ui->log(), RequestLine + QLatin1Char('\n') + RequestLine + QLatin1Char('\n') +
                                     RequestLine + QLatin1Char('\n'));
    // Waiting sleeps: a loose bound here, the figure itself comes from the bench.
    QVERIFY2(cpuShare < 0.10, qPrintable(QString::number(cpuShare)));
}

void TstModbusEndToEnd::closingDuringRunStopsTheLine() {
    RealSlave s;
    START_SLAVE(s, "answer");
    s.modbus.ui->runFor(3000, true);
    const qint64 sent = s.bridge.bytesToPeer();
    QTest::qWait(2500);
    QCOMPARE(s.bridge.bytesToPeer(), sent);
    QCOMPARE(s.modbus.port->receiveThreshold(), 1);
}

void TstModbusEndToEnd::modbusKeyOpensTheWindowModally() {
    WindowFixture f(true);
    PtyBridge bridge(f.folder.portsDir, Com);
    QVERIFY(bridge.ok());
    FrmXmodem& w = f.window();
    w.formLoad();
    w.findChild<QLineEdit*>(QStringLiteral("Text4"))->setText(QString::number(Com));
    w.show();
    w.execute(Command::Terminal);
    QVERIFY(w.mainPort().isOpen());
    QString seen;
    int thresholdWhileShown = -1;
    QTimer::singleShot(300, &w, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal) {
            seen = modal->windowTitle();
            thresholdWhileShown = w.mainPort().receiveThreshold();
            modal->close();
        }
    });
    w.toolbarButton(QStringLiteral("MODBUS"))->trigger();
    QCOMPARE(seen, QStringLiteral("Terminal ModBus"));
    QCOMPARE(thresholdWhileShown, 0);
    QVERIFY(w.mainPort().isOpen());
    QCOMPARE(w.mainPort().receiveThreshold(), 1);
}

void TstModbusEndToEnd::pollsTheSimulator_data() {
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("log");
    const QString values = QStringLiteral("0000:    220\n0001:    15\n");
    QTest::newRow("slave 1 by default") << QStringList() << QStringLiteral("1") << values;
    QTest::newRow("--slave 7 answers 7")
        << QStringList{QStringLiteral("--slave"), QStringLiteral("7")} << QStringLiteral("7")
        << values;
    QTest::newRow("--slave 7 ignores 1")
        << QStringList{QStringLiteral("--slave"), QStringLiteral("7")} << QStringLiteral("1")
        << QString();
}

void TstModbusEndToEnd::pollsTheSimulator() {
    QFETCH(QStringList, options);
    QFETCH(QString, address);
    QFETCH(QString, log);
    if (qEnvironmentVariableIsEmpty("QUILLON_SIM"))
        QSKIP("QUILLON_SIM does not name the simulator (run through ctest)");
    ProgramFolder folder;
    simtest::SimProcess sim;
    const QString why = sim.startOnPort(folder.portsDir, Com, options);
    QVERIFY2(why.isEmpty(), qPrintable(why));
    ModbusOnPort modbus(folder.appDir, PortMap(folder.portsDir));
    const QString notOpen = modbus.open(Com, QStringLiteral("1200,n,8,1"));
    QVERIFY2(notOpen.isEmpty(), qPrintable(notOpen));
    modbus.ui->showValues();
    modbus.ui->field("TxtNumero")->setText(QStringLiteral("2"));
    modbus.ui->field("TxtEndereco")->setText(address);
    modbus.ui->runFor(1500);
    QCOMPARE(modbus.ui->log(), log);
}

QTEST_MAIN(TstModbusEndToEnd)
#include "tst_modbus_e2e.moc"
