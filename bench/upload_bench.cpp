#include "bench/upload_support.h"

#include "tests/support/child_process.h"
#include "tests/support/noisy_upload.h"
#include "tests/support/pty_bridge.h"
#include "tests/support/pty_peer.h"
#include "tests/support/rx_gate.h"
#include "transfer/xmodem.h"

#include <QAccessible>
#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QFileInfo>
#include <QLineEdit>
#include <QProcess>
#include <QTimer>

#include <algorithm>
#include <functional>
#include <utility>
#include <vector>

namespace quillon::bench {

namespace {

// Runs alternate between the two senders, so a busy spell on the machine
// hits both alike; the median drops the odd one out.
constexpr int kRuns = 3;
constexpr int kCom = 3;
// A transfer of these sizes over a pty takes well under a second and the
// handshake a few; only a stuck run gets anywhere near this.
constexpr int kRunLimitMs = 30000;
constexpr double kGoalRatio = 1.05;
constexpr double kBadlyOffRatio = 3.0;
constexpr double kWaitingGoalPercent = 2.0;
constexpr double kWaitingBadlyOffPercent = 20.0;
constexpr char kTransferSettings[] = "9600,n,8,1";

constexpr double kCliGoalRatio = 1.02;
const QString kNoLine = QStringLiteral("no pseudo-terminals or temporary folder");

QString uploaderPath() {
    const QString fromEnv = qEnvironmentVariable("QUILLON_UPLOAD");
    return fromEnv.isEmpty() ? QStringLiteral(QUILLON_UPLOAD_PATH) : fromEnv;
}

// When the sender's bytes crossed the pty bridge, for both senders alike.
// rx waits a second after EOT for anything that would make it garbage before
// it answers and ends, so its exit says little about the sender; the bridge's
// relaying does. The bridge relays inside socket events, so the event before
// the first one that sees a new byte count is the one that moved it.
class LineWatch : public QObject {
public:
    LineWatch(const test::PtyBridge& line, const QElapsedTimer& clock)
        : line_(line), clock_(clock) {
        QCoreApplication::instance()->installEventFilter(this);
    }
    ~LineWatch() override { QCoreApplication::instance()->removeEventFilter(this); }

    // Only bytes from here on count.
    void restart() {
        frozen_ = false;
        seen_ = line_.bytesToPeer();
        first = Mark{};
        last = Mark{};
    }

    // rx has ended: whatever the sender writes now reaches nobody. (When rx's
    // answer to EOT is lost in its own flush, a sender repeats the EOT.)
    void freeze() { frozen_ = true; }

    Mark first; // the sender's first byte crossed
    Mark last;  // its last byte (EOT) crossed

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::SockAct && !frozen_) {
            const qint64 count = line_.bytesToPeer();
            if (count != seen_ && previous_.taken()) {
                seen_ = count;
                if (!first.taken())
                    first = previous_;
                last = previous_;
            }
            previous_.take(clock_);
        }
        return QObject::eventFilter(watched, event);
    }

private:
    const test::PtyBridge& line_;
    const QElapsedTimer& clock_;
    qint64 seen_ = 0;
    Mark previous_;
    bool frozen_ = false;
};

using test::waitForEnd;

// The main window itself: its labels and progress bar are drawn, and when
// the accessibility bridge is on, each change is also sent to the bus.
class TimedWindow final : public FrmXmodem {
public:
    TimedWindow(Session& session, const QElapsedTimer& clock) : FrmXmodem(session), mark(clock) {}
    void setStatus(const QString& text) override {
        FrmXmodem::setStatus(text);
        mark.seen(text);
    }

    TransferMark mark;
};

struct Run {
    QString problem;    // empty: the file arrived intact
    double seconds = 0; // until rx ended
    double handshakeSeconds = 0;
    CpuShare cpu;  // this process over `seconds`
    CpuShare line; // first byte to EOT on the line, and this process's CPU meanwhile
    double fromFirstByteSeconds = 0; // the sender's first byte on the line until rx ended
};

