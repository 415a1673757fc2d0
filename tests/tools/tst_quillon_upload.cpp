#include "tests/support/child_process.h"
#include "tests/support/pty_bridge.h"
#include "tests/support/pty_peer.h"
#include "tests/support/rx_gate.h"
#include "tests/support/sim_process.h"
#include "tests/tools/cli_run.h"

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSerialPort>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <csignal>
#include <functional>
#include <unistd.h>

using namespace quillon::test;
using namespace quillon::test::cli;

namespace {

QByteArray programBytes(int size) {
    return seededBytes(size, 77u + static_cast<quint32>(size));
}

// Everything the simulator's wire log says came in, in order.
QByteArray bytesIn(const QString& logPath) {
    QByteArray all;
    QFile log(logPath);
    if (!log.open(QIODevice::ReadOnly))
        return all;
    while (!log.atEnd()) {
        const QByteArray line = log.readLine().trimmed();
        const qsizetype at = line.indexOf(" in ");
        if (at >= 0)
            all += QByteArray::fromHex(line.mid(at + 4));
    }
    return all;
}

constexpr int kRunLimitMs = 60000;

} // namespace

class TstQuillonUpload : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void commandLine_data();
    void commandLine();
    void fileErrorSendsNothing_data();
    void fileErrorSendsNothing();
    void portHeldByAnotherProgram_data();
    void portHeldByAnotherProgram();
    void arrivesIntactAtRx_data();
    void arrivesIntactAtRx();
    void receiverKilledMidTransfer();
    void lineLostMidTransfer();
    void simulatedLoader_data();
    void simulatedLoader();
    void pacedLoader();
    void sessionLog_data();
    void sessionLog();
    void stoppedBySignal_data();
    void stoppedBySignal();
    void throughTheModem_data();
    void throughTheModem();

private:
    QTemporaryDir ports_;
    QTemporaryDir work_;
};

void TstQuillonUpload::initTestCase() {
    if (qEnvironmentVariableIsEmpty("QUILLON_UPLOAD"))
        QSKIP("QUILLON_UPLOAD does not name the uploader (run through ctest)");
    QVERIFY(ports_.isValid());
    QVERIFY(work_.isValid());
}

void TstQuillonUpload::commandLine_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("said"); // on stdout for 0, else on stderr
    const QString file = QStringLiteral("/nonexistent/maq1.Epr");
    QTest::newRow("help") << QStringList{"--help"} << 0 << "uso: quillon-upload";
    QTest::newRow("version") << QStringList{"--version"} << 0 << "quillon-upload 2.3.59";
    QTest::newRow("nothing") << QStringList{} << 2 << "falta o ARQUIVO";
    QTest::newRow("no port") << QStringList{file} << 2 << "falta a porta";
    QTest::newRow("port not a number")
        << QStringList{"--port", "COM3", file} << 2 << "número de porta inválido";
    QTest::newRow("port and device")
        << QStringList{"--port", "3", "--device", "/dev/null", file} << 2 << "uma só vez";
    QTest::newRow("option without value") << QStringList{file, "--port"} << 2 << "precisa";
    QTest::newRow("unknown option") << QStringList{"--porta", "3", file} << 2 << "desconhecida";
    QTest::newRow("two files") << QStringList{"--port", "3", file, file} << 2 << "um ARQUIVO";
    QTest::newRow("log twice") << QStringList{"--port", "3", "--log", "a", "--log", "b", file} << 2
                               << "--log repetido";
    QTest::newRow("extra without modem")
        << QStringList{"--port", "3", "--extra", "X3", file} << 2 << "--modem";
    QTest::newRow("bad baud") << QStringList{"--port", "3", "--settings", "9601,n,8,1", file} << 3
                              << "Baud rate";
    QTest::newRow("bad parity") << QStringList{"--port", "3", "--settings=9600,x,8,1", file} << 3
                                << "ERRO na Porta de Comunicação";
}

