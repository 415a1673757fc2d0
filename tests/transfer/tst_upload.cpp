#include "core/serial_link.h"
#include "core/text_file.h"
#include "tests/support/fake_dialogs.h"
#include "tests/support/fake_port.h"
#include "tests/support/upload_fakes.h"
#include "transfer/modem_link.h"
#include "transfer/sounds.h"
#include "transfer/start_controller.h"
#include "transfer/upload.h"
#include "transfer/xmodem.h"

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace quillon;
using namespace quillon::test;

namespace {

bool isBlock(const QByteArray& bytes) {
    return bytes.size() == xmodem::kBlockSize && bytes.at(0) == xmodem::kSoh;
}

// A session on a fake port with the window's indicators and a program file.
struct UploadFixture {
    QTemporaryDir dir;
    FakeDialogs dialogs;
    FakeSounds sounds;
    FakeModem modem;
    FakeUploadView view;
    FakePort port;
    Session session;
    SerialLink link{session, port};
    Upload upload{session, link, view};
    QByteArray received; // the data of every acknowledged block, in order

    explicit UploadFixture(const Edition& edition = fullEdition())
        : session(edition, dir.path(), dialogs, [] { return std::make_unique<FakePort>(); }) {
        session.soundPlayer = &sounds;
        session.modemControl = &modem;
        session.settings.portNumber = QStringLiteral("2");
        port.setReceiveThreshold(1);
        upload.blockLimitMs = 400;
        upload.eotReplyMs = 100;
        upload.handshake().passMs = 50;
    }
    QString writeProgram(const QByteArray& content) {
        const QString path = dir.filePath(QStringLiteral("prog.Epr"));
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.write(content);
        file.close();
        session.settings.programFile = path;
        return path;
    }
    // A controller that asks for the first block as soon as it sees "1" and
    // then answers every block through `answer` (nothing: stays silent).
    void controller(std::function<QByteArray(int blockIndex, const QByteArray&)> answer) {
        port.onWrite = [this, answer, blocks = 0](FakePort& self, const QByteArray& bytes) mutable {
            if (bytes == "1") {
                self.inject("C"); // at once: the first pass already finds it
            } else if (isBlock(bytes)) {
                const QByteArray reply = answer(blocks++, bytes);
                if (!reply.isEmpty())
                    self.injectAfter(2, reply);
            }
        };
    }
    void ackingController() {
        controller([this](int, const QByteArray& block) {
            const quint8 number = static_cast<quint8>(block.at(1));
            const quint8 expected = static_cast<quint8>(received.size() / 128 + 1);
            if (number == expected)
                received += block.mid(3, 128);
            return QByteArray("\x06");
        });
    }
    int blockWrites() const {
        int count = 0;
        for (const auto& w : port.writes())
            count += isBlock(w.bytes) ? 1 : 0;
        return count;
    }
};

} // namespace

class TstUpload : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void sendBlockReplies_data();
    void sendBlockReplies();
    void sendBlockNakStorm();
    void sendBlockAckAndNakTogether();
    void sendBlockAnsweredBehindModalBox();
    void resentBlockSecondAnswerCreditsNothing();
    void uploadEndConfirmed_data();
    void uploadEndConfirmed();
    void uploadSendsTheFileAsChosen_data();
    void uploadSendsTheFileAsChosen();
    void uploadEveryBlockAnsweredTwice();
    void nextBlockLeavesWithTheAck();
    void uploadRestartedDuringHandshakeWait();
    void uploadQuietBeforeModemEscape();
    void uploadPulledAdapterReportedOnce();
    void sendBlockCancelledByUser();
    void sendBlockPortFails();
    void handshakeOnDirectLine();
    void handshakeStartRequest_data();
    void handshakeStartRequest();
    void handshakeThroughModem_data();
    void handshakeThroughModem();
    void handshakeDialFails();
    void handshakeCancelled();
    void handshakePortInUse();
    void uploadDelivers_data();
    void uploadDelivers();
    void uploadRefusedByReceiver_data();
    void uploadRefusedByReceiver();
    void uploadStoppedByUser();
    void uploadShowsPercentWhenMinimised();
    void uploadFileProblems_data();
    void uploadFileProblems();
    void uploadEmptyFile();
    void uploadWhileBusyIsRefused();
    void uploadHangsUpTheModem();
    void errorSoundBeepsThenPlays();
    void earlierEditionUpload();
    void uploadRecord_data();
    void uploadRecord();
};

void TstUpload::sendBlockReplies_data() {
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<int>("replyAfterMs");
    QTest::addColumn<bool>("delivered");
    QTest::addColumn<int>("maxMs"); // how long the block may take at most
    QTest::newRow("ACK") << QByteArray("\x06") << 10 << true << 200;
    QTest::newRow("ACK behind noise") << QByteArray("\xff\x00\x06", 3) << 10 << true << 200;
    QTest::newRow("C and ACK coalesced") << QByteArray("C\x06") << 10 << true << 200;
    QTest::newRow("silence") << QByteArray() << 0 << false << 700;
    QTest::newRow("ACK after the limit") << QByteArray("\x06") << 600 << false << 700;
    QTest::newRow("CAN ends at once") << QByteArray("\x18\x18\x18") << 10 << false << 200;
    // One 0x18 alone is line noise; the block still waits for its answer.
    QTest::newRow("lone CAN then ACK") << QByteArray("\x18\x00\x06", 3) << 10 << true << 200;
    QTest::newRow("CANs apart") << QByteArray("\x18\x01\x18", 3) << 10 << false << 700;
}