// The sender's first byte to its EOT, from what the watch saw.
bool takeLineTime(const LineWatch& watch, const Mark& rxEnd, Run& run) {
    if (!watch.first.taken() || !watch.last.taken() || watch.last.ns <= watch.first.ns)
        return false;
    run.fromFirstByteSeconds = static_cast<double>(rxEnd.ns - watch.first.ns) / 1e9;
    run.line.wallSeconds = static_cast<double>(watch.last.ns - watch.first.ns) / 1e9;
    run.line.cpuSeconds = watch.last.cpu - watch.first.cpu;
    return true;
}

Run referenceRun(const QString& portsDir, const QString& sourcePath, const QByteArray& source) {
    Run run;
    test::PtyBridge line(portsDir, kCom);
    QTemporaryDir rxFolder;
    if (!line.ok() || !rxFolder.isValid()) {
        run.problem = kNoLine;
        return run;
    }
    QElapsedTimer clock;
    clock.start();
    LineWatch watch(line, clock);
    Mark rxEnd;
    QProcess sx;
    QProcess rx;
    attach(sx, line.programDevice(), QFileInfo(sourcePath).absolutePath());
    attach(rx, line.peerDevice(), rxFolder.path());
    QObject::connect(&rx, &QProcess::finished, &rx, [&] {
        rxEnd.take(clock);
        watch.freeze();
    });

    watch.restart();
    const double cpuBefore = cpuSeconds();
    const qint64 startNs = clock.nsecsElapsed();
    // The sender first: rx's first "C" then finds it listening.
    sx.start(QStringLiteral("sx"), {QStringLiteral("-q"), sourcePath});
    rx.start(QStringLiteral("rx"),
             {QStringLiteral("-c"), QStringLiteral("-q"), QStringLiteral("ref.Epr")});
    const bool rxEnded = waitForEnd(rx, kRunLimitMs) && rxEnd.taken();
    if (!rxEnded) {
        run.problem =
            QStringLiteral("rx still running after %1").arg(secondsText(kRunLimitMs / 1000.0));
    } else {
        run.seconds = static_cast<double>(rxEnd.ns - startNs) / 1e9;
        run.cpu = {run.seconds, rxEnd.cpu - cpuBefore};
        run.problem = exitProblem(rx, QStringLiteral("rx"));
        if (run.problem.isEmpty() && !takeLineTime(watch, rxEnd, run))
            run.problem = QStringLiteral("the sender's bytes were not seen on the line");
        if (run.problem.isEmpty())
            run.problem = receivedProblem(source, rxFolder.filePath(QStringLiteral("ref.Epr")));
    }
    // sx may still be waiting for rx's answer to EOT: rx flushes its terminal
    // as it exits, and over the bridge that answer is sometimes gone before it
    // is relayed. rx's file says all there is to say about the transfer.
    endProcess(sx);
    endProcess(rx);
    return run;
}

// One of the program's uploads against rx behind the gate: the line, the
// clock, the watch on the line and when rx ended.
struct GatedLine {
    GatedLine(const QString& portsDir, int passes) : line(portsDir, kCom), watch(line, clock) {
        clock.start();
        gate = std::make_unique<test::RxGate>(line.peerDevice(), rxFolder.path(), passes);
        QObject::connect(&gate->rx, &QProcess::finished, &gate->rx, [this] {
            rxEnd.take(clock);
            watch.freeze();
        });
    }
    bool ok() const { return line.ok() && rxFolder.isValid(); }
    bool rxEnded() { return gate->waitForRx(kRunLimitMs) && rxEnd.taken(); }
    // Sends; a run still going at the limit is stopped with `stop` (only a
    // stuck one gets there). True when rx ended.
    bool sendWithinLimit(const std::function<void()>& send, const std::function<void()>& stop) {
        QTimer stuck;
        stuck.setSingleShot(true);
        QObject::connect(&stuck, &QTimer::timeout, &stuck, stop);
        stuck.start(kRunLimitMs);
        send();
        const bool ended = rxEnded();
        stuck.stop();
        return ended;
    }

