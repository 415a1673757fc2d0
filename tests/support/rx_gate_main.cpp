// The gate and `rx -c` on one end of a line, as a program of its own: the
// Windows checks run the program under Wine and need the peer outside it.
//   quillon-rx-gate DEVICE FOLDER [SECONDS]
// Ends with rx's exit status once rx has ended, 124 when the time ran out.
#include "tests/support/rx_gate.h"

#include <QCoreApplication>
#include <QDir>

#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 3) {
        std::fprintf(stderr, "usage: quillon-rx-gate DEVICE FOLDER [SECONDS]\n");
        return 2;
    }
    const int seconds = args.size() > 3 ? args[3].toInt() : 120;
    QDir().mkpath(args[2]);
    quillon::test::RxGate gate(args[1], args[2], 2);
    const bool ended = gate.waitForRx(seconds * 1000);
    std::fprintf(stderr, "quillon-rx-gate: the gate saw %s\n", gate.seen.toHex(' ').constData());
    std::fprintf(stderr, "%s", gate.rx.readAllStandardError().constData());
    if (!ended)
        return 124;
    return gate.rx.exitStatus() == QProcess::NormalExit ? gate.rx.exitCode() : 125;
}