void TstUpload::sendBlockReplies() {
    QFETCH(QByteArray, reply);
    QFETCH(int, replyAfterMs);
    QFETCH(bool, delivered);
    QFETCH(int, maxMs);
    UploadFixture f;
    QVERIFY(f.port.open() == 0);
    if (!reply.isEmpty())
        f.port.injectAfter(replyAfterMs, reply);
    QElapsedTimer clock;
    clock.start();
    f.upload.sendBlock(xmodem::buildBlock(1, "x"));
    const qint64 elapsed = clock.elapsed();
    QCOMPARE(f.session.transfer.transferFailed, !delivered);
    QCOMPARE(f.session.transfer.transferStop, !delivered);
    QVERIFY2(elapsed < maxMs, qPrintable(QString::number(elapsed)));
    if (!delivered && replyAfterMs == 0)
        QVERIFY2(elapsed >= f.upload.blockLimitMs, qPrintable(QString::number(elapsed)));
    QCOMPARE(f.blockWrites(), 1);
}

void TstUpload::sendBlockNakStorm() {
    UploadFixture f;
    QVERIFY(f.port.open() == 0);
    f.upload.blockLimitMs = 5000;
    f.port.onWrite = [](FakePort& self, const QByteArray&) { self.injectAfter(1, "\x15"); };
    f.upload.sendBlock(xmodem::buildBlock(1, "x"));
    QCOMPARE(f.blockWrites(), 11); // the first write and ten resends
    QCOMPARE(f.view.errosHistory, (QStringList{"1", "2", "3", "4", "5", "6", "7", "8", "9", "10"}));
    QVERIFY(f.session.transfer.transferFailed);
    QVERIFY(f.session.transfer.transferStop);
}

void TstUpload::sendBlockAckAndNakTogether() {
    // The NAK behind the ACK answers nothing still in flight: the next block goes
    // out once, and a late extra reply cannot credit a block that was never answered.
    UploadFixture f;
    QVERIFY(f.port.open() == 0);
    f.port.injectAfter(5, "\x06\x15");
    f.upload.sendBlock(xmodem::buildBlock(1, "x"));
    QVERIFY(!f.session.transfer.transferFailed);
    f.port.clearWritten();
    f.port.onWrite = [](FakePort& self, const QByteArray&) { self.injectAfter(2, "\x06"); };
    f.upload.sendBlock(xmodem::buildBlock(2, "y"));
    QVERIFY(!f.session.transfer.transferFailed);
    QCOMPARE(f.blockWrites(), 1);
}

void TstUpload::resentBlockSecondAnswerCreditsNothing() {
    // A late NAK (the second half of a split "ACK NAK") makes block 2 go out twice; a
    // receiver that got both copies answers both. The second ACK must not be taken
    // for block 3, which this receiver never answers.
    UploadFixture f;
    QVERIFY(f.port.open() == 0);
    f.upload.blockLimitMs = 600;
    int copies = 0;
    f.port.onWrite = [&copies](FakePort& self, const QByteArray& bytes) {
        if (bytes.size() > 1 && bytes.at(1) == 2)
            self.injectAfter(++copies == 1 ? 15 : 40, "\x06");
    };
    f.port.injectAfter(1, "\x15");
    f.upload.sendBlock(xmodem::buildBlock(2, "y"));
    QVERIFY(!f.session.transfer.transferFailed);
    QCOMPARE(f.blockWrites(), 2);
    f.upload.sendBlock(xmodem::buildBlock(3, "z"));
    QVERIFY(f.session.transfer.transferFailed);
}

void TstUpload::sendBlockAnsweredBehindModalBox() {
    // A modal box holds the loop past the limit; the ACK came in time and counts.
    UploadFixture f;
    QVERIFY(f.port.open() == 0);
    f.port.injectAfter(20, "\x06");
    QTimer::singleShot(5, [&f] {
        QEventLoop modal;
        QTimer::singleShot(f.upload.blockLimitMs + 300, &modal, &QEventLoop::quit);
        modal.exec();
    });
    f.upload.sendBlock(xmodem::buildBlock(1, "x"));
    QVERIFY(!f.session.transfer.transferFailed);
    QVERIFY(!f.session.transfer.transferStop);
}

void TstUpload::sendBlockCancelledByUser() {
    UploadFixture f;
    QVERIFY(f.port.open() == 0);
    f.upload.blockLimitMs = 10000;
    QTimer::singleShot(50, [&] {
        f.session.transfer.transferStop = true;
        f.session.waiter.wake();
    });
    QElapsedTimer clock;
    clock.start();
    f.upload.sendBlock(xmodem::buildBlock(1, "x"));
    QVERIFY(clock.elapsed() < 300);
    QVERIFY(f.session.transfer.transferStop);
    QVERIFY(!f.session.transfer.transferFailed);
}

void TstUpload::sendBlockPortFails() {
    UploadFixture f;
    QVERIFY(f.port.open() == 0);
    f.port.failWrites(PortError::DeviceLost);
    QElapsedTimer clock;
    clock.start();
    f.upload.sendBlock(xmodem::buildBlock(1, "x"));
    QVERIFY(clock.elapsed() < 100);
    QVERIFY(f.session.transfer.transferFailed);
    QVERIFY(f.session.transfer.transferStop);
}