    // The figures of a run that reached the transfer at `start` and whose rx
    // ended; `run.problem` already set by the sender is kept.
    void conclude(Run& run, const Mark& start, const QByteArray& source) const {
        run.handshakeSeconds = static_cast<double>(start.ns) / 1e9;
        run.seconds = static_cast<double>(rxEnd.ns - start.ns) / 1e9;
        run.cpu = {run.seconds, rxEnd.cpu - start.cpu};
        if (run.problem.isEmpty())
            run.problem = exitProblem(gate->rx, QStringLiteral("rx"));
        if (run.problem.isEmpty() && !takeLineTime(watch, rxEnd, run))
            run.problem = QStringLiteral("the upload's bytes were not seen on the line");
        if (run.problem.isEmpty())
            run.problem = receivedProblem(source, rxFolder.filePath(QStringLiteral("prog.Epr")));
    }

    // An upload of the program's own: what it showed at the end (boxes: the
    // error boxes it raised, or empty) and what rx holds.
    void judge(Run& run, const Mark& start, bool rxEnded, const QString& status,
               const QString& boxes, const QByteArray& source) const {
        if (!start.taken()) {
            run.problem = QStringLiteral("the first block was never asked for");
        } else if (!rxEnded) {
            run.problem =
                QStringLiteral("rx still running after the upload (status \"%1\")").arg(status);
        } else {
            if (!uploadSucceeded(status))
                run.problem = QStringLiteral("status \"%1\"").arg(status);
            else if (!boxes.isEmpty())
                run.problem = QStringLiteral("the upload showed: ") + boxes;
            conclude(run, start, source);
        }
    }

    test::PtyBridge line;
    QTemporaryDir rxFolder;
    QElapsedTimer clock;
    LineWatch watch;
    Mark rxEnd;
    std::unique_ptr<test::RxGate> gate;
};

Run ourRun(const QString& portsDir, const QString& sourcePath, const QByteArray& source) {
    Run run;
    GatedLine gated(portsDir, 1);
    if (!gated.ok()) {
        run.problem = kNoLine;
        return run;
    }
    UploadRig rig(portsDir, sourcePath, gated.clock, kCom, QString::fromLatin1(kTransferSettings));
    // The handshake's bytes are not the transfer.
    rig.view.mark.onTransferring = [&gated] { gated.watch.restart(); };
    const bool rxEnded =
        gated.sendWithinLimit([&rig] { rig.upload.run(); }, [&rig] { rig.stop(); });

    gated.judge(run, rig.view.mark.transferring, rxEnded, rig.view.status(),
                rig.dialogs.messages.isEmpty() ? QString() : rig.shownErrors(), source);
    return run;
}

// The upload as the user starts it: ENVIAR in the main window, shown, with
// the program file and port typed into its fields.
Run windowRun(const QString& portsDir, const QString& sourcePath, const QByteArray& source) {
    Run run;
    GatedLine gated(portsDir, 1);
    if (!gated.ok()) {
        run.problem = kNoLine;
        return run;
    }
    TimedWindow* window = nullptr;
    WindowRig rig(portsDir, [&](Session& session) {
        auto made = std::make_unique<TimedWindow>(session, gated.clock);
        window = made.get();
        return made;
    });
    window->formLoad();
    window->findChild<QLineEdit*>(QStringLiteral("Text4"))->setText(QString::number(kCom));
    window->findChild<QLineEdit*>(QStringLiteral("Text6"))->setText(sourcePath);
    window->show();
    // Mapped and drawn once, as on the user's screen, before the clock matters.
    idleFor(300);
    const qsizetype boxesBefore = rig.dialogs().messages.size();
    window->mark.onTransferring = [&gated] { gated.watch.restart(); };
    const bool rxEnded =
        gated.sendWithinLimit([window] { window->execute(Command::SendProgram); },
                              [window] { window->execute(Command::CancelTransfer); });

    gated.judge(run, window->mark.transferring, rxEnded, window->status(),
                rig.dialogs().messages.size() == boxesBefore ? QString() : rig.shownErrors(),
                source);
    return run;
}

