#include "core/serial_link.h"
#include "tests/app/window_fixture.h"
#include "tests/support/fake_dialogs.h"
#include "tests/support/fake_port.h"
#include "tests/support/pty_peer.h"
#include "tests/support/upload_fakes.h"
#include "transfer/frm_wait.h"
#include "transfer/modem_link.h"

#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLabel>
#include <QTest>
#include <QTimer>
#include <QToolBar>

using namespace quillon;
using namespace quillon::test;

namespace {

// The modem exchange on a fake port at a fast pace: one step is 20 ms, so a
// pass of the reply table takes 200 ms.
struct ModemFixture {
    FakeDialogs dialogs;
    FakePort port;
    Session session{fullEdition(), QStringLiteral("/tmp"), dialogs,
                    [] { return std::make_unique<FakePort>(); }};
    SerialLink link{session, port};
    ModemLink modem{session, port};
    static constexpr int kStep = 20;

    ModemFixture() {
        port.setReceiveThreshold(1);
        port.open();
        modem.stepMs = kStep;
        modem.escapeGapMs = 30;
        modem.escapeGuardMs = 100;
    }
};

} // namespace

class TstModem : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void replyTable_data();
    void replyTable();
    void replyDependsOnTheStep_data();
    void replyDependsOnTheStep();
    void echoMatchesNothing();
    void limitRoundsToWholePasses_data();
    void limitRoundsToWholePasses();
    void abortSendsAth();
    void writeErrorIsReportedAndWaitGoesOn();
    void hangUpTimingOnRealLine();
    void hangUpStaleOk();
    void hangUpWithoutAnswer();
    void waitDialogConnects();
    void waitDialogRetries_data();
    void waitDialogRetries();
    void waitDialogEscape();
    void terminalThroughModem_data();
    void terminalThroughModem();
};

void TstModem::replyTable_data() {
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("result");
    QTest::newRow("OK") << QByteArray("\r\nOK\r\n") << QStringLiteral("OK\r\n");
    QTest::newRow("OK without CR LF is not yet OK") << QByteArray("OK") << QString();
    QTest::newRow("RING") << QByteArray("\r\nRING\r\n") << QStringLiteral("RING");
    QTest::newRow("NO CARRIER") << QByteArray("\r\nNO CARRIER\r\n") << QStringLiteral("NO CARRIER");
    QTest::newRow("ERROR") << QByteArray("\r\nERROR\r\n") << QStringLiteral("ERROR");
    QTest::newRow("NO DIALTONE") << QByteArray("\r\nNO DIALTONE\r\n")
                                 << QStringLiteral("NO DIALTONE");
    QTest::newRow("BUSY") << QByteArray("\r\nBUSY\r\n") << QStringLiteral("BUSY");
    QTest::newRow("CONNECT 1200") << QByteArray("\r\nCONNECT 1200\r\n")
                                  << QStringLiteral("CONNECT 1200");
    QTest::newRow("CONNECT 9600") << QByteArray("\r\nCONNECT 9600\r\n")
                                  << QStringLiteral("CONNECT 9600");
    QTest::newRow("CONNECT 14400")
        << QByteArray("\r\nCONNECT 14400\r\n") << QStringLiteral("CONNECT");
    QTest::newRow("lower case is no reply") << QByteArray("\r\nbusy\r\n") << QString();
}

void TstModem::replyTable() {
    QFETCH(QByteArray, reply);
    QFETCH(QString, result);
    ModemFixture f;
    f.port.onWrite = [reply](FakePort& self, const QByteArray&) { self.injectAfter(1, reply); };
    QCOMPARE(f.modem.modemCommand(QStringLiteral("ATDP123"), 0.1), result);
    QCOMPARE(f.port.writes().first().bytes, QByteArray("ATDP123\r"));
}

void TstModem::replyDependsOnTheStep_data() {
    QTest::addColumn<int>("arrivesInStep"); // the step of the pass during whose wait it lands
    QTest::addColumn<QString>("result");
    QTest::newRow("early: CONNECT 2400") << 1 << QStringLiteral("CONNECT 2400");
    QTest::newRow("during the last step: CONNECT") << 10 << QStringLiteral("CONNECT");
}

void TstModem::replyDependsOnTheStep() {
    QFETCH(int, arrivesInStep);
    QFETCH(QString, result);
    ModemFixture f;
    f.modem.stepMs = 60;
    const int at = (arrivesInStep - 1) * 60 + 30;
    f.port.onWrite = [at](FakePort& self, const QByteArray&) {
        self.injectAfter(at, "\r\nCONNECT 2400\r\n");
    };
    QCOMPARE(f.modem.modemCommand(QStringLiteral("ATDP1"), 5), result);
}