void TstUpload::handshakeOnDirectLine() {
    UploadFixture f;
    f.session.settings.transferSettings = QStringLiteral("19200,n,8,1");
    int ones = 0;
    f.port.onWrite = [&ones](FakePort& self, const QByteArray& bytes) {
        if (bytes == "1" && ++ones == 2)
            self.injectAfter(5, "C"); // during the first pass
    };
    StartHandshake handshake(f.session, f.link, f.view);
    QElapsedTimer clock;
    clock.start();
    QVERIFY(handshake.startController());
    QVERIFY(clock.elapsed() >= 1000 && clock.elapsed() < 1400);
    const QStringList expected = {
        "open 1200,n,8,1", "write 4", "close", "open 19200,n,8,1", "write 1", "close",
        "open 1200,n,8,1", "write 4", "close", "open 19200,n,8,1", "write 1"};
    QCOMPARE(f.port.events(), expected);
    QCOMPARE(f.port.portNumber(), 2);
    QVERIFY(f.port.isOpen());
    QCOMPARE(f.port.settings(), QStringLiteral("19200,n,8,1"));
    QCOMPARE(f.view.statusHistory.first(), QStringLiteral("AGUARDANDO COMANDO DE INICIALIZAÇÃO"));
    QCOMPARE(f.view.status(), QStringLiteral("TRANSFERINDO"));
    QVERIFY(f.view.infoHistory.contains(QStringLiteral("PRESSIONE B1 e B2")));
    QVERIFY(f.view.info.isEmpty());
    QVERIFY(!f.session.transfer.transferStop);
    QVERIFY(f.modem.calls.isEmpty());
}

void TstUpload::handshakeStartRequest_data() {
    QTest::addColumn<QByteArray>("answer"); // to the second "1"
    QTest::addColumn<bool>("starts");
    QTest::newRow("C") << QByteArray("C") << true;
    QTest::newRow("C with an ACK behind it") << QByteArray("C\x06") << true;
    QTest::newRow("C behind noise is part of something else") << QByteArray("xC") << false;
    QTest::newRow("a stray ACK") << QByteArray("\x06") << false;
}

void TstUpload::handshakeStartRequest() {
    QFETCH(QByteArray, answer);
    QFETCH(bool, starts);
    UploadFixture f;
    int ones = 0;
    f.port.onWrite = [&ones, answer](FakePort& self, const QByteArray& bytes) {
        if (bytes == "1" && ++ones == 2)
            self.injectAfter(5, answer);
    };
    StartHandshake handshake(f.session, f.link, f.view);
    handshake.passMs = 50;
    // Owned here: a row that starts at once must not leave it to fire into the next test.
    QTimer stop;
    stop.setSingleShot(true);
    connect(&stop, &QTimer::timeout, [&f] { f.session.transfer.transferStop = true; });
    stop.start(1000);
    QCOMPARE(handshake.startController(), starts);
    QCOMPARE(f.view.status(), starts ? QStringLiteral("TRANSFERINDO") : QString());
}

void TstUpload::handshakeThroughModem_data() {
    QTest::addColumn<int>("useModem");
    QTest::addColumn<bool>("dials");
    QTest::newRow("modem") << 1 << true;
    QTest::newRow("hand-edited 2") << 2 << false;
}

void TstUpload::handshakeThroughModem() {
    QFETCH(int, useModem);
    QFETCH(bool, dials);
    UploadFixture f;
    f.session.settings.useModem = useModem;
    f.session.settings.extraAtCommands = QStringLiteral("X3");
    f.session.settings.phoneNumber = QStringLiteral("33224455");
    int ones = 0;
    f.port.onWrite = [&ones](FakePort& self, const QByteArray& bytes) {
        if (bytes == "1" && ++ones == 2)
            self.injectAfter(5, "C");
    };
    StartHandshake handshake(f.session, f.link, f.view);
    QVERIFY(handshake.startController());
    // Only the start command is repeated; "4" went out once, before any dial.
    const QStringList expected = {"open 1200,n,8,1", "write 4", "close",
                                  "open 9600,n,8,1", "write 1", "write 1"};
    QCOMPARE(f.port.events(), expected);
    QCOMPARE(f.modem.calls,
             dials ? QStringList{QStringLiteral("ATX3DP33224455 /50")} : QStringList{});
}

void TstUpload::handshakeDialFails() {
    UploadFixture f;
    f.session.settings.useModem = 1;
    f.session.settings.phoneNumber = QStringLiteral("33224455");
    f.modem.reply = QStringLiteral("BUSY");
    StartHandshake handshake(f.session, f.link, f.view);
    QVERIFY(!handshake.startController());
    QVERIFY(f.session.transfer.transferStop);
    QCOMPARE(f.dialogs.messages.size(), 1);
    QCOMPARE(f.dialogs.messages[0].title, QStringLiteral("Erro de Conexão com o Modem"));
    QCOMPARE(f.dialogs.messages[0].text,
             QStringLiteral("Não foi possível conectar ao telefone 33224455!\r\nVerifique as "
                            "configurações do Modem."));
    QCOMPARE(f.dialogs.messages[0].icon, MessageIcon::None);
    QVERIFY(!f.port.written().contains('1'));
    // Stopped as any handshake is: nothing is waited for any more.
    QVERIFY(f.view.status().isEmpty());
    QVERIFY(f.view.info.isEmpty());
}