// The command-line uploader, a child process on the same arrangement: its
// "TRANSFERINDO" line on stderr stands where the window's status line does.
// The gate hands over after the second "1", into a quiet second of the
// handshake, so rx never starts on a start command it would take for noise.
Run cliRun(const QString& portsDir, const QString& sourcePath, const QByteArray& source) {
    Run run;
    GatedLine gated(portsDir, 2);
    if (!gated.ok()) {
        run.problem = kNoLine;
        return run;
    }
    Mark start;
    QProcess cli;
    QByteArray said;
    QObject::connect(&cli, &QProcess::readyReadStandardError, &cli, [&] {
        said += cli.readAllStandardError();
        if (!start.taken() && said.contains("TRANSFERINDO")) {
            start.take(gated.clock);
            gated.watch.restart();
        }
    });
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QUILLON_PORTS"), portsDir);
    cli.setProcessEnvironment(environment);
    cli.start(uploaderPath(),
              {QStringLiteral("--port"), QString::number(kCom), QStringLiteral("--settings"),
               QString::fromLatin1(kTransferSettings), sourcePath});
    const bool cliEnded = waitForEnd(cli, kRunLimitMs);
    const bool rxEnded = gated.rxEnded();
    said += cli.readAllStandardError();
    if (!cliEnded) {
        run.problem = QStringLiteral("quillon-upload still running after %1")
                          .arg(secondsText(kRunLimitMs / 1000.0));
    } else if (cli.exitStatus() != QProcess::NormalExit || cli.exitCode() != 0) {
        run.problem = QStringLiteral("quillon-upload exited with %1: %2")
                          .arg(cli.exitCode())
                          .arg(QString::fromLocal8Bit(said.trimmed()));
    } else if (!start.taken()) {
        run.problem = QStringLiteral("quillon-upload never said TRANSFERINDO");
    } else if (!rxEnded) {
        run.problem = QStringLiteral("rx still running after the upload");
    } else {
        gated.conclude(run, start, source);
    }
    endProcess(cli);
    return run;
}

struct SilentHandshake {
    bool ran = false;
    CpuShare cpu;
    qsizetype passes = 0; // the "1"s that reached the line
    QString problem;
};

// The upload command on a line where nobody answers, stopped the way the
// user's stop does it, after `ms`.
SilentHandshake silentHandshake(const QString& portsDir, const QString& sourcePath, int ms) {
    SilentHandshake outcome;
    test::PtyPeer peer(portsDir, kCom);
    if (!peer.ok()) {
        outcome.problem = QStringLiteral("no pseudo-terminals here");
        return outcome;
    }
    QElapsedTimer clock;
    clock.start();
    UploadRig rig(portsDir, sourcePath, clock, kCom, QString::fromLatin1(kTransferSettings));
    QTimer stop;
    stop.setSingleShot(true);
    QObject::connect(&stop, &QTimer::timeout, &stop,
                     [&rig] { rig.session.transfer.transferStop = true; });
    stop.start(ms);
    outcome.cpu = measureCpu([&rig] { rig.upload.run(); });
    outcome.ran = true;
    outcome.passes = peer.received().count('1');
    if (rig.view.mark.transferring.taken())
        outcome.problem = QStringLiteral("a silent line was taken for a request");
    else if (!rig.dialogs.messages.isEmpty())
        outcome.problem = QStringLiteral("the handshake showed: ") + rig.shownErrors();
    return outcome;
}

QString seriesText(const std::vector<double>& values, int decimals) {
    QStringList texts;
    for (double value : values)
        texts.append(QString::number(value, 'f', decimals));
    return texts.join(QStringLiteral(", "));
}

// lrzsz stops at the last data block; the program always closes with one
// more, of padding only when the size is a whole number of blocks.
qsizetype lrzszBlocks(qsizetype bytes) {
    return (bytes + xmodem::kDataSize - 1) / xmodem::kDataSize;
}

struct Series {
    std::vector<double> seconds;
    std::vector<double> lineSeconds;
    std::vector<double> handshakeSeconds;
    std::vector<double> cpuPercent;
    std::vector<double> lineCpuPercent;
    std::vector<double> fromFirstByteSeconds;
    QStringList problems;
    void add(const Run& run) {
        if (!run.problem.isEmpty()) {
            problems.append(run.problem);
            return;
        }
        seconds.push_back(run.seconds);
        lineSeconds.push_back(run.line.wallSeconds);
        handshakeSeconds.push_back(run.handshakeSeconds);
        cpuPercent.push_back(run.cpu.percent());
        lineCpuPercent.push_back(run.line.percent());
        fromFirstByteSeconds.push_back(run.fromFirstByteSeconds);
    }
};

