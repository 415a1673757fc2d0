#include "tests/support/noisy_upload.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>

#include <cstdio>
#include <memory>
#include <vector>

using namespace quillon::test;

namespace {

const int kRuns = qEnvironmentVariableIsSet("QUILLON_NOISY_RUNS")
                      ? qEnvironmentVariableIntValue("QUILLON_NOISY_RUNS")
                      : 200;
// An upload mostly waits on its line, so several side by side (each in a child
// process with its own lines, ports folder and receivers) share two cores well.
constexpr int kShards = 8;
constexpr char kShardVariable[] = "QUILLON_NOISY_SHARD";
constexpr char kTally[] = "noisy tally: ";
constexpr char kProblem[] = "noisy problem: ";

NoisyRun runNumber(int run) {
    NoisyRun noisy;
    noisy.receiver = run % 16 == 3  ? NoisyReceiver::Rx
                     : run % 8 == 6 ? NoisyReceiver::Python
                                    : NoisyReceiver::Loader;
    noisy.seed = 1000u + static_cast<quint32>(run);
    return noisy;
}

// The runs of one shard, told to the parent on stdout.
void runShard(int shard) {
    int successes = 0;
    int runs = 0;
    for (int run = 0; run < kRuns; ++run) {
        // Receivers recur every 8 or 16 runs; this spreads the slow ones (rx
        // waits a second at the end) over all shards.
        if ((run % 16 + run / 16) % kShards != shard)
            continue;
        const NoisyRun noisy = runNumber(run);
        const NoisyOutcome outcome = noisyUpload(noisy);
        ++runs;
        successes += outcome.success ? 1 : 0;
        if (!outcome.problem.isEmpty())
            std::printf("%sreceiver %d, %s\n", kProblem, int(noisy.receiver),
                        qPrintable(outcome.problem));
    }
    std::printf("%s%d %d\n", kTally, successes, runs);
    std::fflush(stdout);
}

} // namespace

class TstNoisyLine : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void successMeansTheFileArrived();
};

void TstNoisyLine::successMeansTheFileArrived() {
    if (qEnvironmentVariableIsSet(kShardVariable)) {
        runShard(qEnvironmentVariableIntValue(kShardVariable));
        return;
    }
    const bool haveRx = !QStandardPaths::findExecutable(QStringLiteral("rx")).isEmpty();
    QProcess probe;
    probe.start(QStringLiteral("/usr/bin/python3"),
                {QStringLiteral("-c"), QStringLiteral("import xmodem")});
    const bool havePython = probe.waitForFinished(10000) && probe.exitCode() == 0;
    if (!haveRx || !havePython)
        QSKIP("rx (lrzsz) and python3-xmodem are needed");

    std::vector<std::unique_ptr<QProcess>> shards;
    QEventLoop loop;
    int running = 0;
    for (int shard = 0; shard < kShards; ++shard) {
        auto& child = shards.emplace_back(std::make_unique<QProcess>());
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QLatin1String(kShardVariable), QString::number(shard));
        child->setProcessEnvironment(environment);
        child->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QObject::connect(child.get(), &QProcess::finished, &loop, [&] {
            if (--running == 0)
                loop.quit();
        });
        child->start(QCoreApplication::applicationFilePath(),
                     {QStringLiteral("successMeansTheFileArrived")});
        if (child->waitForStarted())
            ++running;
    }
    if (running > 0)
        loop.exec();

    QStringList falseSuccesses;
    int successes = 0;
    int runs = 0;
    for (const auto& child : shards) {
        const QString output = QString::fromLocal8Bit(child->readAllStandardOutput());
        QVERIFY2(child->exitStatus() == QProcess::NormalExit && child->exitCode() == 0,
                 qPrintable(output));
        for (const QString& line : output.split(QLatin1Char('\n'))) {
            if (line.startsWith(QLatin1String(kProblem))) {
                falseSuccesses << line.mid(qsizetype(sizeof kProblem) - 1);
            } else if (line.startsWith(QLatin1String(kTally))) {
                const QStringList counts = line.mid(qsizetype(sizeof kTally) - 1).split(' ');
                successes += counts.value(0).toInt();
                runs += counts.value(1).toInt();
            }
        }
    }
    qInfo("%d of %d noisy uploads completed", successes, runs);
    QCOMPARE(runs, kRuns);
    QVERIFY2(falseSuccesses.isEmpty(), qPrintable(falseSuccesses.join(QLatin1Char('\n'))));
    // Most lines here are clean or mildly noisy; a run of failures means the
    // rig itself is broken rather than the line.
    QVERIFY2(successes > kRuns / 2, qPrintable(QString::number(successes)));
}

QTEST_GUILESS_MAIN(TstNoisyLine)
#include "tst_noisy_line.moc"