void TstUpload::handshakeCancelled() {
    UploadFixture f;
    QTimer::singleShot(300, [&] { f.session.transfer.transferStop = true; });
    QElapsedTimer clock;
    clock.start();
    StartHandshake handshake(f.session, f.link, f.view);
    QVERIFY(!handshake.startController());
    QVERIFY(clock.elapsed() >= 900 && clock.elapsed() < 1500);
    QVERIFY(f.session.transfer.transferStop);
    QVERIFY(f.view.status().isEmpty());
    QVERIFY(f.view.info.isEmpty());
    QVERIFY(f.dialogs.messages.isEmpty());
}

void TstUpload::handshakePortInUse() {
    UploadFixture f;
    f.port.openResult = [](int) { return PortError::PortInUse; };
    StartHandshake handshake(f.session, f.link, f.view);
    QVERIFY(!handshake.startController());
    QCOMPARE(f.dialogs.messages.size(), 1); // reported once, not twice
    QCOMPARE(f.dialogs.messages[0].text, QStringLiteral("Porta já esta em uso"));
    QVERIFY(f.view.status().isEmpty());
}

void TstUpload::uploadDelivers_data() {
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("blocks");
    QTest::newRow("1 byte") << 1 << 1;
    QTest::newRow("128 bytes") << 128 << 2;
    QTest::newRow("1000 bytes") << 1000 << 8;
    QTest::newRow("40000 bytes") << 40000 << 313;
}

void TstUpload::uploadDelivers() {
    QFETCH(int, size);
    QFETCH(int, blocks);
    UploadFixture f;
    QByteArray program(size, '\0');
    for (int i = 0; i < size; ++i)
        program[i] = static_cast<char>((i * 7 + 3) & 0xFF);
    f.writeProgram(program);
    f.ackingController();
    f.upload.run();
    QCOMPARE(f.received.size(), blocks * 128);
    QCOMPARE(f.received.left(size), program);
    QCOMPARE(f.received.mid(size), QByteArray(blocks * 128 - size, 0x1A));
    QCOMPARE(f.port.writes().last().bytes, QByteArray("\x04"));
    QCOMPARE(f.view.status(), QStringLiteral("PROGRAMA ENVIADO COM SUCESSO"));
    QVERIFY(f.view.infoHistory.contains(
        QStringLiteral("Tamanho do Arquivo: %1 bytes").arg(blocks * 128)));
    QVERIFY(f.view.info.isEmpty());
    QVERIFY(f.view.porcentoHistory.contains(QStringLiteral("100%")));
    QVERIFY(f.view.labOk.isEmpty() && f.view.labTotal.isEmpty() && f.view.labPorcento.isEmpty());
    QCOMPARE(f.view.progressMaximum, blocks);
    QCOMPARE(f.view.progressValue, 0);
    QCOMPARE(f.sounds.played, (QStringList{QStringLiteral("beep"), QStringLiteral("OKTrans.wav")}));
    QVERIFY(f.dialogs.messages.isEmpty());
    QVERIFY(f.session.transfer.transferStop);
    QVERIFY(!f.session.transfer.transferBusy);
    QVERIFY(!f.session.transfer.transferFailed);
}

void TstUpload::uploadRefusedByReceiver_data() {
    QTest::addColumn<QByteArray>("reply"); // to the third block
    QTest::addColumn<int>("maxMs");
    QTest::newRow("NAK storm") << QByteArray("\x15") << 2000;
    QTest::newRow("silence") << QByteArray() << 2000;
    QTest::newRow("CAN") << QByteArray("\x18\x18") << 300;
}

void TstUpload::uploadRefusedByReceiver() {
    QFETCH(QByteArray, reply);
    QFETCH(int, maxMs);
    UploadFixture f;
    f.writeProgram(QByteArray(1000, 'p'));
    f.controller(
        [reply](int index, const QByteArray&) { return index < 2 ? QByteArray("\x06") : reply; });
    QElapsedTimer clock;
    clock.start();
    f.upload.run();
    QCOMPARE(f.view.status(), QStringLiteral("CANCELADO"));
    QCOMPARE(f.port.writes().last().bytes, QByteArray("\x04"));
    QCOMPARE(f.sounds.played,
             (QStringList{QStringLiteral("beep"), QStringLiteral("ErrTrans.wav")}));
    QCOMPARE(f.dialogs.messages.size(), 1);
    QCOMPARE(f.dialogs.messages[0].title, QStringLiteral("Quillon"));
    QCOMPARE(f.dialogs.messages[0].icon, MessageIcon::Exclamation);
    QCOMPARE(
        f.dialogs.messages[0].text,
        QStringLiteral("OPERARAÇÃO CANCELADA!\r\n\r\nNão foi possível transferir o arquivo.\r\n"
                       "Tente novamente ou reinicie o controlador!"));
    QVERIFY(!f.session.transfer.transferFailed);
    QVERIFY(!f.session.transfer.transferBusy);
    QVERIFY2(clock.elapsed() < maxMs + 300, qPrintable(QString::number(clock.elapsed())));
}

void TstUpload::uploadStoppedByUser() {
    UploadFixture f;
    f.writeProgram(QByteArray(1000, 'p'));
    f.upload.blockLimitMs = 10000;
    f.controller([&f](int index, const QByteArray&) {
        if (index == 3) {
            f.session.transfer.transferStop = true; // CANCEL pressed while block 4 waits
            return QByteArray();
        }
        return QByteArray("\x06");
    });
    f.upload.run();
    QCOMPARE(f.view.status(), QStringLiteral("CANCELADO"));
    QCOMPARE(f.sounds.played, (QStringList{QStringLiteral("beep"), QStringLiteral("OKTrans.wav")}));
    QVERIFY(f.dialogs.messages.isEmpty());
    QCOMPARE(f.port.writes().last().bytes, QByteArray("\x04"));
    QCOMPARE(f.blockWrites(), 4);
}

