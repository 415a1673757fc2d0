#include "app/terminal_box.h"
#include "tests/app/window_fixture.h"
#include "tests/modbus/modbus_on_port.h"
#include "tests/support/child_process.h"
#include "tests/support/sim_process.h"
#include "tests/tools/cli_run.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <QTimer>

using namespace quillon;
using namespace quillon::test;
using quillon::test::cli::fileBytes;
using quillon::test::cli::padded;

namespace {

constexpr int Com = 3;

// The main window on a simulated controller whose line runs at its speed and which
// hears only its own settings: the console at 1200,n,8,1, the loader's start command
// there too, then the transfer at its own setting.
struct PacedController {
    // Ends after the window, so that the window's last bytes still find the line.
    simtest::SimProcess sim;
    WindowFixture f{true};
    QString saved = f.folder.dir.filePath(QStringLiteral("recebido.Epr"));

    QString start(const QStringList& options) {
        if (qEnvironmentVariableIsEmpty("QUILLON_SIM"))
            return QStringLiteral("QUILLON_SIM does not name the simulator (run through ctest)");
        sim.setPaced(true);
        return sim.startOnPort(f.folder.portsDir, Com,
                               QStringList{QStringLiteral("--save"), saved} + options);
    }
    FrmXmodem& window(const QString& transferSettings = QStringLiteral("9600,n,8,1")) {
        FrmXmodem& w = f.window();
        w.formLoad();
        w.findChild<QLineEdit*>(QStringLiteral("Text4"))->setText(QString::number(Com));
        w.findChild<QLineEdit*>(QStringLiteral("Text5"))->setText(transferSettings);
        w.show();
        return w;
    }
    QString program(const QByteArray& bytes) {
        const QString path = f.folder.dir.filePath(QStringLiteral("maq1.Epr"));
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.write(bytes);
        file.close();
        f.window().findChild<QLineEdit*>(QStringLiteral("Text6"))->setText(path);
        return path;
    }
    QString status() { return f.window().findChild<QLabel*>(QStringLiteral("Label4"))->text(); }
    bool shows(const QString& text) { return f.window().terminal().toPlainText().contains(text); }
};

} // namespace

class TstPacedLine : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void uploadAtTransferSpeed_data();
    void uploadAtTransferSpeed();
    void startCommandAtAnotherSpeedIsNotHeard();
    void terminalAndConsoleAt1200();
    void modbusHundredRegistersAt1200();
};

void TstPacedLine::uploadAtTransferSpeed_data() {
    QTest::addColumn<int>("baud");
    QTest::addColumn<int>("size");
    // Short at the slow rates: a block takes 1.1 s on the wire at 1200 baud.
    QTest::newRow("1200") << 1200 << 100;
    QTest::newRow("9600") << 9600 << 2000;
    QTest::newRow("115200") << 115200 << 20000;
}

void TstPacedLine::uploadAtTransferSpeed() {
    QFETCH(int, baud);
    QFETCH(int, size);
    PacedController c;
    const QString transfer = QStringLiteral("%1,n,8,1").arg(baud);
    const QString why = c.start({QStringLiteral("--role"), QStringLiteral("loader"),
                                 QStringLiteral("--transfer-settings"), transfer});
    if (why.startsWith(QLatin1String("QUILLON_SIM")))
        QSKIP(qPrintable(why));
    QVERIFY2(why.isEmpty(), qPrintable(why));
    FrmXmodem& w = c.window(transfer);
    const QByteArray program = seededBytes(size, 1200u + static_cast<quint32>(baud));
    c.program(program);
    QElapsedTimer clock;
    clock.start();
    // A loader that never hears its start command would keep the handshake going.
    QTimer::singleShot(60000, &w, [&w] { w.execute(Command::CancelTransfer); });
    w.execute(Command::SendProgram);
    QCOMPARE(c.status(), QStringLiteral("PROGRAMA ENVIADO COM SUCESSO"));
    // No faster than the wire allows: the blocks really crossed a line with a speed.
    const qint64 wireMs = padded(program).size() / 128 * 133 * 10 * 1000 / baud;
    QVERIFY2(clock.elapsed() >= wireMs, qPrintable(QString::number(clock.elapsed())));
    QTRY_COMPARE_WITH_TIMEOUT(fileBytes(c.saved), padded(program), 5000);
    QVERIFY(c.f.dialogs.messages.isEmpty());
}