void TstQuillonUpload::commandLine() {
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, said);
    Cli cli;
    cli.start(arguments, ports_.path());
    QVERIFY(cli.finish(kRunLimitMs));
    QCOMPARE(cli.exitCode(), exitCode);
    const QString text = QString::fromLocal8Bit(exitCode == 0 ? cli.out : cli.err);
    QVERIFY2(text.contains(said), qPrintable(text));
}

void TstQuillonUpload::fileErrorSendsNothing_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("said");
    QTest::newRow("missing") << "missing.Epr"
                             << "Arquivo não encontrado.";
    QTest::newRow("missing folder") << "nowhere/maq1.Epr"
                                    << "Caminho não encontrado.";
    QTest::newRow("a folder") << "folder.Epr"
                              << "Caminho ou arquivo especificado inválido.";
    QTest::newRow("empty") << "empty.Epr"
                           << "O arquivo do programa está vazio:";
}

void TstQuillonUpload::fileErrorSendsNothing() {
    QFETCH(QString, name);
    QFETCH(QString, said);
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("folder.Epr")));
    QVERIFY(!writeProgram(dir, {}, QStringLiteral("empty.Epr")).isEmpty());
    PtyPeer peer(ports_.path(), 3);
    QVERIFY(peer.ok());
    Cli cli;
    cli.start({"--port", "3", dir.filePath(name)}, ports_.path());
    QVERIFY(cli.finish(kRunLimitMs));
    QCOMPARE(cli.exitCode(), 4);
    QVERIFY2(cli.errText().contains(said), qPrintable(cli.errText()));
    QVERIFY2(cli.lastLine().startsWith(QStringLiteral("quillon-upload: Erro de Disco: ")),
             qPrintable(cli.lastLine()));
    // Found out before the controller is started, not after B1 and B2.
    QTest::qWait(50);
    QCOMPARE(peer.received(), QByteArray());
}

void TstQuillonUpload::portHeldByAnotherProgram_data() {
    QTest::addColumn<bool>("byDevice");
    QTest::newRow("--port") << false;
    QTest::newRow("--device") << true;
}

void TstQuillonUpload::portHeldByAnotherProgram() {
    QFETCH(bool, byDevice);
    const QString program = writeProgram(work_, programBytes(500));
    PtyPeer peer(ports_.path(), 3);
    QVERIFY(peer.ok());
    const auto holder = holdPort(peer.devicePath());
    QVERIFY(holder);
    Cli cli;
    cli.start(byDevice ? QStringList{"--device", peer.devicePath(), program}
                       : QStringList{"--port", "3", program},
              ports_.path());
    QVERIFY(cli.finish(kRunLimitMs));
    QCOMPARE(cli.exitCode(), 3);
    QVERIFY2(cli.errText().contains(QStringLiteral("ERRO na Porta de Comunicação\n  Porta já "
                                                   "esta em uso")),
             qPrintable(cli.errText()));
    // Said once, not once per attempt to open.
    QCOMPARE(cli.errText().count(QStringLiteral("Porta já esta em uso")), 1);
    QVERIFY(cli.lastLine().startsWith(QStringLiteral("quillon-upload: ERRO na Porta")));
}

void TstQuillonUpload::arrivesIntactAtRx_data() {
    QTest::addColumn<int>("size");
    QTest::addColumn<bool>("byDevice");
    QTest::addColumn<int>("progressLines");
    QTest::newRow("1 byte, --port") << 1 << false << 1;
    QTest::newRow("128 bytes, --device") << 128 << true << 2; // 50 % and 100 %
    QTest::newRow("20000 bytes, --device") << 20000 << true << 10;
    QTest::newRow("65536 bytes, --port") << 65536 << false << 10;
}