void TstUpload::uploadShowsPercentWhenMinimised() {
    UploadFixture f;
    f.writeProgram(QByteArray(128, 'p')); // two blocks
    f.view.minimized = true;
    f.ackingController();
    f.upload.run();
    QCOMPARE(f.view.captions, (QStringList{"50% Enviado", "100% Enviado"}));
    QCOMPARE(f.view.porcentoHistory.mid(0, 2), (QStringList{"50%", "100%"}));
}

void TstUpload::uploadFileProblems_data() {
    QTest::addColumn<QString>("name"); // relative to the fixture folder
    QTest::addColumn<QString>("status");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("text");
    QTest::newRow("missing") << QStringLiteral("nada.Epr")
                             << QStringLiteral("Arquivo não encontrado")
                             << QStringLiteral("Erro de Disco")
                             << QStringLiteral("Arquivo não encontrado.");
    QTest::newRow("no folder") << QStringLiteral("sem/pasta.Epr")
                               << QStringLiteral("Caminho não encontrado")
                               << QStringLiteral("Erro de Disco")
                               << QStringLiteral("Caminho não encontrado.");
    QTest::newRow("a folder") << QString() << QStringLiteral("Acesso negado")
                              << QStringLiteral("Erro de Disco")
                              << QStringLiteral("Caminho ou arquivo especificado inválido.");
    // Nothing is sent: the status line does not say "TRANSFERINDO".
    QTest::newRow("too long") << QStringLiteral("grande.Epr") << QString()
                              << QStringLiteral(" ERRO") << QStringLiteral("Overflow");
#ifdef Q_OS_LINUX
    QTest::newRow("read error") << QStringLiteral("/proc/self/mem") << QString()
                                << QStringLiteral("Erro de Disco")
                                << QStringLiteral("Device I/O error");
#endif
}

void TstUpload::uploadFileProblems() {
    QFETCH(QString, name);
    QFETCH(QString, status);
    QFETCH(QString, title);
    QFETCH(QString, text);
    UploadFixture f;
    f.session.settings.programFile = name.isEmpty()         ? f.dir.path()
                                     : name.startsWith('/') ? name
                                                            : f.dir.filePath(name);
    if (name == QLatin1String("grande.Epr")) {
        QFile sparse(f.session.settings.programFile);
        QVERIFY(sparse.open(QIODevice::WriteOnly));
        QVERIFY(sparse.resize(4194176)); // one byte more than 32767 blocks hold
    }
    f.ackingController();
    f.upload.run();
    QCOMPARE(f.view.status(), status);
    QCOMPARE(f.dialogs.messages.size(), 1);
    QCOMPARE(f.dialogs.messages[0].title, title);
    QCOMPARE(f.dialogs.messages[0].text, text);
    QCOMPARE(f.blockWrites(), 0);
    // Nothing lingers: the next attempt and the terminal switch are free.
    QVERIFY(!f.session.transfer.transferBusy);
    QVERIFY(f.view.labTotal.isEmpty());
    QVERIFY(f.view.info.isEmpty());
    QCOMPARE(f.view.progressValue, 0);
}

void TstUpload::uploadEmptyFile() {
    UploadFixture f;
    f.writeProgram(QByteArray());
    f.ackingController();
    f.upload.run();
    QCOMPARE(f.blockWrites(), 0);
    QCOMPARE(f.dialogs.messages.size(), 1);
    QVERIFY(
        f.dialogs.messages[0].text.startsWith(QStringLiteral("O arquivo do programa está vazio")));
    QVERIFY(f.view.status() != QLatin1String("TRANSFERINDO"));
    QVERIFY(!f.session.transfer.transferBusy);
}

void TstUpload::uploadWhileBusyIsRefused() {
    UploadFixture f;
    f.writeProgram(QByteArray(10, 'p'));
    f.session.transfer.transferBusy = true;
    f.upload.run();
    QVERIFY(f.port.events().isEmpty());
    QVERIFY(f.session.transfer.transferBusy);
}

void TstUpload::uploadHangsUpTheModem() {
    UploadFixture f;
    f.session.settings.useModem = 1;
    f.writeProgram(QByteArray(10, 'p'));
    f.ackingController();
    f.upload.run();
    QCOMPARE(f.view.status(), QStringLiteral("PROGRAMA ENVIADO COM SUCESSO"));
    QCOMPARE(f.modem.calls.size(), 2);
    QCOMPARE(f.modem.calls.last(), QStringLiteral("hangup"));
    // A dial that fails still hangs up, and no file is read; while the modem is hung up
    // the status line no longer waits for a start command.
    struct StatusAtHangUp : FakeModem {
        explicit StatusAtHangUp(const UploadView& v) : view(v) {}
        QString hangUpModem() override {
            shown = view.status();
            return FakeModem::hangUpModem();
        }
        const UploadView& view;
        QString shown = QStringLiteral("not hung up");
    } modem(f.view);
    modem.reply = QStringLiteral("NO CARRIER");
    f.session.modemControl = &modem;
    f.upload.run();
    QCOMPARE(modem.calls.last(), QStringLiteral("hangup"));
    QCOMPARE(modem.shown, QString());
    QVERIFY(!f.session.transfer.transferStop);
    QVERIFY(!f.session.transfer.transferBusy);
}

