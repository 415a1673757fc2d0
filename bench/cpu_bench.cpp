#include "bench/bench_support.h"

#include "core/edition.h"
#include "core/wait.h"
#include "platform/port_map.h"
#include "platform/qt_serial_port.h"
#include "tests/support/pty_peer.h"

#include <QWindow>

namespace quillon::bench {

namespace {

constexpr double kBadlyOffPercent = 20.0;
// Below this the reference used too little CPU for a ratio to mean anything.
constexpr double kReferenceFloorSeconds = 0.00005;

QString overReference(const CpuShare& share, const CpuShare& reference) {
    if (reference.cpuSeconds < kReferenceFloorSeconds)
        return QStringLiteral("n/a (reference under 0.05 ms CPU)");
    return ratioText(share.cpuSeconds, reference.cpuSeconds);
}

} // namespace

CpuShare measureWaitingCpu(const Options& options, Findings& findings) {
    const int ms = options.idleMs;
    const CpuShare reference = measureCpu([ms] { idleFor(ms); });

    IsolatedPorts ports;
    test::FakeDialogs dialogs;
    Session session(fullEdition(), ports.dir(), dialogs, qtPortFactory(PortMap(ports.dir())));
    const CpuShare waiting = measureCpu([&] { session.waiter.waitMs(ms); });

    test::PtyPeer peer(ports.dir(), 1);
    CpuShare terminal;
    bool terminalRan = false;
    if (ports.ok() && peer.ok()) {
        WindowRig rig(ports.dir());
        rig.window().formLoad();
        rig.window().show();
        rig.session().settings.portNumber = QStringLiteral("1");
        rig.window().execute(Command::Terminal);
        terminalRan = rig.session().link.terminalMode;
        if (terminalRan) {
            // Let the maximise and first paint settle so only the idle state is timed.
            waitUntil(
                [&] {
                    return rig.window().windowHandle() && rig.window().windowHandle()->isExposed();
                },
                2000);
            idleFor(200);
            terminal = measureCpu([ms] { idleFor(ms); });
        } else {
            findings.flag(QStringLiteral("terminal mode did not come on: ") + rig.shownErrors());
        }
    }

    findings.say(
        QStringLiteral("cpu_waiting: waitMs(%1): %2; idle terminal: %3; plain event "
                       "loop reference: %4; ratio over reference: wait %5, terminal %6")
            .arg(ms)
            .arg(shareText(waiting), terminalRan ? shareText(terminal) : QStringLiteral("skipped"),
                 shareText(reference), overReference(waiting, reference),
                 terminalRan ? overReference(terminal, reference) : QStringLiteral("n/a")));
    if (waiting.percent() > kBadlyOffPercent)
        findings.flag(QStringLiteral("waitMs used %1 % CPU").arg(waiting.percent(), 0, 'f', 1));
    if (terminalRan && terminal.percent() > kBadlyOffPercent)
        findings.flag(
            QStringLiteral("idle terminal used %1 % CPU").arg(terminal.percent(), 0, 'f', 1));
    return reference;
}

} // namespace quillon::bench