void TstQuillonUpload::arrivesIntactAtRx() {
    QFETCH(int, size);
    QFETCH(bool, byDevice);
    QFETCH(int, progressLines);
    if (QStandardPaths::findExecutable(QStringLiteral("rx")).isEmpty())
        QSKIP("rx from lrzsz is not installed (apt-get install lrzsz)");
    PtyBridge line(ports_.path(), 3);
    QVERIFY(line.ok());
    QTemporaryDir rxFolder;
    const QByteArray program = programBytes(size);
    const QString path = writeProgram(work_, program);
    RxGate gate(line.peerDevice(), rxFolder.path(), 2);
    Cli cli;
    cli.start(byDevice ? QStringList{"--device", line.programDevice(), path}
                       : QStringList{"--port", "3", path},
              ports_.path());
    QVERIFY(cli.finish(kRunLimitMs));
    QVERIFY2(cli.exitCode() == 0, qPrintable(cli.errText()));
    QVERIFY(gate.waitForRx(10000));
    QCOMPARE(gate.rx.exitCode(), 0);
    QCOMPARE(fileBytes(rxFolder.filePath(QStringLiteral("prog.Epr"))), padded(program));
    QVERIFY2(gate.seen.startsWith("41"), gate.seen.toHex().constData());

    const QStringList lines = cli.errLines();
    QCOMPARE(lines.count(QStringLiteral(
                 "quillon-upload: AGUARDANDO COMANDO DE INICIALIZAÇÃO: PRESSIONE B1 e B2")),
             1);
    QStringList progress;
    for (const QString& text : lines) {
        if (!text.startsWith(QStringLiteral("quillon-upload:")) && text.contains(QLatin1Char('%')))
            progress.append(text);
    }
    // Not a terminal: one line per tenth, the last at 100 %.
    QCOMPARE(progress.size(), progressLines);
    QVERIFY2(progress.last().trimmed().startsWith(QStringLiteral("100%")),
             qPrintable(progress.join(QLatin1Char('|'))));
    const int blocks = size / 128 + 1;
    QCOMPARE(cli.lastLine().section(QStringLiteral(" s,"), 0, 0).section(QLatin1Char(','), 0, 1),
             QStringLiteral("quillon-upload: PROGRAMA ENVIADO COM SUCESSO: %1 de %1 blocos, %2 "
                            "bytes")
                 .arg(blocks)
                 .arg(size));
    // rx now and then throws a block away and asks for it again, so resends
    // are counted but not foreseen here.
}

void TstQuillonUpload::receiverKilledMidTransfer() {
    if (QStandardPaths::findExecutable(QStringLiteral("rx")).isEmpty())
        QSKIP("rx from lrzsz is not installed (apt-get install lrzsz)");
    PtyBridge line(ports_.path(), 3);
    QVERIFY(line.ok());
    QTemporaryDir rxFolder;
    const QString path = writeProgram(work_, programBytes(300000));
    // Handed over after the second "1", so rx starts during a quiet second
    // of the handshake and not into its next start commands.
    RxGate gate(line.peerDevice(), rxFolder.path(), 2);
    QTimer killer;
    connect(&killer, &QTimer::timeout, &killer, [&] {
        if (line.bytesToPeer() > 40 * 133 && gate.rx.state() == QProcess::Running) {
            ::kill(static_cast<pid_t>(gate.rx.processId()), SIGKILL);
            killer.stop();
        }
    });
    killer.start(5);
    Cli cli;
    cli.start({"--port", "3", path}, ports_.path());
    // A receiver gone without a word: the block's 10 s limit ends it.
    QVERIFY(cli.finish(kRunLimitMs));
    QVERIFY2(!killer.isActive(), qPrintable(cli.errText()));
    QCOMPARE(cli.exitCode(), 1);
    QVERIFY2(cli.errText().contains(QStringLiteral("OPERARAÇÃO CANCELADA!")),
             qPrintable(cli.errText()));
    QVERIFY2(cli.lastLine().startsWith(QStringLiteral("quillon-upload: CANCELADO: ")),
             qPrintable(cli.lastLine()));
}