void TstModem::echoMatchesNothing() {
    ModemFixture f;
    f.port.onWrite = [](FakePort& self, const QByteArray& bytes) { self.injectAfter(1, bytes); };
    QCOMPARE(f.modem.modemCommand(QStringLiteral("ATX3DP5551234"), 0.1), QString());
    QCOMPARE(f.session.link.rxBuffer, QByteArray("ATX3DP5551234\r"));
}

void TstModem::limitRoundsToWholePasses_data() {
    QTest::addColumn<double>("limitSeconds");
    QTest::addColumn<int>("passes");
    QTest::newRow("below one pass") << 0.05 << 1;
    QTest::newRow("exactly one pass") << 0.2 << 1;
    QTest::newRow("just over one pass") << 0.25 << 2;
    QTest::newRow("zero") << 0.0 << 1;
}

void TstModem::limitRoundsToWholePasses() {
    QFETCH(double, limitSeconds);
    QFETCH(int, passes);
    ModemFixture f;
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(f.modem.modemCommand(QStringLiteral("AT"), limitSeconds), QString());
    const qint64 pass = 10 * ModemFixture::kStep;
    // Never early; and short of the pass after, which a busy machine cannot fake,
    // unlike a margin of a fraction of a pass.
    QVERIFY2(clock.elapsed() >= passes * pass && clock.elapsed() < (passes + 1) * pass,
             qPrintable(QString::number(clock.elapsed())));
}

void TstModem::abortSendsAth() {
    ModemFixture f;
    QTimer::singleShot(50, [&] {
        f.session.modem.modemAbort = true;
        f.session.waiter.cancel();
    });
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(f.modem.modemCommand(QStringLiteral("ATDP1"), 40), QString());
    QVERIFY(clock.elapsed() < 300);
    QCOMPARE(f.port.writes().last().bytes, QByteArray("ath"));
}

void TstModem::writeErrorIsReportedAndWaitGoesOn() {
    ModemFixture f;
    f.port.close();
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(f.modem.modemCommand(QStringLiteral("AT"), 0.1), QString());
    QCOMPARE(f.dialogs.messages.size(), 1);
    QCOMPARE(f.dialogs.messages[0].text, QStringLiteral("O dispositivo não esta aberto"));
    QVERIFY(clock.elapsed() >= 10 * ModemFixture::kStep);
}

void TstModem::hangUpTimingOnRealLine() {
    QTemporaryDir ports;
    PtyPeer peer(ports.path(), 1);
    FakeDialogs dialogs;
    Session session(fullEdition(), QStringLiteral("/tmp"), dialogs,
                    qtPortFactory(PortMap(ports.path())));
    auto port = session.portFactory();
    SerialLink link(session, *port);
    ModemLink modem(session, *port);
    modem.stepMs = 50;
    port->setPortNumber(1);
    port->setReceiveThreshold(1);
    QCOMPARE(port->open(), 0);
    peer.onReceive = [](PtyPeer& self, const QByteArray& bytes) {
        if (bytes.contains("+") && self.received().count('+') == 3)
            self.write("\r\nOK\r\n");
        if (bytes.contains("ath\r"))
            self.write("\r\nOK\r\n");
    };
    QCOMPARE(modem.hangUpModem(), QStringLiteral("OK\r\n"));
    QCOMPARE(peer.received(), QByteArray("+++ath\r"));
    QVector<qint64> plusAt;
    for (const auto& chunk : peer.chunks())
        for (int i = 0; i < chunk.bytes.count('+'); ++i)
            plusAt << chunk.atMs;
    QCOMPARE(plusAt.size(), 3);
    for (int i = 1; i < 3; ++i) {
        const qint64 gap = plusAt[i] - plusAt[i - 1];
        QVERIFY2(gap >= 280 && gap < 400, qPrintable(QString::number(gap)));
    }
    const qint64 athAt = peer.chunks().last().atMs;
    QVERIFY2(athAt - plusAt[2] >= 980, qPrintable(QString::number(athAt - plusAt[2])));
}

void TstModem::hangUpStaleOk() {
    ModemFixture f;
    f.port.inject("\r\nOK\r\n"); // left from earlier traffic
    f.modem.hangUpModem();
    QCOMPARE(f.port.written(), QByteArray("+++ath\r")); // one attempt only
}

void TstModem::hangUpWithoutAnswer() {
    ModemFixture f;
    f.modem.hangUpModem();
    QCOMPARE(f.port.written(), QByteArray("+++++++++ath\r")); // three attempts, then ath anyway
}

