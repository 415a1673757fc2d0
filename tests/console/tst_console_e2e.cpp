#include "app/terminal_box.h"
#include "tests/app/window_fixture.h"
#include "tests/modbus/modbus_window_driver.h"
#include "tests/support/pty_peer.h"
#include "tests/support/sim_process.h"

#include <QApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTest>
#include <QTimer>

using namespace quillon;
using namespace quillon::test;

namespace {

constexpr int Com = 2;
// Arrival times on the peer's side may differ by a little scheduling from the program's
// own clock; the pauses under test are hundreds of milliseconds.
constexpr qint64 Jitter = 15;

// The main window in terminal mode on a real pty, COM2.
struct TerminalOnPty {
    WindowFixture f{true};

    FrmXmodem& start() {
        FrmXmodem& w = f.window();
        w.formLoad();
        w.findChild<QLineEdit*>(QStringLiteral("Text4"))->setText(QString::number(Com));
        w.show();
        w.execute(Command::Terminal);
        return w;
    }
    QLineEdit* box(const char* name) { return f.window().findChild<QLineEdit*>(name); }
};

// When each step of the framing reached the peer, by its clock.
struct Arrivals {
    qint64 lead = -1, station = -1, identifier = -1, command = -1;
};

Arrivals arrivalsOf(const PtyPeer& peer) {
    Arrivals a;
    QByteArray seen;
    for (const PtyPeer::Chunk& chunk : peer.chunks()) {
        for (const char c : chunk.bytes) {
            seen += c;
            if (seen == "\x05")
                a.lead = chunk.atMs;
            else if (seen == "\x05"
                             "B")
                a.station = chunk.atMs;
            else if (seen.endsWith("5839\r") && a.identifier < 0)
                a.identifier = chunk.atMs;
            else if (seen.endsWith("0,2,5,0\r") && a.command < 0)
                a.command = chunk.atMs;
        }
    }
    return a;
}

} // namespace

class TstConsoleEndToEnd : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void framingOnPty_data();
    void framingOnPty();
    void interruptedExchangeEnds_data();
    void interruptedExchangeEnds();
    void readingsAgainstSimulator();
    void sessionRecordAgainstSimulator();
};

void TstConsoleEndToEnd::framingOnPty_data() {
    QTest::addColumn<int>("chatterMs");
    QTest::newRow("quiet controller") << 0;
    QTest::newRow("controller talks 1.2 s after the station") << 1200;
}

void TstConsoleEndToEnd::framingOnPty() {
    QFETCH(int, chatterMs);
    TerminalOnPty t;
    PtyPeer peer(t.f.folder.portsDir, Com);
    QVERIFY(peer.ok());
    FrmXmodem& w = t.start();
    QVERIFY(t.f.session.link.terminalMode);
    // Once the station has come, the controller talks every 200 ms for a while.
    QTimer chatter;
    qint64 chatterStart = -1;
    qint64 lastChatter = -1;
    QObject::connect(&chatter, &QTimer::timeout, &peer, [&] {
        if (peer.elapsedMs() - chatterStart >= chatterMs) {
            chatter.stop();
            return;
        }
        peer.write(".");
        lastChatter = peer.elapsedMs();
    });
    peer.onReceive = [&](PtyPeer& p, const QByteArray& bytes) {
        if (chatterMs > 0 && bytes.contains('B') && chatterStart < 0) {
            chatterStart = p.elapsedMs();
            chatter.start(200);
        }
    };
    t.box("TxtYZTW")->setText(QStringLiteral("0,2,5,0"));
    const qint64 clicked = peer.elapsedMs();
    w.execute(Command::SendYztw);
    QCOMPARE(peer.received(), QByteArray("\x05"
                                         "B5839\r0,2,5,0\r"));
    const Arrivals a = arrivalsOf(peer);
    QVERIFY(a.lead - clicked >= 500 - Jitter);
    QVERIFY2(a.station - a.lead >= 500 - Jitter, qPrintable(QString::number(a.station - a.lead)));
    if (chatterMs == 0) {
        QVERIFY(a.identifier - a.station >= 500 - Jitter);
        QVERIFY2(a.identifier - a.station < 1000,
                 qPrintable(QString::number(a.identifier - a.station)));
    } else {
        // Every byte of the chatter restarted the wait for a quiet line.
        QVERIFY2(a.identifier - chatterStart >= chatterMs,
                 qPrintable(QString::number(a.identifier - chatterStart)));
        QVERIFY2(a.identifier - lastChatter >= 500 - Jitter,
                 qPrintable(QString::number(a.identifier - lastChatter)));
    }
    QVERIFY2(a.command - a.identifier >= 700 - Jitter,
             qPrintable(QString::number(a.command - a.identifier)));
    QVERIFY(t.f.dialogs.messages.isEmpty());
}