// 0 when either side has no figure.
double ratioOf(const std::vector<double>& ours, const std::vector<double>& reference) {
    if (ours.empty() || reference.empty() || !(median(reference) > 0))
        return 0;
    return median(ours) / median(reference);
}

// The fastest runs: rx now and then throws a block away and waits out its own
// timeout (6 to 14 s), which says nothing about the sender.
double ratioOfBest(const std::vector<double>& ours, const std::vector<double>& reference) {
    if (ours.empty() || reference.empty())
        return 0;
    const double best = *std::min_element(reference.begin(), reference.end());
    return best > 0 ? *std::min_element(ours.begin(), ours.end()) / best : 0;
}

QString medianText(const std::vector<double>& seconds) {
    if (seconds.empty())
        return QStringLiteral("n/a");
    return QStringLiteral("%1 (%2 s)").arg(secondsText(median(seconds)), seriesText(seconds, 3));
}

QString lineText(const std::vector<double>& seconds, qsizetype blocks) {
    if (seconds.empty() || blocks <= 0)
        return QStringLiteral("n/a (%1 blocks)").arg(blocks);
    return QStringLiteral("%1 = %2 us/block (%3 blocks)")
        .arg(medianText(seconds))
        .arg(median(seconds) * 1e6 / static_cast<double>(blocks), 0, 'f', 0)
        .arg(blocks);
}

QString percentText(const std::vector<double>& percents) {
    if (percents.empty())
        return QStringLiteral("n/a");
    return QStringLiteral("%1 % (%2 %)")
        .arg(median(percents), 0, 'f', 1)
        .arg(seriesText(percents, 1));
}

QString ratioGoalText(double ratio, double goal = kGoalRatio) {
    if (!(ratio > 0))
        return QStringLiteral("n/a");
    return QStringLiteral("%1 (goal <= %2: %3)")
        .arg(ratio, 0, 'f', 2)
        .arg(goal, 0, 'f', 2)
        .arg(goalText(ratio <= goal));
}

using Sender = Run (*)(const QString& portsDir, const QString& sourcePath,
                       const QByteArray& source);

// Runs alternate between the two senders, so a busy spell on the machine hits
// both alike; a failed run of ours ends the series, since a stuck upload would
// only stack up its time limits.
void alternate(int runs, const UploadGround& ground, Sender ourSender, Series& ours,
               Series& reference) {
    for (int i = 0; i < runs; ++i) {
        reference.add(referenceRun(ground.ports.dir(), ground.path, ground.source));
        ours.add(ourSender(ground.ports.dir(), ground.path, ground.source));
        if (!ours.problems.isEmpty())
            break;
    }
}

} // namespace