void TstUpload::errorSoundBeepsThenPlays() {
    UploadFixture f;
    playErrorSound(f.session);
    QCOMPARE(f.sounds.played,
             (QStringList{QStringLiteral("beep"), QStringLiteral("ErrTrans.wav")}));
    // Outside an upload too, and where no sound can be played.
    QVERIFY(f.session.transfer.transferFailed);
    f.session.transfer.transferFailed = false;
    f.session.soundPlayer = nullptr;
    playErrorSound(f.session);
    QVERIFY(f.session.transfer.transferFailed);
}

void TstUpload::earlierEditionUpload() {
    UploadFixture f(earlierEdition());
    f.session.settings.useModem = 1; // no modem in this edition, whatever the value
    f.writeProgram(QByteArray(300, 'p'));
    int ones = 0;
    f.port.onWrite = [&ones](FakePort& self, const QByteArray& bytes) {
        if (bytes == "1" && ++ones == 3)
            self.injectAfter(5, "C");
        else if (isBlock(bytes))
            self.injectAfter(2, "\x06");
    };
    f.upload.run();
    QCOMPARE(f.view.status(), QStringLiteral("PROGRAMA ENVIADO COM SUCESSO"));
    // Every pass initialises the controller again, and no modem is asked anything.
    QCOMPARE(f.port.events().count(QStringLiteral("write 4")), 3);
    QVERIFY(f.modem.calls.isEmpty());
    for (const QString& info : f.view.infoHistory)
        QVERIFY2(!info.startsWith(QStringLiteral("Tamanho do Arquivo")), qPrintable(info));
    QVERIFY(!f.session.transfer.transferStop);
    QVERIFY(!f.session.transfer.transferBusy);
}

namespace {

enum class Ending {
    Sent,
    CancelAtBlock4,
    CanAtBlock3,
    PulledAtBlock3,
    CancelInHandshake,
    PortInUse,
    DialBusy,
    FileMissing
};

struct RecordingListener : UploadListener {
    void blocksStarted(const UploadRecord& record) override { started << record; }
    void uploadEnded(const UploadRecord& record) override { ended << record; }
    QList<UploadRecord> started;
    QList<UploadRecord> ended;
};

} // namespace

void TstUpload::uploadRecord_data() {
    QTest::addColumn<Ending>("ending");
    QTest::addColumn<UploadRecord::Outcome>("outcome");
    QTest::addColumn<int>("errorNumber");
    QTest::addColumn<int>("acknowledged");
    using O = UploadRecord::Outcome;
    QTest::newRow("sent, one resend") << Ending::Sent << O::Sent << 0 << 8;
    QTest::newRow("cancelled") << Ending::CancelAtBlock4 << O::Cancelled << 0 << 3;
    QTest::newRow("receiver gave up")
        << Ending::CanAtBlock3 << O::Failed << UploadFailure::ReceiverGaveUp << 2;
    QTest::newRow("adapter pulled")
        << Ending::PulledAtBlock3 << O::Failed << int(PortError::DeviceLost) << 2;
    QTest::newRow("cancelled in the handshake")
        << Ending::CancelInHandshake << O::Cancelled << 0 << 0;
    QTest::newRow("port in use") << Ending::PortInUse << O::Failed << int(PortError::PortInUse)
                                 << 0;
    QTest::newRow("dial busy") << Ending::DialBusy << O::Failed << UploadFailure::DialFailed << 0;
    QTest::newRow("file missing") << Ending::FileMissing << O::Failed
                                  << int(FileError::FileNotFound) << 0;
}

void TstUpload::uploadRecord() {
    QFETCH(Ending, ending);
    QFETCH(UploadRecord::Outcome, outcome);
    QFETCH(int, errorNumber);
    QFETCH(int, acknowledged);
    UploadFixture f;
    f.port.device = QStringLiteral("/dev/ttyUSB1");
    QByteArray program(1000, '\0');
    for (qsizetype i = 0; i < program.size(); ++i)
        program[i] = static_cast<char>(i * 13);
    const QString path = f.writeProgram(program);
    RecordingListener listener;
    f.upload.addListener(listener);
    f.controller([&](int index, const QByteArray&) {
        if (ending == Ending::CancelAtBlock4 && index == 3) {
            QTimer::singleShot(1, &f.port, [&f] { f.upload.cancel(); });
            return QByteArray();
        }
        if (ending == Ending::CanAtBlock3 && index == 2)
            return QByteArray("\x18\x18");
        if (ending == Ending::PulledAtBlock3 && index == 2) {
            QTimer::singleShot(2, &f.port, [&f] { f.port.vanish(); });
            return QByteArray();
        }
        return QByteArray(ending == Ending::Sent && index == 1 ? "\x15" : "\x06");
    });
    if (ending == Ending::CancelInHandshake)
        f.port.onWrite = [&f](FakePort&, const QByteArray&) { f.upload.cancel(); };
    if (ending == Ending::PortInUse)
        f.port.openResult = [](int) { return PortError::PortInUse; };
    if (ending == Ending::DialBusy) {
        f.session.settings.useModem = 1;
        f.session.settings.phoneNumber = QStringLiteral("33224455");
        f.modem.reply = QStringLiteral("BUSY");
    }
    if (ending == Ending::FileMissing)
        QFile::remove(path);
    f.upload.run();

    QCOMPARE(f.port.deviceName(), f.port.device);
    QCOMPARE(listener.ended.size(), 1);
    const UploadRecord& record = listener.ended[0];
    QCOMPARE(record.outcome, outcome);
    QCOMPARE(record.errorNumber, errorNumber);
    QCOMPARE(record.blocksAcknowledged, acknowledged);
    QCOMPARE(record.resends, ending == Ending::Sent ? 1 : 0);
    QCOMPARE(record.programFile, path);
    QCOMPARE(record.portNumber, 2);
    QCOMPARE(record.device, QStringLiteral("/dev/ttyUSB1"));
    QCOMPARE(record.transferSettings, QStringLiteral("9600,n,8,1"));
    QCOMPARE(record.phoneNumber, ending == Ending::DialBusy ? QStringLiteral("33224455") : "");
    QVERIFY(qAbs(record.started.secsTo(QDateTime::currentDateTime())) < 10);
    QCOMPARE(record.started.timeSpec(), Qt::LocalTime);
    // The blocks started exactly when the file was read, and the hash is of those bytes.
    const bool read = ending < Ending::CancelInHandshake;
    QCOMPARE(listener.started.size(), read ? 1 : 0);
    QCOMPARE(record.blocksTotal, read ? 8 : 0);
    QCOMPARE(record.bytes, read ? program.size() : 0);
    QCOMPARE(record.sha256,
             read ? QCryptographicHash::hash(program, QCryptographicHash::Sha256) : QByteArray());
    if (read)
        QCOMPARE(listener.started[0].blocksTotal, 8);
    // A listener that left hears nothing more.
    f.upload.removeListener(listener);
    f.upload.run();
    QCOMPARE(listener.ended.size(), 1);
}

