#include "tests/support/fault_relay.h"
#include "tests/support/noisy_upload.h"
#include "tests/support/rx_gate.h"
#include "tests/tools/cli_run.h"

#include <QStandardPaths>
#include <QTest>

using namespace quillon::test;
using namespace quillon::test::cli;

// The exit status is what a production line trusts: through a seeded noisy
// line (flipped, dropped, doubled bytes, split and held chunks, both ways) the
// uploader may fail, but it must never say 0 while rx holds anything other
// than the program.
class TstQuillonUploadNoisy : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void neverSucceedsWithAWrongFile_data();
    void neverSucceedsWithAWrongFile();
    void cleanupTestCase();

private:
    int succeeded_ = 0;
    int runs_ = 0;
};

void TstQuillonUploadNoisy::initTestCase() {
    if (qEnvironmentVariableIsEmpty("QUILLON_UPLOAD"))
        QSKIP("QUILLON_UPLOAD does not name the uploader (run through ctest)");
    if (QStandardPaths::findExecutable(QStringLiteral("rx")).isEmpty())
        QSKIP("rx from lrzsz is not installed (apt-get install lrzsz)");
}

void TstQuillonUploadNoisy::neverSucceedsWithAWrongFile_data() {
    QTest::addColumn<quint32>("seed");
    for (quint32 seed = 1; seed <= 24; ++seed)
        QTest::newRow(qPrintable(QStringLiteral("seed %1").arg(seed))) << seed;
}

void TstQuillonUploadNoisy::neverSucceedsWithAWrongFile() {
    QFETCH(quint32, seed);
    std::mt19937 random(seed);
    const NoisyLine noisy = noisyLineFor(random, -1, 3000);
    QTemporaryDir work;
    QTemporaryDir rxFolder;
    const QString ports = work.filePath(QStringLiteral("ports"));
    FaultRelay line(ports, 3, seed, noisy.toPeer, noisy.toProgram);
    QVERIFY(line.ok());
    RxGate gate(line.peerDevice(), rxFolder.path(), 2);
    Cli cli;
    cli.start({"--port", "3", "--quiet", writeProgram(work, noisy.program)}, ports);
    QVERIFY(cli.finish(120000));
    const QString said = QStringLiteral("rate %1, %2 bytes, %3 faults: %4")
                             .arg(noisy.rate)
                             .arg(noisy.program.size())
                             .arg(line.faultsInjected())
                             .arg(cli.errText());
    QVERIFY2(cli.exitCode() == 0 || cli.exitCode() == 1, qPrintable(said));
    ++runs_;
    if (cli.exitCode() != 0)
        return;
    ++succeeded_;
    gate.waitForRx(5000);
    QVERIFY2(fileBytes(rxFolder.filePath(QStringLiteral("prog.Epr"))) == padded(noisy.program),
             qPrintable(said));
}

void TstQuillonUploadNoisy::cleanupTestCase() {
    // Not a pass mark: how much got through, for whoever reads the log.
    qInfo("%d of %d noisy uploads succeeded", succeeded_, runs_);
}

QTEST_MAIN(TstQuillonUploadNoisy)
#include "tst_quillon_upload_noisy.moc"
