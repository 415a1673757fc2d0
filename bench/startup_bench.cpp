#include "bench/bench_support.h"

#include "core/port_probe.h"
#include "core/wait.h"
#include "platform/port_map.h"
#include "platform/qt_serial_port.h"
#include "tests/support/pty_peer.h"

#include <QElapsedTimer>

#include <memory>
#include <vector>

namespace quillon::bench {

namespace {

// Far beyond any real machine's ports; a probe that stalls on the missing ones
// shows up here.
constexpr int kProbeCount = 5000;
constexpr int kFreePorts = 4;
constexpr int kModemPort = kFreePorts + 1;
constexpr double kProbeBadlyOffSeconds = 2.0;

double timeProbe(const QString& portsDir, QVector<int>& status) {
    QElapsedTimer clock;
    clock.start();
    status = PortProbe(qtPortFactory(PortMap(portsDir))).run(kProbeCount);
    return static_cast<double>(clock.nsecsElapsed()) / 1e9;
}

// Which COM numbers came out other than the peers make them.
QString wrongStatuses(const QVector<int>& status, bool withPeers) {
    QStringList wrong;
    for (int com = 1; com < status.size() && wrong.size() < 5; ++com) {
        // A port that did not open keeps its open error, which lists it as absent.
        const bool listed = status[com] == PortStatus::Free || status[com] == PortStatus::Modem ||
                            status[com] == PortStatus::InUse;
        if (withPeers && com <= kFreePorts && status[com] != PortStatus::Free)
            wrong.append(QStringLiteral("COM%1=%2 (expected free)").arg(com).arg(status[com]));
        else if (withPeers && com == kModemPort && status[com] != PortStatus::Modem)
            wrong.append(QStringLiteral("COM%1=%2 (expected modem)").arg(com).arg(status[com]));
        else if ((!withPeers || com > kModemPort) && listed)
            wrong.append(QStringLiteral("COM%1=%2 (expected absent)").arg(com).arg(status[com]));
    }
    return wrong.join(QStringLiteral(", "));
}

} // namespace

void measureStartup(const Options& /*options*/, Findings& findings) {
    // The probe is meant to cost one quiet-line wait, so that wait, timed here
    // with the same waiter the program uses, is the yardstick.
    Waiter waiter;
    QElapsedTimer quietClock;
    quietClock.start();
    waiter.waitMs(PortProbe::kQuietMs);
    const double quiet = static_cast<double>(quietClock.nsecsElapsed()) / 1e9;

    IsolatedPorts ports;
    if (!ports.ok()) {
        findings.say(QStringLiteral("startup_ports: skipped, no temporary ports folder"));
        return;
    }
    QVector<int> noneStatus;
    const double none = timeProbe(ports.dir(), noneStatus);

    std::vector<std::unique_ptr<test::PtyPeer>> peers;
    for (int com = 1; com <= kModemPort; ++com)
        peers.push_back(std::make_unique<test::PtyPeer>(ports.dir(), com));
    for (const auto& peer : peers) {
        if (!peer->ok()) {
            findings.say(QStringLiteral("startup_ports: skipped, no pseudo-terminals here"));
            return;
        }
    }
    test::answerLikeModem(*peers.back());

    QVector<int> busyStatus;
    const double busy = timeProbe(ports.dir(), busyStatus);

    findings.say(
        QStringLiteral("startup_ports: %1 free + 1 modem: %2; no ports: %3; "
                       "ratio over one quiet-line wait (%4): %5")
            .arg(kFreePorts)
            .arg(secondsText(busy), secondsText(none), secondsText(quiet), ratioText(busy, quiet)));
    if (const QString wrong = wrongStatuses(busyStatus, true); !wrong.isEmpty())
        findings.flag(QStringLiteral("probe with ports misjudged: ") + wrong);
    if (const QString wrong = wrongStatuses(noneStatus, false); !wrong.isEmpty())
        findings.flag(QStringLiteral("probe without ports misjudged: ") + wrong);
    if (busy > kProbeBadlyOffSeconds)
        findings.flag(QStringLiteral("probe with ports took %1").arg(secondsText(busy)));
    if (none > kProbeBadlyOffSeconds)
        findings.flag(QStringLiteral("probe without ports took %1").arg(secondsText(none)));

    WindowRig rig(ports.dir());
    QElapsedTimer loadClock;
    loadClock.start();
    rig.window().formLoad();
    const double load = static_cast<double>(loadClock.nsecsElapsed()) / 1e9;
    findings.say(QStringLiteral("startup_form_load: settings file + %1 free + 1 modem: %2; "
                                "ratio over one quiet-line wait: %3; over the bare probe: %4")
                     .arg(kFreePorts)
                     .arg(secondsText(load), ratioText(load, quiet), ratioText(load, busy)));
    if (const QString wrong = wrongStatuses(rig.window().portStatus(), true); !wrong.isEmpty())
        findings.flag(QStringLiteral("form load misjudged the ports: ") + wrong);
    if (load > kProbeBadlyOffSeconds)
        findings.flag(QStringLiteral("form load took %1").arg(secondsText(load)));
    if (const QString errors = rig.shownErrors(); !errors.isEmpty())
        findings.flag(QStringLiteral("form load showed errors: ") + errors);
}

} // namespace quillon::bench
