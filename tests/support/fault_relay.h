#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include <deque>
#include <memory>
#include <random>

class QSocketNotifier;

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
    ~FaultRelay() override;

    bool ok() const { return ends_[0].master >= 0 && ends_[1].master >= 0; }
    QString programDevice() const { return ends_[0].device; }
    QString peerDevice() const { return ends_[1].device; }
    // Faults put on the line so far, both directions.
    int faultsInjected() const { return faults_; }

private:
    struct Held {
        qint64 dueMs;
        QByteArray bytes;
    };
    struct End {
        int master = -1;
        int slaveKeeper = -1;
        QString device;
        std::unique_ptr<QSocketNotifier> readable;
        std::unique_ptr<QSocketNotifier> writable;
        LineFaults faults;     // for bytes read from this end
        std::deque<Held> held; // bound for the other end, not due yet
        QTimer due;
        QByteArray backlog; // due, waiting for room in the other end
    };
    void relay(int from);
    QByteArray spoil(const LineFaults& faults, const QByteArray& bytes);
    void hold(int from, QByteArray bytes);
    void release(int from);
    void drain(int to);
    bool chance(double rate);

    End ends_[2];
    QString link_;
    std::mt19937 random_;
    QElapsedTimer clock_;
    int faults_ = 0;
};

} // namespace quillon::test