void TstConsoleEndToEnd::interruptedExchangeEnds_data() {
    QTest::addColumn<QString>("how");
    QTest::newRow("terminal switched off") << QStringLiteral("off");
    QTest::newRow("device vanishes") << QStringLiteral("vanish");
    QTest::newRow("window closed") << QStringLiteral("close");
}

void TstConsoleEndToEnd::interruptedExchangeEnds() {
    QFETCH(QString, how);
    TerminalOnPty t;
    PtyPeer peer(t.f.folder.portsDir, Com);
    QVERIFY(peer.ok());
    FrmXmodem& w = t.start();
    bool ended = false;
    QObject::connect(&w, &FrmXmodem::ended, &w, [&] { ended = true; });
    // Strikes while the exchange waits after the station.
    peer.onReceive = [&](PtyPeer& p, const QByteArray& bytes) {
        if (!bytes.contains('B'))
            return;
        QTimer::singleShot(100, &w, [&] {
            if (how == QLatin1String("off"))
                w.execute(Command::Terminal);
            else if (how == QLatin1String("vanish"))
                p.vanish();
            else
                w.close();
        });
    };
    QElapsedTimer clock;
    clock.start();
    w.execute(Command::ReadVariables);
    QVERIFY2(clock.elapsed() < 4000, qPrintable(QString::number(clock.elapsed())));
    QVERIFY(!w.mainPort().isOpen());
    QVERIFY(!peer.received().contains("3,3,3,3"));
    // Nothing more is tried on a port that went: the user's own switching off or closing
    // says nothing, a pulled adapter is reported once.
    QStringList shown;
    for (const FakeDialogs::Shown& message : t.f.dialogs.messages)
        shown << message.text;
    const QStringList expected =
        how == QLatin1String("vanish")
            ? QStringList{QStringLiteral("Erro de leitura no dispositivo da COM")}
            : QStringList();
    QCOMPARE(shown, expected);
    if (how == QLatin1String("close")) {
        QVERIFY(ended);
        QVERIFY(t.f.folder.readIni().startsWith("2\r\n"));
    }
}

void TstConsoleEndToEnd::readingsAgainstSimulator() {
    if (qEnvironmentVariableIsEmpty("QUILLON_SIM"))
        QSKIP("QUILLON_SIM does not name the simulator (run through ctest)");
    TerminalOnPty t;
    simtest::SimProcess sim;
    const QString why = sim.startOnPort(t.f.folder.portsDir, Com, {});
    QVERIFY2(why.isEmpty(), qPrintable(why));
    FrmXmodem& w = t.start();
    QVERIFY(t.f.session.link.terminalMode);
    const auto shows = [&](const QString& text) {
        return w.terminal().toPlainText().contains(text);
    };
    w.toolbarButton(QStringLiteral("VARIAVEIS"))->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(shows(QStringLiteral("Entradas analógicas: 21.5")), 2000);
    w.toolbarButton(QStringLiteral("PARAMETROS"))->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(shows(QStringLiteral("Temperatura desejada")), 2000);
    w.toolbarButton(QStringLiteral("RELATORIO"))->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(shows(QStringLiteral("Relatório da estação B")), 2000);
    // Guided entry: write parameter 1, then read it back with Enter in the command box.
    t.f.dialogs.inputs << QStringLiteral("1") << QStringLiteral("2") << QStringLiteral("1")
                       << QStringLiteral("24.5");
    w.toolbarButton(QStringLiteral("ENTRAR_YZTW"))->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(shows(QStringLiteral("2,1 = 24.5 (gravado)")), 2000);
    t.box("TxtYZTW")->setText(QStringLiteral("0,2,1,0"));
    w.txtYztwEnter();
    QTRY_VERIFY_WITH_TIMEOUT(shows(QStringLiteral("\n2,1 = 24.5\n")), 2000);
    // Another station on the same line keeps quiet.
    const qsizetype before = w.terminal().toPlainText().size();
    t.box("TxtEstacao")->setText(QStringLiteral("C"));
    w.execute(Command::SendYztw);
    QCOMPARE(w.terminal().toPlainText().size(), before);
    QVERIFY(t.f.dialogs.messages.isEmpty());
}