void TstPacedLine::startCommandAtAnotherSpeedIsNotHeard() {
    PacedController c;
    // This controller's console listens at 2400: the program's "4" at 1200 is noise to it.
    const QString why =
        c.start({QStringLiteral("--role"), QStringLiteral("loader"),
                 QStringLiteral("--console-settings"), QStringLiteral("2400,n,8,1")});
    if (why.startsWith(QLatin1String("QUILLON_SIM")))
        QSKIP(qPrintable(why));
    QVERIFY2(why.isEmpty(), qPrintable(why));
    FrmXmodem& w = c.window();
    c.program(seededBytes(300, 5u));
    QTimer::singleShot(3500, &w, [&w] { w.execute(Command::CancelTransfer); });
    w.execute(Command::SendProgram);
    QVERIFY(!c.sim.report().contains("B1 and B2 pressed"));
    QVERIFY(!QFile::exists(c.saved));
    QVERIFY(c.status().isEmpty());
}

void TstPacedLine::terminalAndConsoleAt1200() {
    PacedController c;
    const QString why = c.start({});
    if (why.startsWith(QLatin1String("QUILLON_SIM")))
        QSKIP(qPrintable(why));
    QVERIFY2(why.isEmpty(), qPrintable(why));
    FrmXmodem& w = c.window();
    w.execute(Command::Terminal);
    QVERIFY(c.f.session.link.terminalMode);
    QTest::keyClicks(&w.terminal(), QStringLiteral("ola 1200"));
    QTest::keyClick(&w.terminal(), Qt::Key_Return);
    QTRY_VERIFY_WITH_TIMEOUT(c.shows(QStringLiteral("PXC: ola 1200")), 5000);
    w.execute(Command::ReadReport);
    // The exchange has ended with the line quiet: the whole report is there.
    const QString shown = w.terminal().toPlainText();
    const qsizetype title = shown.indexOf(QStringLiteral("Relatório da estação B"));
    const qsizetype writes = shown.indexOf(QStringLiteral("Gravações desde a partida: 0"));
    const qsizetype alarms = shown.indexOf(QStringLiteral("Alarmes: nenhum"));
    QVERIFY2(title >= 0 && writes > title && alarms > writes, qPrintable(shown));
    // Switched off right after the report's last "atq1": the port closes once it is out.
    w.execute(Command::Terminal);
    QVERIFY(!c.f.session.link.terminalMode);
    QVERIFY(c.f.dialogs.messages.isEmpty());
}

void TstPacedLine::modbusHundredRegistersAt1200() {
    if (qEnvironmentVariableIsEmpty("QUILLON_SIM"))
        QSKIP("QUILLON_SIM does not name the simulator (run through ctest)");
    ProgramFolder folder;
    simtest::SimProcess sim;
    sim.setPaced(true);
    const QString why = sim.startOnPort(folder.portsDir, Com, {});
    QVERIFY2(why.isEmpty(), qPrintable(why));
    ModbusOnPort modbus(folder.appDir, PortMap(folder.portsDir));
    const QString notOpen = modbus.open(Com, QStringLiteral("1200,n,8,1"));
    QVERIFY2(notOpen.isEmpty(), qPrintable(notOpen));
    modbus.ui->showValues();
    modbus.ui->field("TxtNumero")->setText(QStringLiteral("100"));
    // The reply is 205 bytes, 1.7 s at 1200 baud: one poll takes about four seconds.
    modbus.ui->runFor(4500);
    QStringList expected;
    for (int i = 0; i < 100; ++i) {
        const int value = i == 0 ? 220 : i == 1 ? 15 : 100 * (i + 1);
        expected << QStringLiteral("%1:    %2").arg(i, 4, 10, QLatin1Char('0')).arg(value);
    }
    QCOMPARE(modbus.ui->log().trimmed(), expected.join(QLatin1Char('\n')));
}

QTEST_MAIN(TstPacedLine)
#include "tst_paced_line.moc"
