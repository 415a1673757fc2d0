#pragma once

#include "tests/support/pty_pair.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include <deque>
#include <random>

namespace quillon::test {

// How a noisy line treats the bytes going one way. Rates are chances per byte
// (drop, flip, duplicate) or per chunk read (split, delay).
struct LineFaults {
    double drop = 0;
    double flip = 0;      // one bit of the byte inverted
    double duplicate = 0; // the byte arrives twice, back to back
    double split = 0;     // the chunk goes out in two writes
    double delay = 0;     // the chunk (or its part) is held back a while
    int maxDelayMs = 20;

    static LineFaults corrupting(double rate) {
        LineFaults faults;
        faults.flip = rate;
        faults.split = 0.05;
        faults.delay = 0.05;
        faults.maxDelayMs = 5;
        return faults;
    }
};

// Two pseudo-terminals joined back to back like PtyBridge, with a seeded noisy
// line between them: the program opens one end as COMn, a receiver the other.
// Order is kept in each direction; held chunks gather, so chunks also merge.
class FaultRelay : public QObject {
    Q_OBJECT
public:
    FaultRelay(const QString& portsDir, int com, quint32 seed, const LineFaults& toPeer,
               const LineFaults& toProgram);

    bool ok() const { return pair_.ok(); }
    QString programDevice() const { return pair_.device(0); }
    QString peerDevice() const { return pair_.device(1); }
    // Faults put on the line so far, both directions.
    int faultsInjected() const { return faults_; }

private:
    struct Held {
        qint64 dueMs;
        QByteArray bytes;
    };
    struct End {
        LineFaults faults;     // for bytes read from this end
        std::deque<Held> held; // bound for the other end, not due yet
        QTimer due;
        QByteArray backlog; // due, waiting for room in the other end
    };
    void relay(int from);
    QByteArray spoil(const LineFaults& faults, const QByteArray& bytes);
    void hold(int from, QByteArray bytes);
    void release(int from);
    bool chance(double rate);

    End ends_[2];
    PtyPair pair_;
    std::mt19937 random_;
    QElapsedTimer clock_;
    int faults_ = 0;
};

} // namespace quillon::test