void measureUpload(const Options& options, const CpuShare& idleReference, Findings& findings) {
    const UploadGround ground(options.uploadBytes);
    const QString sizeText = QStringLiteral("%1 KiB").arg(options.uploadBytes / 1024);

    Series ours;
    Series reference;
    if (groundReady(ground, QStringLiteral("upload_time"), findings)) {
        alternate(kRuns, ground, ourRun, ours, reference);
        const double ratio = ratioOf(ours.seconds, reference.seconds);
        const double lineRatio = ratioOf(ours.lineSeconds, reference.lineSeconds);
        const qsizetype ourBlocks = xmodem::blockCount(options.uploadBytes).value_or(0);
        const qsizetype theirBlocks = lrzszBlocks(options.uploadBytes);
        findings.say(QStringLiteral("upload_time: %1 pseudo-random, %2 alternating runs each, "
                                    "medians; until rx ended: ours %3 from TRANSFERINDO, lrzsz "
                                    "sx -> rx -c %4 from starting both; ratio ours/reference %5")
                         .arg(sizeText)
                         .arg(kRuns)
                         .arg(medianText(ours.seconds), medianText(reference.seconds),
                              ratioGoalText(ratio)));
        findings.say(QStringLiteral("upload_line: the same runs from the sender's first byte "
                                    "to its EOT on the line (without rx's 1 s check after EOT, "
                                    "which every run above includes): ours %1, lrzsz %2; ratio "
                                    "ours/reference %3")
                         .arg(lineText(ours.lineSeconds, ourBlocks),
                              lineText(reference.lineSeconds, theirBlocks),
                              ratioGoalText(lineRatio)));
        findings.say(QStringLiteral("upload_handshake: start of the upload until TRANSFERINDO: "
                                    "%1; the controller's pace (one pass a second), not "
                                    "transfer speed")
                         .arg(medianText(ours.handshakeSeconds)));
        for (const QString& problem : std::as_const(reference.problems))
            findings.say(QStringLiteral("  lrzsz reference run failed (not counted against "
                                        "the program): ") +
                         problem);
        // rx -c flushes its terminal right after each ACK and now and then loses that
        // ACK with it: a failed run is a figure here; correctness is the tests' business.
        for (const QString& problem : std::as_const(ours.problems))
            findings.say(QStringLiteral("  upload run failed: ") + problem);
        if (ratio > kBadlyOffRatio || lineRatio > kBadlyOffRatio)
            findings.flag(QStringLiteral("upload took %1 times as long as lrzsz (%2 on the line)")
                              .arg(ratio, 0, 'f', 2)
                              .arg(lineRatio, 0, 'f', 2));
    }

    const SilentHandshake waiting =
        silentHandshake(ground.ports.dir(), ground.path, options.silentHandshakeMs);
    const QString waitingText =
        waiting.ran ? QStringLiteral("%1, %2 passes (goal <= %3 %: %4)")
                          .arg(shareText(waiting.cpu))
                          .arg(waiting.passes)
                          .arg(kWaitingGoalPercent, 0, 'f', 0)
                          .arg(goalText(waiting.cpu.percent() <= kWaitingGoalPercent))
                    : QStringLiteral("skipped");
    findings.say(QStringLiteral("upload_cpu: handshake on a silent line, stopped after %1 ms: "
                                "%2; sending, first byte to EOT: %3 (TRANSFERINDO until rx "
                                "ended: %4); the pty bridge alone over the lrzsz runs: %5 "
                                "(both include it, it runs in this process); plain event loop "
                                "reference: %6")
                     .arg(options.silentHandshakeMs)
                     .arg(waitingText, percentText(ours.lineCpuPercent),
                          percentText(ours.cpuPercent), percentText(reference.lineCpuPercent),
                          shareText(idleReference)));
    if (!waiting.problem.isEmpty())
        findings.say(QStringLiteral("  silent-line handshake: ") + waiting.problem);
    if (waiting.ran && waiting.cpu.percent() > kWaitingBadlyOffPercent)
        findings.flag(QStringLiteral("the start handshake used %1 % CPU while waiting")
                          .arg(waiting.cpu.percent(), 0, 'f', 1));
}

void measureCliUpload(const Options& options, Findings& findings) {
    const UploadGround ground(options.uploadBytes);
    if (!groundReady(ground, QStringLiteral("cli_upload"), findings))
        return;
    if (!QFileInfo(uploaderPath()).isExecutable()) {
        findings.say(QStringLiteral("cli_upload: skipped, no quillon-upload at ") + uploaderPath());
        return;
    }
    Series ours;
    Series reference;
    // A smoke run only asks whether it works; an rx stall costs up to 14 s a run.
    const int runs = options.quick ? 1 : kRuns;
    alternate(runs, ground, cliRun, ours, reference);
    const double ratio = ratioOf(ours.seconds, reference.seconds);
    const double lineRatio = ratioOf(ours.lineSeconds, reference.lineSeconds);
    const double bestRatio = ratioOfBest(ours.seconds, reference.seconds);
    const double bestLineRatio = ratioOfBest(ours.lineSeconds, reference.lineSeconds);
    findings.say(QStringLiteral("cli_upload_time: quillon-upload, %1 KiB pseudo-random, %2 "
                                "alternating runs each, until rx ended: quillon-upload %3 from "
                                "its TRANSFERINDO line, lrzsz sx -> rx -c %4; ratio of the "
                                "medians %5, of the fastest runs %6")
                     .arg(options.uploadBytes / 1024)
                     .arg(runs)
                     .arg(medianText(ours.seconds), medianText(reference.seconds),
                          ratioGoalText(ratio, kCliGoalRatio),
                          ratioGoalText(bestRatio, kCliGoalRatio)));
    findings.say(
        QStringLiteral("cli_upload_line: first byte after TRANSFERINDO to EOT on the "
                       "line: quillon-upload %1, lrzsz %2; ratio of the medians %3, of "
                       "the fastest runs %4")
            .arg(lineText(ours.lineSeconds, xmodem::blockCount(options.uploadBytes).value_or(0)),
                 lineText(reference.lineSeconds, lrzszBlocks(options.uploadBytes)),
                 ratioGoalText(lineRatio, kCliGoalRatio),
                 ratioGoalText(bestLineRatio, kCliGoalRatio)));
    for (const QString& problem : std::as_const(reference.problems))
        findings.say(QStringLiteral("  lrzsz reference run failed (not counted against "
                                    "the program): ") +
                     problem);
    for (const QString& problem : std::as_const(ours.problems))
        findings.flag(QStringLiteral("quillon-upload to rx did not arrive intact: ") + problem);
    // One smoke run may meet one of rx's stalls; only the full runs judge speed.
    if (!options.quick && bestRatio > kBadlyOffRatio)
        findings.flag(QStringLiteral("quillon-upload took %1 times as long as lrzsz")
                          .arg(bestRatio, 0, 'f', 2));
}

