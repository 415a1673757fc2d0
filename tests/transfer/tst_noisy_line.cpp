#include "tests/support/noisy_upload.h"

#include <QCoreApplication>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

using namespace quillon::test;

namespace {

const int kRuns = qEnvironmentVariableIsSet("QUILLON_NOISY_RUNS")
                      ? qEnvironmentVariableIntValue("QUILLON_NOISY_RUNS")
                      : 200;
constexpr int kShards = 8;

NoisyRun runNumber(int run) {
    NoisyRun noisy;
    noisy.receiver = run % 16 == 3  ? NoisyReceiver::Rx
                     : run % 8 == 6 ? NoisyReceiver::Python
                                    : NoisyReceiver::Loader;
    noisy.seed = 1000u + static_cast<quint32>(run);
    return noisy;
}

} // namespace

class TstNoisyLine : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void successMeansTheFileArrived();
};

void TstNoisyLine::successMeansTheFileArrived() {
    if (qEnvironmentVariableIsSet(kNoisyShardVariable)) {
        runNoisyShard(kRuns, runNumber);
        return;
    }
    const bool haveRx = !QStandardPaths::findExecutable(QStringLiteral("rx")).isEmpty();
    QProcess probe;
    probe.start(QStringLiteral("/usr/bin/python3"),
                {QStringLiteral("-c"), QStringLiteral("import xmodem")});
    const bool havePython = probe.waitForFinished(10000) && probe.exitCode() == 0;
    if (!haveRx || !havePython)
        QSKIP("rx (lrzsz) and python3-xmodem are needed");

    const NoisyTally tally =
        runNoisyShards(QCoreApplication::applicationFilePath(),
                       {QStringLiteral("successMeansTheFileArrived")}, kShards);
    qInfo("%d of %d noisy uploads completed", tally.successes, tally.runs);
    QVERIFY2(!tally.childrenFailed, qPrintable(tally.childOutput));
    QCOMPARE(tally.runs, kRuns);
    QVERIFY2(tally.problems.isEmpty(), qPrintable(tally.problems.join(QLatin1Char('\n'))));
    // Most lines here are clean or mildly noisy; a run of failures means the
    // rig itself is broken rather than the line.
    QVERIFY2(tally.successes > kRuns / 2, qPrintable(QString::number(tally.successes)));
}

QTEST_GUILESS_MAIN(TstNoisyLine)
#include "tst_noisy_line.moc"