void TstConsoleEndToEnd::sessionRecordAgainstSimulator() {
    if (qEnvironmentVariableIsEmpty("QUILLON_SIM"))
        QSKIP("QUILLON_SIM does not name the simulator (run through ctest)");
    TerminalOnPty t;
    simtest::SimProcess sim;
    const QString why = sim.startOnPort(t.f.folder.portsDir, Com, {});
    QVERIFY2(why.isEmpty(), qPrintable(why));
    FrmXmodem& w = t.start();
    const QString path = t.f.folder.dir.filePath(QStringLiteral("sessao.txt"));
    t.f.dialogs.files.enqueue({false, path});
    w.menuItem(QStringLiteral("mnuGravar"))->trigger();
    for (const QChar typed : QStringLiteral("ação\r")) {
        QKeyEvent key(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(typed));
        QApplication::sendEvent(&w.terminal(), &key);
    }
    QTRY_VERIFY_WITH_TIMEOUT(w.terminal().toPlainText().contains(QStringLiteral("PXC: ação")),
                             2000);
    w.toolbarButton(QStringLiteral("VARIAVEIS"))->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(
        w.terminal().toPlainText().contains(QStringLiteral("Entradas analógicas: 21.5")), 2000);
    // A poll of holding register 0 of slave 1, from the MODBUS window on the same line.
    QTimer::singleShot(200, &w, [] {
        if (auto* modbus = qobject_cast<FrmModBus*>(QApplication::activeModalWidget()))
            ModbusWindowDriver(*modbus).runFor(1200, true);
    });
    w.toolbarButton(QStringLiteral("MODBUS"))->trigger();
    w.menuItem(QStringLiteral("mnuGravar"))->trigger();

    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(file.readAll()).split(QStringLiteral("\r\n"));
    const auto has = [&lines](const QString& text) {
        return std::any_of(lines.cbegin(), lines.cend(),
                           [&text](const QString& line) { return line.contains(text); });
    };
    for (const QString& text :
         {QStringLiteral(" -- COM2 em 1200,n,8,1"), QStringLiteral(" TX: ação[CR]"),
          QStringLiteral(" RX: PXC: ação[CR][LF]"), QStringLiteral(" TX: [ENQ]"),
          QStringLiteral("Entradas analógicas: 21.5"),
          QStringLiteral(" TX: [SOH][ETX][NUL][NUL][NUL][SOH]"), QStringLiteral(" RX: [SOH][ETX]"),
          QStringLiteral(" -- Gravação encerrada")})
        QVERIFY2(has(text), qPrintable(text + QStringLiteral(" missing from:\n") +
                                       lines.join(QLatin1Char('\n'))));
    QDateTime previous;
    for (const QString& line : lines) {
        if (line.isEmpty())
            continue;
        const QDateTime at =
            QDateTime::fromString(line.left(23), QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
        QVERIFY2(at.isValid() && at >= previous, qPrintable(line));
        previous = at;
    }
}

QTEST_MAIN(TstConsoleEndToEnd)
#include "tst_console_e2e.moc"