void measureWindowUpload(const Options& options, Findings& findings) {
    const UploadGround ground(options.uploadBytes);
    if (!groundReady(ground, QStringLiteral("upload_window"), findings))
        return;
    Series ours;
    Series reference;
    alternate(kRuns, ground, windowRun, ours, reference);
    const qsizetype blocks = xmodem::blockCount(options.uploadBytes).value_or(0);
    findings.say(
        QStringLiteral("upload_window: %1 bytes from the main window (QPA %2, accessibility "
                       "bridge %3), %4 alternating runs each; the sender's first byte on the "
                       "line until rx -c ended (its 1 s end check included): window %5, lrzsz "
                       "sx %6; ratio of the medians %7, of the fastest runs %8")
            .arg(options.uploadBytes)
            .arg(QApplication::platformName(),
                 QAccessible::isActive() ? QStringLiteral("on") : QStringLiteral("off"))
            .arg(kRuns)
            .arg(medianText(ours.fromFirstByteSeconds), medianText(reference.fromFirstByteSeconds),
                 ratioGoalText(ratioOf(ours.fromFirstByteSeconds, reference.fromFirstByteSeconds)),
                 ratioGoalText(
                     ratioOfBest(ours.fromFirstByteSeconds, reference.fromFirstByteSeconds))));
    findings.say(QStringLiteral("upload_window_line: first byte to EOT: window %1, lrzsz %2; "
                                "this process's CPU meanwhile: window %3, lrzsz (the pty "
                                "bridge only) %4")
                     .arg(lineText(ours.lineSeconds, blocks),
                          lineText(reference.lineSeconds, lrzszBlocks(options.uploadBytes)),
                          percentText(ours.lineCpuPercent), percentText(reference.lineCpuPercent)));
    for (const QString& problem : std::as_const(reference.problems))
        findings.say(QStringLiteral("  lrzsz reference run failed (not counted against "
                                    "the program): ") +
                     problem);
    for (const QString& problem : std::as_const(ours.problems))
        findings.say(QStringLiteral("  window upload run failed: ") + problem);
}