void TstQuillonUpload::lineLostMidTransfer() {
    QTemporaryDir dir;
    quillon::simtest::SimProcess sim;
    const QString why = sim.startOnPort(
        ports_.path(), 7, {"--role", "loader", "--b1b2-after", "1", "--silent-after", "50"});
    QVERIFY2(why.isEmpty(), qPrintable(why));
    Cli cli;
    cli.start({"--port", "7", writeProgram(dir, programBytes(300 * 128))}, ports_.path());
    bool pulled = false;
    QVERIFY(cli.finish(kRunLimitMs, [&](Cli& run) {
        if (!pulled && run.errText().contains(QStringLiteral("10%"))) {
            pulled = true; // the far end of the line goes away, as an adapter pulled
            sim.process().kill();
        }
    }));
    QVERIFY(pulled);
    QCOMPARE(cli.exitCode(), 1);
    QVERIFY2(cli.errText().contains(QStringLiteral("Erro de leitura no dispositivo da COM")),
             qPrintable(cli.errText()));
    QVERIFY(cli.lastLine().startsWith(QStringLiteral("quillon-upload: CANCELADO: ")));
}

void TstQuillonUpload::simulatedLoader_data() {
    QTest::addColumn<QStringList>("faults");
    QTest::addColumn<int>("exitCode");
    QTest::newRow("no fault") << QStringList() << 0;
    QTest::newRow("NAK every 3rd block") << QStringList{"--nak-every", "3"} << 0;
    QTest::newRow("cancel at block 4") << QStringList{"--cancel-at", "4"} << 1;
    QTest::newRow("NAK all") << QStringList{"--nak-all"} << 1;
}

void TstQuillonUpload::simulatedLoader() {
    QFETCH(QStringList, faults);
    QFETCH(int, exitCode);
    QTemporaryDir dir;
    const QString saved = dir.filePath(QStringLiteral("recebido.Epr"));
    quillon::simtest::SimProcess sim;
    const QString why = sim.startOnPort(
        ports_.path(), 4,
        QStringList{"--role", "loader", "--b1b2-after", "2", "--save", saved} + faults);
    QVERIFY2(why.isEmpty(), qPrintable(why));
    const QByteArray program = programBytes(3000);
    const QByteArray sha = QCryptographicHash::hash(program, QCryptographicHash::Sha256).toHex();
    Cli cli;
    cli.start({"--port", "4", "--quiet", writeProgram(dir, program)}, ports_.path());
    QVERIFY(cli.finish(kRunLimitMs));
    QCOMPARE(cli.exitCode(), exitCode);
    if (exitCode == 0) {
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(saved), 3000);
        QCOMPARE(fileBytes(saved), padded(program));
        // Quiet: the final line and nothing else.
        QCOMPARE(cli.errLines().size(), 1);
        const int resends = faults.isEmpty() ? 0 : 24 / 3;
        QVERIFY2(cli.lastLine().endsWith(QStringLiteral(", %1 erros, SHA-256 %2")
                                             .arg(resends)
                                             .arg(QString::fromLatin1(sha))),
                 qPrintable(cli.lastLine()));
    } else {
        // The receiver may keep what it had when the EOT came; never the program.
        QVERIFY(fileBytes(saved) != padded(program));
        QVERIFY(cli.lastLine().startsWith(QStringLiteral("quillon-upload: CANCELADO: ")));
    }
    // The full edition's journal has the upload as its last line.
    const QList<QByteArray> journal = fileBytes(uploaderCopy().journal()).split('\n');
    QVERIFY(journal.size() >= 3);
    const QList<QByteArray> fields = journal[journal.size() - 2].trimmed().split(';');
    QCOMPARE(fields.size(), 13);
    QCOMPARE(fields[1], "quillon-upload 2.3.59");
    QCOMPARE(fields[4], sha);
    QCOMPARE(fields[12], exitCode == 0 ? "ENVIADO" : "FALHA 9001");
}

void TstQuillonUpload::sessionLog_data() {
    QTest::addColumn<bool>("diskFull");
    QTest::newRow("recorded") << false;
    QTest::newRow("disk full: the upload goes on") << true;
}

