#include "bench/paced_runs.h"

#include "tests/support/child_process.h"
#include "tests/support/rx_gate.h"
#include "tests/support/sim_process.h"
#include "transfer/xmodem.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <optional>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace quillon::bench {

namespace {

constexpr int kCom = 3;
constexpr int kBitsPerCharacter = 10;
// rx looks at the line for a second after EOT before it ends.
constexpr int kRxEndMs = 10000;

QString settingsFor(int baud) {
    return QStringLiteral("%1,n,8,1").arg(baud);
}

// Twice the transfer's own line time, and the handshake's passes: only a stuck run
// gets there.
int limitMs(qsizetype bytes, int baud) {
    const qsizetype blocks = bytes / xmodem::kDataSize + 1;
    const double lineSeconds =
        static_cast<double>(blocks * (xmodem::kBlockSize + 1)) * characterSeconds(baud);
    return static_cast<int>(2000 * lineSeconds) + 30000;
}

// The simulator as one run has it: paced, on COM3 of the ground's ports, logging the
// wire into a folder of the run's own.
class PacedLine {
public:
    // Empty when it runs.
    QString start(const UploadGround& ground, const QStringList& role) {
        if (!folder.isValid())
            return QStringLiteral("no temporary folder");
        sim.setPaced(true);
        return sim.startOnPort(ground.ports.dir(), kCom,
                               role + QStringList{QStringLiteral("--log"), logPath()});
    }

    QString startRelay(const UploadGround& ground) {
        return start(ground, {QStringLiteral("--role"), QStringLiteral("relay")});
    }

    QString logPath() const { return folder.filePath(QStringLiteral("wire.log")); }

    // The run's figures from the wire; a problem already found stays, with what the
    // simulator said.
    PacedRun outcome(const QString& found, int baud) {
        PacedRun run;
        run.wire = uploadOnWire(readWireLog(logPath()), characterSeconds(baud));
        run.problem = found;
        if (run.problem.isEmpty() && !run.wire.complete())
            run.problem = QStringLiteral("the wire log holds no whole transfer");
        const QByteArray said = sim.report().trimmed();
        if (!run.problem.isEmpty() && !said.isEmpty())
            run.problem +=
                QStringLiteral(" (the simulator said: %1)").arg(QString::fromLocal8Bit(said));
        return run;
    }

    QTemporaryDir folder;
    simtest::SimProcess sim;
};

// The program's upload on COM3 at baud,n,8,1; empty when it ended in success.
QString uploadProblem(const UploadGround& ground, int baud) {
    QElapsedTimer clock;
    clock.start();
    UploadRig rig(ground.ports.dir(), ground.path, clock, kCom, settingsFor(baud));
    rig.runWithin(limitMs(ground.source.size(), baud));
    if (uploadSucceeded(rig.view.status()) && rig.dialogs.messages.isEmpty())
        return {};
    return QStringLiteral("the upload ended with status \"%1\"%2")
        .arg(rig.view.status(),
             rig.dialogs.messages.isEmpty() ? QString() : QStringLiteral(": ") + rig.shownErrors());
}

// Empty when rx ended well holding the program in `file`.
QString rxProblem(QProcess& rx, const QString& file, const QByteArray& source) {
    const QString problem = exitProblem(rx, QStringLiteral("rx"));
    return problem.isEmpty() ? receivedProblem(source, file) : problem;
}

std::optional<speed_t> speedOf(int baud) {
    switch (baud) {
    case 1200:
        return B1200;
    case 9600:
        return B9600;
    case 115200:
        return B115200;
    default:
        return std::nullopt;
    }
}

// The program's end of the relay, open and at the transfer speed before sx comes: sx
// keeps the speed it finds, and what the relay hands to an end nobody holds is lost
// (rx's first "C" among it).
class HeldLine {
public:
    HeldLine(const QString& device, int baud) {
        fd_ = ::open(QFile::encodeName(device).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        termios line{};
        const std::optional<speed_t> speed = speedOf(baud);
        if (fd_ < 0 || !speed || ::tcgetattr(fd_, &line) != 0)
            return;
        ::cfmakeraw(&line);
        ok_ = ::cfsetspeed(&line, *speed) == 0 && ::tcsetattr(fd_, TCSANOW, &line) == 0;
    }
    ~HeldLine() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    HeldLine(const HeldLine&) = delete;
    HeldLine& operator=(const HeldLine&) = delete;

    bool ok() const { return ok_; }

private:
    int fd_ = -1;
    bool ok_ = false;
};

} // namespace

double characterSeconds(int baud) {
    return static_cast<double>(kBitsPerCharacter) / baud;
}

PacedRun uploadToLoader(const UploadGround& ground, int baud) {
    PacedLine line;
    const QString saved = line.folder.filePath(QStringLiteral("saved.Epr"));
    const QString why = line.start(ground, {QStringLiteral("--role"), QStringLiteral("loader"),
                                            QStringLiteral("--transfer-settings"),
                                            settingsFor(baud), QStringLiteral("--b1b2-after"),
                                            QStringLiteral("2"), QStringLiteral("--save"), saved});
    if (!why.isEmpty())
        return {why, {}};
    QString problem = uploadProblem(ground, baud);
    if (problem.isEmpty())
        problem = receivedProblem(ground.source, saved);
    return line.outcome(problem, baud);
}

PacedRun uploadToRx(const UploadGround& ground, int baud) {
    PacedLine line;
    if (const QString why = line.startRelay(ground); !why.isEmpty())
        return {why, {}};
    // After the first pass's "1" (and the "4" and "1" that follow at once) rx takes
    // over, inside the quiet second before the next pass.
    test::RxGate gate(line.sim.farDevice(), line.folder.path(), 1);
    QString problem = uploadProblem(ground, baud);
    const bool rxEnded = gate.waitForRx(kRxEndMs);
    if (problem.isEmpty() && !rxEnded)
        problem = QStringLiteral("rx still running after the upload");
    if (problem.isEmpty())
        problem =
            rxProblem(gate.rx, line.folder.filePath(QStringLiteral("prog.Epr")), ground.source);
    return line.outcome(problem, baud);
}

PacedRun sxToRx(const UploadGround& ground, int baud) {
    PacedLine line;
    if (const QString why = line.startRelay(ground); !why.isEmpty())
        return {why, {}};
    const HeldLine held(line.sim.device(), baud);
    if (!held.ok())
        return {QStringLiteral("cannot set %1 on %2").arg(baud).arg(line.sim.device()), {}};
    QProcess sx;
    QProcess rx;
    attach(sx, line.sim.device(), QFileInfo(ground.path).absolutePath());
    attach(rx, line.sim.farDevice(), line.folder.path());
    sx.start(QStringLiteral("sx"), {QStringLiteral("-q"), ground.path});
    rx.start(QStringLiteral("rx"),
             {QStringLiteral("-c"), QStringLiteral("-q"), QStringLiteral("ref.Epr")});
    const int limit = limitMs(ground.source.size(), baud);
    const QString problem =
        test::waitForEnd(rx, limit)
            ? rxProblem(rx, line.folder.filePath(QStringLiteral("ref.Epr")), ground.source)
            : QStringLiteral("rx still running after %1").arg(secondsText(limit / 1000.0));
    // sx may still wait for the answer to its EOT, which rx's flush as it exits can lose;
    // rx's file says all there is to say.
    endProcess(sx);
    endProcess(rx);
    return line.outcome(problem, baud);
}

} // namespace quillon::bench
