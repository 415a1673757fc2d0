#include "tests/support/noisy_upload.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTest>

using namespace quillon::test;

namespace {

const int kRuns = qEnvironmentVariableIsSet("QUILLON_NOISY_RUNS")
                      ? qEnvironmentVariableIntValue("QUILLON_NOISY_RUNS")
                      : 200;

} // namespace
class TstNoisyLine : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void successMeansTheFileArrived();
};

void TstNoisyLine::successMeansTheFileArrived() {
    const bool haveRx = !QStandardPaths::findExecutable(QStringLiteral("rx")).isEmpty();
    QProcess probe;
    probe.start(QStringLiteral("/usr/bin/python3"),
                {QStringLiteral("-c"), QStringLiteral("import xmodem")});
    const bool havePython = probe.waitForFinished(10000) && probe.exitCode() == 0;
    if (!haveRx || !havePython)
        QSKIP("rx (lrzsz) and python3-xmodem are needed");
    QStringList falseSuccesses;
    int successes = 0;
    for (int run = 0; run < kRuns; ++run) {
        NoisyRun noisy;
        noisy.receiver = run % 16 == 3  ? NoisyReceiver::Rx
                         : run % 8 == 6 ? NoisyReceiver::Python
                                        : NoisyReceiver::Loader;
        noisy.seed = 1000u + static_cast<quint32>(run);
        const NoisyOutcome outcome = noisyUpload(noisy);
        successes += outcome.success ? 1 : 0;
        if (!outcome.problem.isEmpty())
            falseSuccesses << QStringLiteral("receiver %1, ").arg(int(noisy.receiver)) +
                                  outcome.problem;
    }
    qInfo("%d of %d noisy uploads completed", successes, kRuns);
    QVERIFY2(falseSuccesses.isEmpty(), qPrintable(falseSuccesses.join(QLatin1Char('\n'))));
    // Most lines here are clean or mildly noisy; a run of failures means the
    // rig itself is broken rather than the line.
    QVERIFY2(successes > kRuns / 2, qPrintable(QString::number(successes)));
}

QTEST_GUILESS_MAIN(TstNoisyLine)
#include "tst_noisy_line.moc"
