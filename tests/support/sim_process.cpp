#include "tests/support/sim_process.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QTest>

namespace quillon::test {

SimulatorProcess::~SimulatorProcess() {
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(3000))
        process.kill();
}

QString SimulatorProcess::start(const QString& portsDir, int com, const QStringList& options) {
    const QString simulator = qEnvironmentVariable("QUILLON_SIM");
    if (simulator.isEmpty())
        return QStringLiteral("QUILLON_SIM does not name the simulator (run through ctest)");
    QFile::remove(portsDir + QStringLiteral("/COM%1").arg(com));
    process.start(simulator, QStringList{QStringLiteral("--ports"), portsDir,
                                         QStringLiteral("--com"), QString::number(com)} +
                                 options);
    if (!process.waitForStarted(5000))
        return QStringLiteral("the simulator did not start");
    QByteArray banner;
    const QByteArray expected = "COM" + QByteArray::number(com) + " ->";
    QDeadlineTimer deadline(5000);
    while (!banner.contains(expected) && !deadline.hasExpired()) {
        QTest::qWait(20);
        banner += process.readAllStandardOutput();
    }
    if (!banner.contains(expected))
        return QStringLiteral("no port link from the simulator: ") +
               QString::fromLocal8Bit(process.readAllStandardError());
    return {};
}

QByteArray SimulatorProcess::report() {
    report_ += process.readAllStandardError();
    return report_;
}

} // namespace quillon::test