void measureAccessibleUpload(const Options& options, Findings& findings) {
    if (qEnvironmentVariableIsEmpty("DISPLAY") ||
        qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) {
        findings.say(QStringLiteral("upload_accessibility: skipped, needs an X display and a "
                                    "D-Bus session bus (xvfb-run -a dbus-run-session -- "
                                    "quillon-bench --upload-only)"));
        return;
    }
    // A desktop session starts the accessibility bus at login; Qt only joins
    // a running one, so a bare session bus gets it started here.
    QProcess busStart;
    busStart.start(QStringLiteral("dbus-send"),
                   {QStringLiteral("--session"), QStringLiteral("--print-reply"),
                    QStringLiteral("--dest=org.a11y.Bus"), QStringLiteral("/org/a11y/bus"),
                    QStringLiteral("org.a11y.Bus.GetAddress")});
    if (!waitForEnd(busStart, 10000) || busStart.exitCode() != 0) {
        endProcess(busStart);
        findings.say(QStringLiteral("upload_accessibility: skipped, no accessibility bus on "
                                    "the session (apt-get install at-spi2-core dbus-bin)"));
        return;
    }
    for (const bool accessible : {false, true}) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        // As under a screen reader: the bridge sends every change to the bus.
        if (accessible)
            environment.insert(QStringLiteral("QT_LINUX_ACCESSIBILITY_ALWAYS_ON"),
                               QStringLiteral("1"));
        else
            environment.remove(QStringLiteral("QT_LINUX_ACCESSIBILITY_ALWAYS_ON"));
        QProcess child;
        child.setProcessEnvironment(environment);
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--window-upload-child"), QStringLiteral("--upload-bytes"),
                     QString::number(options.uploadBytes)});
        const QString side = accessible ? QStringLiteral("[accessibility on] ")
                                        : QStringLiteral("[accessibility off] ");
        // Every run may meet one of rx's stalls, and a stuck one its limit.
        const bool ended = waitForEnd(child, 2 * kRuns * (kRunLimitMs + 20000));
        const QStringList lines = QString::fromLocal8Bit(child.readAllStandardOutput())
                                      .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        for (const QString& line : lines)
            if (!line.startsWith(QLatin1String("quillon-bench")))
                findings.say(side + line);
        if (!ended || child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0)
            findings.flag(side + QStringLiteral("the window's upload bench did not finish"));
        endProcess(child);
    }
}

namespace {

constexpr char kNoisyRateVariable[] = "QUILLON_NOISY_RATE";
constexpr char kNoisyRunsVariable[] = "QUILLON_NOISY_RUNS";
constexpr int kNoisyShards = 8;
// Small programs keep 5,000 runs within minutes; the blocks are what the noise hits.
constexpr int kNoisyMaxSize = 2000;

} // namespace

bool runNoisyShardIfAsked() {
    if (!qEnvironmentVariableIsSet(test::kNoisyShardVariable))
        return false;
    const double rate = qEnvironmentVariable(kNoisyRateVariable).toDouble();
    test::runNoisyShard(qEnvironmentVariableIntValue(kNoisyRunsVariable), [rate](int run) {
        test::NoisyRun noisy;
        noisy.seed = 50000u + static_cast<quint32>(run);
        noisy.rate = rate;
        noisy.maxSize = kNoisyMaxSize;
        return noisy;
    });
    return true;
}

void measureNoisyUploads(const Options& options, Findings& findings) {
    if (options.noisyRuns <= 0)
        return;
    for (const double rate : {1e-4, 1e-3, 3e-3}) {
        QElapsedTimer clock;
        clock.start();
        QProcessEnvironment environment;
        environment.insert(QLatin1String(kNoisyRateVariable), QString::number(rate, 'g', 17));
        environment.insert(QLatin1String(kNoisyRunsVariable), QString::number(options.noisyRuns));
        const test::NoisyTally tally = test::runNoisyShards(QCoreApplication::applicationFilePath(),
                                                            {}, kNoisyShards, environment);
        findings.say(
            QStringLiteral("upload_noisy: 1 corrupted byte in %1 each way (plus drops "
                           "and duplicates, split and held chunks), %2 uploads of up "
                           "to %3 bytes to the simulator's loader, %4 side by side: "
                           "%5 % completed (goal at 1 in 1000: >= 99 %), %6 false "
                           "successes (goal 0), %7")
                .arg(1 / rate, 0, 'f', 0)
                .arg(tally.runs)
                .arg(kNoisyMaxSize)
                .arg(kNoisyShards)
                .arg(tally.runs > 0 ? 100.0 * tally.successes / tally.runs : 0.0, 0, 'f', 2)
                .arg(tally.problems.size())
                .arg(secondsText(static_cast<double>(clock.elapsed()) / 1000.0)));
        if (tally.childrenFailed || tally.runs != options.noisyRuns)
            findings.flag(QStringLiteral("noisy uploads: %1 of %2 runs reported: ")
                              .arg(tally.runs)
                              .arg(options.noisyRuns) +
                          tally.childOutput.right(2000));
        for (const QString& problem : std::as_const(tally.problems))
            findings.flag(QStringLiteral("noisy upload: ") + problem);
    }
}

} // namespace quillon::bench