void TstQuillonUpload::sessionLog() {
    QFETCH(bool, diskFull);
    QTemporaryDir dir;
    quillon::simtest::SimProcess sim;
    const QString why = sim.startOnPort(ports_.path(), 4, {"--role", "loader"});
    QVERIFY2(why.isEmpty(), qPrintable(why));
    const QString log = diskFull ? QStringLiteral("/dev/full") : dir.filePath("sessao.txt");
    Cli cli;
    cli.start({"--port", "4", "--quiet", "--log", log, writeProgram(dir, programBytes(3000))},
              ports_.path());
    QVERIFY(cli.finish(kRunLimitMs));
    QCOMPARE(cli.exitCode(), 0);
    QVERIFY2(cli.lastLine().startsWith(QStringLiteral("quillon-upload: PROGRAMA ENVIADO")),
             qPrintable(cli.lastLine()));
    if (diskFull) {
        QCOMPARE(cli.errLines(),
                 (QStringList{QStringLiteral("quillon-upload: Não foi possível gravar a sessão em "
                                             "/dev/full: disco cheio. A gravação foi encerrada."),
                              cli.lastLine()}));
        return;
    }
    const QString text = QString::fromUtf8(fileBytes(log));
    for (const char* line :
         {" -- Gravação iniciada (quillon-upload 2.3.59)\r\n", " -- COM4 aberta em 1200,n,8,1\r\n",
          " TX: 4\r\n", " TX: 1\r\n", " RX: C\r\n", " -- Envio: 24 blocos de 128 bytes\r\n",
          " -- Envio encerrado: ENVIADO, 24 de 24 blocos, 0 reenvios\r\n", " -- COM4 fechada\r\n"})
        QVERIFY2(text.contains(QString::fromUtf8(line)), line);
    QVERIFY(text.endsWith(QStringLiteral(" -- Gravação encerrada\r\n")));
    // Not a byte of the blocks, nor of the receiver's answers to them.
    QVERIFY(!text.contains(QStringLiteral("[SOH]")));
    QVERIFY(!text.contains(QStringLiteral("[ACK]")));
}