void TstModem::waitDialogConnects() {
    ModemFixture f;
    f.session.settings.extraAtCommands = QStringLiteral("X3");
    f.session.settings.phoneNumber = QStringLiteral("5551234");
    f.port.onWrite = [](FakePort& self, const QByteArray&) {
        self.injectAfter(5, "\r\nCONNECT 9600\r\n");
    };
    FrmWait wait(f.session, f.modem);
    QCOMPARE(wait.windowTitle(), QStringLiteral("Conectando ao Modem"));
    QCOMPARE(wait.findChild<QLabel*>(QStringLiteral("Label1"))->text(),
             QStringLiteral("Conectando ao Modem. Aguarde..."));
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(wait.dial(), QString());
    QVERIFY(clock.elapsed() >= 500); // the dial starts half a second after the dialog shows
    QCOMPARE(f.port.written(), QByteArray("ATX3DP5551234\r"));
    QVERIFY(f.dialogs.messages.isEmpty());
}

void TstModem::waitDialogRetries_data() {
    QTest::addColumn<QList<MessageAnswer>>("answers");
    QTest::addColumn<int>("dials");
    QTest::addColumn<QString>("result");
    QTest::newRow("fail, Yes, connect")
        << QList<MessageAnswer>{MessageAnswer::Yes} << 2 << QString();
    QTest::newRow("fail, No") << QList<MessageAnswer>{MessageAnswer::No} << 1
                              << QStringLiteral("NAO DEU");
}

void TstModem::waitDialogRetries() {
    QFETCH(QList<MessageAnswer>, answers);
    QFETCH(int, dials);
    QFETCH(QString, result);
    ModemFixture f;
    f.session.settings.phoneNumber = QStringLiteral("5551234");
    for (const MessageAnswer a : answers)
        f.dialogs.answers.enqueue(a);
    int dialled = 0;
    f.port.onWrite = [&dialled](FakePort& self, const QByteArray& bytes) {
        if (bytes.startsWith("ATDP"))
            self.injectAfter(5, ++dialled == 1 ? "\r\nBUSY\r\n" : "\r\nCONNECT 2400\r\n");
    };
    FrmWait wait(f.session, f.modem);
    QCOMPARE(wait.dial(), result);
    QCOMPARE(dialled, dials);
    QCOMPARE(f.dialogs.messages.size(), 1);
    QCOMPARE(f.dialogs.messages[0].title, QStringLiteral("Conexão com o Modem"));
    QCOMPARE(f.dialogs.messages[0].text,
             QStringLiteral(
                 "Não foi possível conectar ao telefone 5551234!\r\nDeseja tentar novamente?"));
    QCOMPARE(f.dialogs.messages[0].buttons, MessageButtons::YesNo);
}

void TstModem::waitDialogEscape() {
    ModemFixture f;
    f.modem.stepMs = 500; // the real pace: Esc must not wait for a step to end
    FrmWait wait(f.session, f.modem);
    QElapsedTimer clock;
    qint64 pressedAt = -1;
    QTimer::singleShot(1200, [&] {
        pressedAt = clock.elapsed();
        QTest::keyClick(&wait, Qt::Key_Escape);
    });
    clock.start();
    QCOMPARE(wait.dial(), QStringLiteral("NAO DEU"));
    const qint64 closedAfter = clock.elapsed() - pressedAt;
    QVERIFY2(closedAfter < 700, qPrintable(QString::number(closedAfter)));
    QVERIFY(wait.isHidden());
    QCOMPARE(f.port.writes().last().bytes, QByteArray("ath"));
    QVERIFY(f.session.modem.modemAbort);
}

void TstModem::terminalThroughModem_data() {
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<bool>("terminal");
    QTest::newRow("connected") << QByteArray("\r\nCONNECT 9600\r\n") << true;
    QTest::newRow("no carrier, No") << QByteArray("\r\nNO CARRIER\r\n") << false;
}

void TstModem::terminalThroughModem() {
    QFETCH(QByteArray, reply);
    QFETCH(bool, terminal);
    WindowFixture w;
    FrmXmodem& window = w.window();
    window.formLoad();
    window.show();
    window.modemLink().stepMs = 20;
    w.session.settings.useModem = 1;
    w.dialogs.answers.enqueue(MessageAnswer::No);
    w.fakePort().onWrite = [reply](FakePort& self, const QByteArray& bytes) {
        if (bytes.startsWith("ATDP"))
            self.injectAfter(5, reply);
    };
    window.execute(Command::Terminal);
    QCOMPARE(w.session.link.terminalMode, terminal);
    QVERIFY(w.fakePort().isOpen()); // open either way: a failed dial may be tried again
    QCOMPARE(window.toolbarXmodem()->isVisible(), !terminal);
}

QTEST_MAIN(TstModem)
#include "tst_modem.moc"
