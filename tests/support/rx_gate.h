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
    // Added to rx's command line (a shorter timeout for a noisy line). A clean
    // line keeps rx's default: with "-t 50", three 100 000-byte uploads in
    // eight were refused on a loaded machine, against none with the default.
    QStringList rxOptions;
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