void TstQuillonUpload::pacedLoader() {
    // On a line that runs at its speed, where the loader hears its start command only at
    // 1200 baud and the rest only at the transfer setting.
    QTemporaryDir dir;
    const QString saved = dir.filePath(QStringLiteral("recebido.Epr"));
    quillon::simtest::SimProcess sim;
    sim.setPaced(true);
    const QString why =
        sim.startOnPort(ports_.path(), 7, QStringList{"--role", "loader", "--save", saved});
    QVERIFY2(why.isEmpty(), qPrintable(why));
    const QByteArray program = programBytes(1000);
    Cli cli;
    cli.start({"--port", "7", "--quiet", writeProgram(dir, program)}, ports_.path());
    QVERIFY(cli.finish(kRunLimitMs));
    QCOMPARE(cli.exitCode(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(fileBytes(saved), padded(program), 3000);
}

void TstQuillonUpload::stoppedBySignal_data() {
    QTest::addColumn<int>("signo");
    QTest::addColumn<QStringList>("loader");
    QTest::addColumn<QString>("when");
    QTest::addColumn<bool>("blocksSent");
    QTest::addColumn<bool>("modem");
    // The loader falls silent at block 50 of 300, so the stop always finds the
    // upload waiting for a reply, past its 10 % line.
    const QStringList stalls{"--b1b2-after", "1", "--silent-after", "50"};
    const QStringList dialled{"--modem", "--dial-delay",   "200", "--b1b2-after",
                              "2",       "--silent-after", "50"};
    QTest::newRow("SIGINT while sending") << int(SIGINT) << stalls << "10%" << true << false;
    QTest::newRow("SIGTERM while sending") << int(SIGTERM) << stalls << "10%" << true << false;
    QTest::newRow("SIGINT while waiting for B1 and B2")
        << int(SIGINT) << QStringList{"--b1b2-after", "1000"} << "PRESSIONE B1 e B2" << false
        << false;
    QTest::newRow("SIGINT while sending through the modem")
        << int(SIGINT) << dialled << "10%" << true << true;
}

void TstQuillonUpload::stoppedBySignal() {
    QFETCH(int, signo);
    QFETCH(QStringList, loader);
    QFETCH(QString, when);
    QFETCH(bool, blocksSent);
    QFETCH(bool, modem);
    QTemporaryDir dir;
    const QString log = dir.filePath(QStringLiteral("wire.log"));
    quillon::simtest::SimProcess sim;
    const QString why =
        sim.startOnPort(ports_.path(), 5, QStringList{"--role", "loader", "--log", log} + loader);
    QVERIFY2(why.isEmpty(), qPrintable(why));
    Cli cli;
    cli.start(QStringList{"--port", "5", writeProgram(dir, programBytes(300 * 128 - 1))} +
                  (modem ? QStringList{"--modem", "5551234"} : QStringList()),
              ports_.path());
    bool signalled = false;
    QElapsedTimer sinceSignal;
    QVERIFY(cli.finish(kRunLimitMs, [&](Cli& run) {
        if (!signalled && run.errText().contains(when)) {
            signalled = true;
            sinceSignal.start();
            run.signal(signo);
        }
    }));
    QVERIFY(signalled);
    QCOMPARE(cli.exitCode(), 130);
    // Well before the block's own 10 s limit would have ended it; the modem's
    // hang-up takes its escape guard times on top.
    QVERIFY2(sinceSignal.elapsed() < (modem ? 9000 : 5000),
             qPrintable(QString::number(sinceSignal.elapsed())));
    QVERIFY2(cli.lastLine().startsWith(QStringLiteral("quillon-upload: INTERROMPIDO: ")),
             qPrintable(cli.lastLine()));
    const QByteArray wire = bytesIn(log);
    if (modem) {
        QVERIFY2(wire.endsWith("+++ath\r"), wire.right(16).toHex().constData());
        QVERIFY(wire.contains("\x04+++"));
    } else if (blocksSent) {
        QVERIFY2(wire.endsWith('\x04'), wire.right(16).toHex().constData());
        QVERIFY(!cli.errText().contains(QStringLiteral("OPERARAÇÃO CANCELADA")));
    } else {
        QVERIFY2(!wire.contains('\x01'), wire.toHex().constData());
    }
    // The port was closed: another program may take it at once.
    QSerialPort after;
    after.setPortName(QFileInfo(ports_.filePath(QStringLiteral("COM5"))).canonicalFilePath());
    QVERIFY(after.open(QIODevice::ReadWrite));
}

void TstQuillonUpload::throughTheModem_data() {
    QTest::addColumn<QString>("result");
    QTest::addColumn<int>("exitCode");
    QTest::newRow("connects") << "CONNECT 9600" << 0;
    QTest::newRow("busy") << "BUSY" << 1;
}

void TstQuillonUpload::throughTheModem() {
    QFETCH(QString, result);
    QFETCH(int, exitCode);
    QTemporaryDir dir;
    const QString saved = dir.filePath(QStringLiteral("recebido.Epr"));
    const QString log = dir.filePath(QStringLiteral("wire.log"));
    quillon::simtest::SimProcess sim;
    const QString why = sim.startOnPort(ports_.path(), 6,
                                        {"--modem", "--dial-delay", "200", "--dial-result", result,
                                         "--b1b2-after", "2", "--save", saved, "--log", log});
    QVERIFY2(why.isEmpty(), qPrintable(why));
    const QByteArray program = programBytes(5000);
    Cli cli;
    cli.start({"--port", "6", "--modem", "5551234", "--extra", "X3", writeProgram(dir, program)},
              ports_.path());
    QVERIFY(cli.finish(kRunLimitMs));
    QCOMPARE(cli.exitCode(), exitCode);
    QVERIFY(bytesIn(log).contains("ATX3DP5551234\r"));
    if (exitCode == 0) {
        QCOMPARE(fileBytes(saved), padded(program));
    } else {
        QVERIFY2(cli.errText().contains(
                     QStringLiteral("Não foi possível conectar ao telefone 5551234!")),
                 qPrintable(cli.errText()));
        QVERIFY(!bytesIn(log).contains('\x01'));
    }
    // Hung up at the end either way.
    QVERIFY(bytesIn(log).endsWith("ath\r"));
}

QTEST_MAIN(TstQuillonUpload)
#include "tst_quillon_upload.moc"
