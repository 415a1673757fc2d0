#include "bench/bench_support.h"

#include "modbus/frm_modbus.h"
#include "modbus/modbus_frame.h"
#include "platform/port_map.h"
#include "platform/qt_serial_port.h"
#include "tests/support/pty_peer.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTimer>

namespace quillon::bench {

namespace {

constexpr double kBadlyOffPercent = 20.0;
// The window's pacing: one read right after the write, one more a second later.
constexpr double kPacedRequestsPerMinute = 30.0;

struct PollRun {
    qsizetype requests = 0;
    qsizetype replies = 0;
    // When each whole request reached the slave, by its clock.
    QList<qint64> requestTimes;
    CpuShare cpu;
    // The pace between the first and the last request, free of where the run was cut.
    double perMinute() const {
        if (requestTimes.size() < 2 || requestTimes.last() == requestTimes.first())
            return 0;
        return 60000.0 * static_cast<double>(requestTimes.size() - 1) /
               static_cast<double>(requestTimes.last() - requestTimes.first());
    }
};

// Polls with the window's defaults on COM1 for the given time; the peer answers or not.
PollRun poll(const QString& portsDir, bool answer, const QString& timeout, int runMs) {
    PollRun run;
    test::PtyPeer peer(portsDir, 1);
    if (!peer.ok())
        return run;
    const QByteArray reply = [] {
        QByteArray bytes = QByteArray::fromHex("01030203E8");
        return bytes + modbus::calcularCrc(bytes);
    }();
    qsizetype received = 0;
    peer.onReceive = [&](test::PtyPeer& p, const QByteArray& bytes) {
        received += bytes.size();
        while (received >= 8 * (run.requestTimes.size() + 1)) {
            run.requestTimes << p.elapsedMs();
            if (answer)
                p.write(reply);
        }
    };
    test::FakeDialogs dialogs;
    Session session(fullEdition(), portsDir, dialogs, qtPortFactory(PortMap(portsDir)));
    const std::unique_ptr<SerialPort> port = session.portFactory();
    port->setPortNumber(1);
    if (port->open() != 0)
        return run;
    FrmModBus window(session, *port);
    window.show();
    window.findChild<QLineEdit*>(QStringLiteral("TxtTimeout"))->setText(timeout);
    QTimer::singleShot(runMs, &window, [&window] { window.close(); });
    run.cpu = measureCpu([&window] { window.cmdIniciarClick(); });
    const QString log =
        window.findChild<QPlainTextEdit*>(QStringLiteral("TxtModBus"))->toPlainText();
    run.requests = log.count(QStringLiteral("TX:"));
    run.replies = log.count(QStringLiteral("RX:"));
    return run;
}

} // namespace

void measureModbus(const Options& options, const CpuShare& idleReference, Findings& findings) {
    IsolatedPorts ports;
    if (!ports.ok()) {
        findings.flag(QStringLiteral("modbus: no ports folder"));
        return;
    }
    const int promptMs = options.quick ? 6000 : 60000;
    const PollRun prompt = poll(ports.dir(), true, QStringLiteral("5"), promptMs);
    const double perMinute = prompt.perMinute();
    const int silentMs = options.quick ? 4000 : 20000;
    const PollRun silent = poll(ports.dir(), false, QStringLiteral("5"), silentMs);
    findings.say(QStringLiteral("modbus: prompt slave %1 requests/min (%2 replies; pacing "
                                "reference 30/min, ratio %3), CPU %4; silent slave, timeout 5: "
                                "%5 requests in %6 s, CPU %7; plain event loop %8")
                     .arg(perMinute, 0, 'f', 1)
                     .arg(prompt.replies)
                     .arg(ratioText(perMinute, kPacedRequestsPerMinute), shareText(prompt.cpu))
                     .arg(silent.requests)
                     .arg(silentMs / 1000)
                     .arg(shareText(silent.cpu), shareText(idleReference)));
    if (prompt.requests == 0 || prompt.replies == 0)
        findings.flag(QStringLiteral("modbus: no request answered"));
    if (perMinute < kPacedRequestsPerMinute * 0.8 || perMinute > kPacedRequestsPerMinute * 1.2)
        findings.flag(QStringLiteral("modbus: %1 requests/min").arg(perMinute, 0, 'f', 1));
    if (silent.cpu.percent() > kBadlyOffPercent)
        findings.flag(QStringLiteral("modbus: silent poll used %1 % CPU")
                          .arg(silent.cpu.percent(), 0, 'f', 1));
}

} // namespace quillon::bench
