#pragma once

#include <QByteArray>
#include <QObject>
#include <QProcess>
#include <QString>
#include <QTimer>

#include <memory>

class QSocketNotifier;

namespace quillon::test {

// A real controller stays in its loader and ignores further start commands;
// rx would take them for garbage, so this gate answers the start sequence
// itself (as if B1 and B2 were pressed after some passes) and only then hands
// the line to `rx -c`, which asks for the first block with its own "C".
class RxGate : public QObject {
    Q_OBJECT
public:
    // device: the far end of the line; folder: where rx writes `fileName`.
    RxGate(const QString& device, const QString& folder, int passes,
           const QString& fileName = QStringLiteral("prog.Epr"));
    ~RxGate() override;

    // Sleeps until rx has ended or the time is up; true when it ended.
    bool waitForRx(int timeoutMs);
    bool rxStarted() const { return started_; }

    QProcess rx;
    // Added to rx's command line. rx flushes its terminal in both directions
    // right after it writes each ACK, and on a pty that now and then discards
    // the ACK before the sender has read it; both sides then wait, and only
    // rx's timeout NAK gets the block sent again. rx waits 10 s by default,
    // as long as the sender's limit for an answer, so under load the sender
    // would give up first; 5 s keeps the transfer going.
    QStringList rxOptions{QStringLiteral("-t"), QStringLiteral("50")};
    QByteArray seen; // what the gate read before it handed over

Q_SIGNALS:
    void rxStarting();

private:
    void read();
    void handOver();
    void closeLine();

    int passes_;
    QString fileName_;
    int fd_ = -1;
    bool started_ = false;
    std::unique_ptr<QSocketNotifier> notifier_;
    QTimer quiet_;
};

} // namespace quillon::test
