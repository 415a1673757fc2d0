#include "platform/signal_watch.h"
#include "sim/line_engine.h"
#include "sim/modem_front.h"
#include "sim/relay_role.h"
#include "sim/role_factory.h"
#include "sim/sim_options.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <csignal>
#include <cstdio>
#include <memory>

using namespace quillon::sim;
using quillon::SignalWatch;

namespace {

constexpr int ExitBadUse = 2;

int failWith(const QString& message) {
    std::fprintf(stderr, "quillon-sim: %s\n", qPrintable(message));
    return ExitBadUse;
}

} // namespace

int main(int argc, char* argv[]) {
    // Log times count from here, before Qt is even up.
    QElapsedTimer start;
    start.start();

    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quillon-sim"));
    QCoreApplication::setApplicationVersion(QStringLiteral(QUILLON_SIM_VERSION));

    const ParsedOptions parsed = parseSimOptions(QCoreApplication::arguments());
    switch (parsed.outcome) {
    case ParsedOptions::Outcome::Error:
        return failWith(parsed.text + QStringLiteral("\n(see --help)"));
    case ParsedOptions::Outcome::ShowHelp:
    case ParsedOptions::Outcome::ShowVersion:
        std::fputs(qPrintable(parsed.text), stdout);
        return 0;
    case ParsedOptions::Outcome::Run:
        break;
    }
    const SimOptions& options = parsed.options;

    // Whoever started us may stop reading our output; that is no reason to die without
    // removing the link.
    std::signal(SIGPIPE, SIG_IGN);
    // Installed before the link exists so that no signal can leave it behind.
    quillon::SignalWatch signalWatch;
    QString error;
    if (!signalWatch.install(&error))
        return failWith(error);
    QObject::connect(&signalWatch, &quillon::SignalWatch::caught, &app,
                     [] { QCoreApplication::exit(0); });

    LineEngine engine(start, options.paced);
    if (!options.logPath.isEmpty() && !engine.openLog(options.logPath, &error))
        return failWith(error);
    if (!engine.open(options.portsDir, options.com, &error))
        return failWith(error);
    std::unique_ptr<Role> role = makeRole(options);
    QString farEnd;
    if (auto* relay = qobject_cast<RelayRole*>(role.get())) {
        if (!relay->open(&error))
            return failWith(error);
        farEnd = relay->devicePath();
    }
    if (options.modem.enabled)
        role = std::make_unique<ModemFront>(std::move(role), options.modem);
    engine.setRole(std::move(role));

    // One write, so that a reader of the first line has the second one with it.
    QByteArray banner = QStringLiteral("quillon-sim: COM%1 -> %2\n")
                            .arg(options.com)
                            .arg(engine.devicePath())
                            .toLocal8Bit();
    if (!farEnd.isEmpty())
        banner += QStringLiteral("quillon-sim: far end -> %1\n").arg(farEnd).toLocal8Bit();
    std::fputs(banner.constData(), stdout);
    std::fflush(stdout);

    return QCoreApplication::exec();
}
