#pragma once

#include "tests/support/fault_relay.h"

#include <QByteArray>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <functional>
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

namespace quillon::test {

// Seeded noisy runs side by side: each shard is a child process of the caller
// (its own lines, ports folder and receivers), since an upload mostly waits on
// its line and several share two cores well.
struct NoisyTally {
    int runs = 0;
    int successes = 0;
    QStringList problems; // false successes and the like
    bool childrenFailed = false;
    QString childOutput; // of a child that did not end well
};

// Set in a shard's environment: its number, and how many there are.
inline constexpr char kNoisyShardVariable[] = "QUILLON_NOISY_SHARD";
inline constexpr char kNoisyShardsVariable[] = "QUILLON_NOISY_SHARDS";

// Inside a shard: runs run(i) for each i below `runs` that falls to this
// shard and prints the tally for the parent.
void runNoisyShard(int runs, const std::function<NoisyRun(int)>& run);
// In the parent: starts `shards` children as `program arguments` with the
// shard variables and `environment` added, waits for all, adds up.
NoisyTally runNoisyShards(const QString& program, const QStringList& arguments, int shards,
                          const QProcessEnvironment& environment = {});

} // namespace quillon::test