void TstUpload::uploadEndConfirmed_data() {
    QTest::addColumn<QList<QByteArray>>("answers"); // to each EOT in turn
    QTest::addColumn<int>("eots");
    QTest::addColumn<bool>("success");
    QTest::newRow("ACK") << QList<QByteArray>{"\x06"} << 1 << true;
    // A lost EOT leaves the receiver waiting: it gets one more before silence counts.
    QTest::newRow("silence") << QList<QByteArray>{} << 2 << true;
    QTest::newRow("first EOT refused") << QList<QByteArray>{"\x15", "\x06"} << 2 << true;
    QTest::newRow("refused, then silence") << QList<QByteArray>{"\x15"} << 3 << true;
    QTest::newRow("always refused") << QList<QByteArray>(11, "\x15") << 11 << false;
    QTest::newRow("cancelled") << QList<QByteArray>{"\x18\x18"} << 1 << false;
}

void TstUpload::uploadEndConfirmed() {
    QFETCH(QList<QByteArray>, answers);
    QFETCH(int, eots);
    QFETCH(bool, success);
    UploadFixture f;
    f.writeProgram(QByteArray(200, 'p'));
    f.port.onWrite = [&answers](FakePort& self, const QByteArray& bytes) {
        if (bytes == "1")
            self.inject("C");
        else if (isBlock(bytes))
            self.injectAfter(2, "\x06");
        else if (bytes == "\x04" && !answers.isEmpty())
            self.injectAfter(2, answers.takeFirst());
    };
    f.upload.run();
    int written = 0;
    for (const auto& w : f.port.writes())
        written += w.bytes == "\x04" ? 1 : 0;
    QCOMPARE(written, eots);
    QCOMPARE(f.view.status(), success ? QStringLiteral("PROGRAMA ENVIADO COM SUCESSO")
                                      : QStringLiteral("CANCELADO"));
    QCOMPARE(f.dialogs.messages.size(), success ? 0 : 1);
}

void TstUpload::uploadSendsTheFileAsChosen_data() {
    QTest::addColumn<int>("newSize"); // what the file becomes while block 2 waits
    QTest::newRow("cut short") << 100;
    QTest::newRow("rebuilt longer") << 900;
    QTest::newRow("emptied") << 0;
}

void TstUpload::uploadSendsTheFileAsChosen() {
    QFETCH(int, newSize);
    UploadFixture f;
    QByteArray program(600, '\0');
    for (int i = 0; i < program.size(); ++i)
        program[i] = static_cast<char>(i * 13 + 1);
    const QString path = f.writeProgram(program);
    f.controller([&](int index, const QByteArray& block) {
        if (index == 1) {
            QFile file(path);
            file.open(QIODevice::WriteOnly | QIODevice::Truncate);
            file.write(QByteArray(newSize, 'z'));
        }
        f.received += block.mid(3, 128);
        return QByteArray("\x06");
    });
    f.upload.run();
    QCOMPARE(f.view.status(), QStringLiteral("PROGRAMA ENVIADO COM SUCESSO"));
    QCOMPARE(f.received.size(), 5 * 128);
    QCOMPARE(f.received.left(program.size()), program);
    QCOMPARE(f.received.mid(program.size()), QByteArray(5 * 128 - program.size(), 0x1A));
}

void TstUpload::uploadEveryBlockAnsweredTwice() {
    // A receiver that answers ACK and NAK in one write: every block still goes out once.
    UploadFixture f;
    const QByteArray program(1000, 'q');
    f.writeProgram(program);
    f.controller([&f](int, const QByteArray& block) {
        f.received += block.mid(3, 128);
        return QByteArray("\x06\x15");
    });
    f.upload.run();
    QCOMPARE(f.view.status(), QStringLiteral("PROGRAMA ENVIADO COM SUCESSO"));
    QCOMPARE(f.blockWrites(), 8);
    QCOMPARE(f.received.left(program.size()), program);
}

