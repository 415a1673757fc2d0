// The main window on real COM ports, with peers on their far ends that
// scripts/test-windows-serial.sh starts before it runs this program under Wine:
//   QUILLON_COM_MODEM       a simulator with a modem in front (AT answered OK)
//   QUILLON_COM_CONTROLLER  a simulated controller answering typed lines, console
//                           commands and MODBUS
//   QUILLON_COM_GATE        the gate and `rx -c`, waiting for one upload
//   QUILLON_UPLOAD_FILE     the program the upload sends
// A test whose port is not given skips.
#include "app/terminal_box.h"
#include "tests/app/window_fixture.h"
#include "tests/modbus/modbus_on_port.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QSerialPort>
#include <QTest>

using namespace quillon;
using namespace quillon::test;

namespace {

QString comName(int number) {
    return QStringLiteral("COM%1").arg(number);
}

QByteArray iniWithPort(int port) {
    return QByteArray::number(port) + "\r\n9600,n,8,1\r\n1200,n,8,1\r\n/\r\n/\r\n0\r\n\r\n\r\n\r\n";
}

// A line typed into the terminal and ended with Enter, key by key.
void typeLine(FrmXmodem& w, const QString& text) {
    QTest::keyClicks(&w.terminal(), text);
    QTest::keyClick(&w.terminal(), Qt::Key_Return);
}

FrmXmodem& startOn(WindowFixture& f, int com) {
    FrmXmodem& w = f.window();
    w.formLoad();
    w.findChild<QLineEdit*>(QStringLiteral("Text4"))->setText(QString::number(com));
    w.show();
    return w;
}

} // namespace

class TstComPorts : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void startUpProbe();
    void terminalBothWays();
    void terminalThroughTheModem();
    void modbusPollsTheController();
    void uploadReachesRx();
};

// The probe at start-up writes "ATV1" to every port it can open; the modem
// answers OK and the controller does not.
void TstComPorts::startUpProbe() {
    const int modem = qEnvironmentVariableIntValue("QUILLON_COM_MODEM");
    const int controller = qEnvironmentVariableIntValue("QUILLON_COM_CONTROLLER");
    if (modem == 0 || controller == 0)
        QSKIP("no peers on COM ports (scripts/test-windows-serial.sh starts them)");
    WindowFixture f(true);
    f.folder.writeIni(iniWithPort(modem));
    f.window().formLoad();
    auto* combo = f.window().findChild<QComboBox*>(QStringLiteral("Combo1"));
    QStringList entries;
    for (int i = 0; i < combo->count(); ++i)
        entries << combo->itemText(i);
    QVERIFY2(entries.contains(comName(modem) + QStringLiteral(" (MODEM)")),
             qPrintable(entries.join(QLatin1Char('|'))));
    QVERIFY2(entries.contains(comName(controller)), qPrintable(entries.join(QLatin1Char('|'))));
    QCOMPARE(combo->currentText(), comName(modem) + QStringLiteral(" (MODEM)"));
    QCOMPARE(f.window().findChild<QLineEdit*>(QStringLiteral("Text4"))->text(),
             QString::number(modem));
    // Every probed port is closed again: the terminal can take it.
    QVERIFY(!f.window().mainPort().isOpen());
    QSerialPort again(QStringLiteral("\\\\.\\") + comName(modem));
    QVERIFY2(again.open(QIODevice::ReadWrite), qPrintable(again.errorString()));
}

// A console command goes out and the controller's answer comes back into the terminal.
void TstComPorts::terminalBothWays() {
    const int controller = qEnvironmentVariableIntValue("QUILLON_COM_CONTROLLER");
    if (controller == 0)
        QSKIP("no controller on a COM port (scripts/test-windows-serial.sh starts one)");
    WindowFixture f(true);
    FrmXmodem& w = startOn(f, controller);
    w.execute(Command::Terminal);
    QVERIFY(f.session.link.terminalMode);
    const auto shows = [&](const QString& text) {
        return w.terminal().toPlainText().contains(text);
    };
    typeLine(w, QStringLiteral("hello"));
    QTRY_VERIFY_WITH_TIMEOUT(shows(QStringLiteral("PXC: hello")), 5000);
    w.toolbarButton(QStringLiteral("VARIAVEIS"))->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(shows(QStringLiteral("Entradas analógicas: 21.5")), 5000);
    w.findChild<QLineEdit*>(QStringLiteral("TxtYZTW"))->setText(QStringLiteral("0,2,1,0"));
    w.txtYztwEnter();
    QTRY_VERIFY_WITH_TIMEOUT(shows(QStringLiteral("2,1 = ")), 5000);
    w.execute(Command::Terminal);
    QVERIFY(!w.mainPort().isOpen());
    QVERIFY2(f.dialogs.messages.isEmpty(), qPrintable(f.dialogs.messages.value(0).text));
}

