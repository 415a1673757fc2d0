#include "tests/support/sim_process.h"

#include "tests/support/event_wait.h"

#include <QFile>
#include <QRegularExpression>

#include <csignal>
#include <unistd.h>

namespace quillon::simtest {

QString SimProcess::program() {
    const QString fromEnv = qEnvironmentVariable("QUILLON_SIM");
    return fromEnv.isEmpty() ? QStringLiteral(QUILLON_SIM_BUILT) : fromEnv;
}

SimProcess::~SimProcess() {
    // A terminated simulator removes its port link; kill only one that does not go.
    if (!stopWith(SIGTERM, 3000))
        stopWith(SIGKILL, 5000);
}

bool SimProcess::start(const QStringList& arguments, QString* why) {
    process_.start(program(),
                   paced_ ? arguments : QStringList{QStringLiteral("--no-pacing")} + arguments);
    QByteArray out;
    EventWait wait;
    wait.wakeOn(&process_, &QProcess::readyReadStandardOutput)
        .wakeOn(&process_, &QProcess::finished)
        .wakeOn(&process_, &QProcess::errorOccurred);
    const bool announced = wait.until(
        [&] {
            out += process_.readAllStandardOutput();
            return out.contains('\n') || process_.state() == QProcess::NotRunning;
        },
        10000);
    if (!announced || !out.endsWith('\n')) {
        if (why)
            *why = QStringLiteral("no announcement from %1: %2 %3")
                       .arg(program(), process_.errorString(),
                            QString::fromLocal8Bit(process_.readAllStandardError()));
        return false;
    }
    // A relay names its far end on a second line, printed in the same write.
    const QStringList lines = QString::fromLocal8Bit(out.chopped(1)).split(QLatin1Char('\n'));
    banner_ = lines.constFirst();
    static const QRegularExpression pattern(
        QStringLiteral("^quillon-sim: COM\\d+ -> (/dev/\\S+)$"));
    const QRegularExpressionMatch match = pattern.match(banner_);
    if (match.hasMatch())
        device_ = match.captured(1);
    static const QRegularExpression farPattern(
        QStringLiteral("^quillon-sim: far end -> (/dev/\\S+)$"));
    for (const QString& line : lines.sliced(1)) {
        const QRegularExpressionMatch far = farPattern.match(line);
        if (far.hasMatch())
            farDevice_ = far.captured(1);
    }
    return true;
}

QString SimProcess::startOnPort(const QString& portsDir, int com, const QStringList& options) {
    QFile::remove(portsDir + QStringLiteral("/COM%1").arg(com));
    QString why;
    if (!start(QStringList{QStringLiteral("--ports"), portsDir, QStringLiteral("--com"),
                           QString::number(com)} +
                   options,
               &why))
        return why;
    if (!banner_.contains(QStringLiteral("COM%1 ->").arg(com)))
        return QStringLiteral("no port link from the simulator: ") + banner_;
    return {};
}

bool SimProcess::stopWith(int signo, int timeoutMs) {
    if (process_.state() == QProcess::NotRunning)
        return true;
    ::kill(static_cast<pid_t>(process_.processId()), signo);
    EventWait wait;
    wait.wakeOn(&process_, &QProcess::finished);
    return wait.until([&] { return process_.state() == QProcess::NotRunning; }, timeoutMs);
}

QByteArray SimProcess::report() {
    report_ += process_.readAllStandardError();
    return report_;
}

double SimProcess::cpuSeconds() const {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(process_.processId()));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    // The command name may contain spaces; the numeric fields start after its ')'.
    const QByteArray text = stat.readAll();
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    // Fields 14 and 15 of the whole line (utime, stime); this list starts at field 3.
    if (fields.size() < 13)
        return -1;
    const double ticks = fields.at(11).toDouble() + fields.at(12).toDouble();
    return ticks / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

} // namespace quillon::simtest
