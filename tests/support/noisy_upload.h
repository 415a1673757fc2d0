#pragma once

#include "tests/support/fault_relay.h"

#include <QByteArray>
#include <QString>

#include <random>

namespace quillon::test {

enum class NoisyReceiver { Loader, Rx, Python };

// One upload by the real upload code on a real port, through a seeded noisy
// line (FaultRelay) to a receiver: the simulator's loader in this process,
// `rx -c`, or python3-xmodem.
struct NoisyRun {
    NoisyReceiver receiver = NoisyReceiver::Loader;
    quint32 seed = 1;
    double rate = -1; // corrupted bytes per byte each way; below 0: picked by the seed
    int maxSize = 3000;
};

struct NoisyOutcome {
    bool success = false; // the window said PROGRAMA ENVIADO COM SUCESSO
    // Empty unless the outcome broke the rule: success shown but the receiver
    // holds something else, or neither success nor failure shown.
    QString problem;
    double rate = 0;
};

// What a seeded generator makes of a run: the faults each way and the program
// to send. A rate below 0 is picked from 0, 1e-3, 3e-3 and 1e-2.
struct NoisyLine {
    LineFaults toPeer;
    LineFaults toProgram;
    QByteArray program;
    double rate = 0;
};
NoisyLine noisyLineFor(std::mt19937& random, double rate, int maxSize);

NoisyOutcome noisyUpload(const NoisyRun& run);
// The python3-xmodem receiver script beside the sources.
QString xmodemReceiveScript();

} // namespace quillon::test