// The terminal dials the controller behind the modem, talks to it, and hangs up.
void TstComPorts::terminalThroughTheModem() {
    const int modem = qEnvironmentVariableIntValue("QUILLON_COM_MODEM");
    if (modem == 0)
        QSKIP("no modem on a COM port (scripts/test-windows-serial.sh starts one)");
    WindowFixture f(true);
    FrmXmodem& w = startOn(f, modem);
    f.session.settings.useModem = 1;
    f.session.settings.phoneNumber = QStringLiteral("5551234");
    w.execute(Command::Terminal);
    QVERIFY(f.session.link.terminalMode);
    QVERIFY2(f.dialogs.messages.isEmpty(), qPrintable(f.dialogs.messages.value(0).text));
    typeLine(w, QStringLiteral("hello"));
    QTRY_VERIFY_WITH_TIMEOUT(w.terminal().toPlainText().contains(QStringLiteral("PXC: hello")),
                             5000);
    // Closing the port keeps the call up, so the technician hangs up by hand:
    // "+++" between quiet guard times, then ATH.
    const auto okCount = [&] { return w.terminal().toPlainText().count(QStringLiteral("OK")); };
    QTest::qWait(1300);
    QTest::keyClicks(&w.terminal(), QStringLiteral("+++"));
    QTRY_COMPARE_WITH_TIMEOUT(okCount(), 1, 5000);
    typeLine(w, QStringLiteral("ATH"));
    QTRY_COMPARE_WITH_TIMEOUT(okCount(), 2, 5000);
    w.execute(Command::Terminal);
    QVERIFY(!w.mainPort().isOpen());
    QVERIFY2(f.dialogs.messages.isEmpty(), qPrintable(f.dialogs.messages.value(0).text));
}

// Two holding registers read from the controller, framed by the line's silences.
void TstComPorts::modbusPollsTheController() {
    const int controller = qEnvironmentVariableIntValue("QUILLON_COM_CONTROLLER");
    if (controller == 0)
        QSKIP("no controller on a COM port (scripts/test-windows-serial.sh starts one)");
    ProgramFolder folder;
    ModbusOnPort modbus(folder.appDir, PortMap());
    const QString notOpen = modbus.open(controller, QStringLiteral("9600,n,8,1"));
    QVERIFY2(notOpen.isEmpty(), qPrintable(notOpen));
    modbus.ui->showValues();
    modbus.ui->field("TxtNumero")->setText(QStringLiteral("2"));
    modbus.ui->field("TxtEndereco")->setText(QStringLiteral("1"));
    modbus.ui->runFor(1500);
    QCOMPARE(modbus.ui->log(), QStringLiteral("0000:    220\n0001:    15\n"));
    QVERIFY(modbus.dialogs.messages.isEmpty());
}

// The start sequence, then XMODEM-CRC to rx; the script compares what rx wrote.
void TstComPorts::uploadReachesRx() {
    const int gate = qEnvironmentVariableIntValue("QUILLON_COM_GATE");
    const QString file = qEnvironmentVariable("QUILLON_UPLOAD_FILE");
    if (gate == 0 || file.isEmpty())
        QSKIP("no gate on a COM port (scripts/test-windows-serial.sh starts one)");
    WindowFixture f(true);
    FrmXmodem& w = startOn(f, gate);
    w.findChild<QLineEdit*>(QStringLiteral("Text6"))->setText(file);
    w.execute(Command::SendProgram);
    QCOMPARE(w.findChild<QLabel*>(QStringLiteral("Label4"))->text(),
             QStringLiteral("PROGRAMA ENVIADO COM SUCESSO"));
    QVERIFY2(f.dialogs.messages.isEmpty(), qPrintable(f.dialogs.messages.value(0).text));
    QVERIFY(!f.session.transfer.transferBusy);
}

QTEST_MAIN(TstComPorts)
#include "tst_com_ports.moc"