void TstUpload::nextBlockLeavesWithTheAck() {
    // The receiver waits from the moment it answers: the next block must already be on
    // its way when the answer has been taken, not a turn of the event loop later.
    UploadFixture f;
    f.writeProgram(QByteArray(5 * 128 - 1, 'p'));
    int leftAtOnce = 0;
    f.port.onWrite = [&leftAtOnce](FakePort& self, const QByteArray& bytes) {
        if (bytes == "1")
            self.inject("C");
        else if (isBlock(bytes))
            QTimer::singleShot(2, &self, [&self, &leftAtOnce] {
                const qsizetype before = self.writes().size();
                self.inject("\x06");
                leftAtOnce += self.writes().size() > before ? 1 : 0;
            });
    };
    f.upload.run();
    QCOMPARE(f.view.status(), QStringLiteral("PROGRAMA ENVIADO COM SUCESSO"));
    QCOMPARE(f.blockWrites(), 5);
    QCOMPARE(leftAtOnce, 4); // every block's ACK but the last's, which the EOT follows
}

void TstUpload::uploadRestartedDuringHandshakeWait() {
    // CANCEL, then ENVIAR again while the handshake sleeps in its pass.
    UploadFixture f;
    f.upload.handshake().passMs = 300;
    f.writeProgram(QByteArray(300, 'p'));
    qsizetype eventsBefore = -1;
    qsizetype eventsAfter = -1;
    QTimer::singleShot(100, [&f, &eventsBefore, &eventsAfter] {
        f.session.transfer.transferStop = true; // what the cancel key does
        f.session.transfer.transferBusy = false;
        f.session.waiter.wake();
        eventsBefore = f.port.events().size();
        f.ackingController();
        f.upload.run();
        eventsAfter = f.port.events().size();
    });
    f.upload.run();
    QCOMPARE(eventsAfter, eventsBefore); // the second start did nothing
    QCOMPARE(f.blockWrites(), 0);
    QVERIFY(f.view.status().isEmpty());
    QVERIFY(!f.session.transfer.uploadRunning);
    QVERIFY(!f.session.transfer.transferBusy);
    // Once unwound, the next upload runs.
    f.upload.run();
    QCOMPARE(f.view.status(), QStringLiteral("PROGRAMA ENVIADO COM SUCESSO"));
}

namespace {

// The fixture with the real Hayes exchange on its port: the dial connects and
// every escape is answered.
struct ModemUploadFixture : UploadFixture {
    ModemLink modemLink{session, port};
    ModemUploadFixture() {
        session.settings.useModem = 1;
        session.settings.phoneNumber = QStringLiteral("123");
        session.modemControl = &modemLink;
        modemLink.stepMs = 10;
        QObject::connect(&link, &SerialLink::portLost, &link,
                         [this](int number) { session.reportError(number); });
    }
    void answer(std::function<void(FakePort&, int block)> onBlock) {
        port.onWrite = [onBlock, blocks = 0](FakePort& self, const QByteArray& bytes) mutable {
            if (bytes.startsWith("ATDP"))
                self.injectAfter(5, "CONNECT 9600\r\n");
            else if (bytes == "1")
                self.inject("C");
            else if (bytes == "+++" || bytes == "+")
                self.injectAfter(5, "OK\r\n");
            else if (isBlock(bytes))
                onBlock(self, blocks++);
        };
    }
};

} // namespace

void TstUpload::uploadQuietBeforeModemEscape() {
    ModemUploadFixture f;
    f.upload.eotReplyMs = 1000;
    f.writeProgram(QByteArray(300, 'p'));
    f.answer([](FakePort& self, int) { self.injectAfter(2, "\x06"); });
    f.upload.run();
    QCOMPARE(f.view.status(), QStringLiteral("PROGRAMA ENVIADO COM SUCESSO"));
    qint64 lastEot = -1;
    qint64 firstPlus = -1;
    qint64 beforePlus = -1;
    for (const auto& w : f.port.writes()) {
        if (w.bytes == "+") {
            firstPlus = w.atMs;
            break;
        }
        if (w.bytes == "\x04")
            lastEot = w.atMs;
        beforePlus = w.atMs;
    }
    QVERIFY(lastEot >= 0 && firstPlus >= 0);
    QVERIFY2(firstPlus - lastEot >= Upload::kQuietAfterEotMs,
             qPrintable(QString::number(firstPlus - lastEot)));
    QVERIFY(firstPlus - beforePlus >= f.modemLink.escapeGuardMs);
}

void TstUpload::uploadPulledAdapterReportedOnce() {
    ModemUploadFixture f;
    f.writeProgram(QByteArray(1000, 'p'));
    f.answer([](FakePort& self, int block) {
        if (block == 2)
            QTimer::singleShot(2, &self, [&self] { self.vanish(); });
        else
            self.injectAfter(2, "\x06");
    });
    f.upload.run();
    QCOMPARE(f.view.status(), QStringLiteral("CANCELADO"));
    QStringList titles;
    for (const auto& shown : f.dialogs.messages)
        titles << shown.title;
    // The lost device, then the upload's own failure box; nothing from the hang-up.
    QCOMPARE(f.dialogs.messages.size(), 2);
    QCOMPARE(f.session.lastErrorNumber, int(PortError::DeviceLost));
    QCOMPARE(f.dialogs.messages.last().title, QStringLiteral("Quillon"));
    QVERIFY(!f.session.transfer.uploadRunning);
}

QTEST_GUILESS_MAIN(TstUpload)
#include "tst_upload.moc"
