#pragma once

#include <QObject>

class QSocketNotifier;

namespace quillon::sim {

// A wake-up at an exact moment of the monotonic clock. Qt's timers count whole
// milliseconds, and a character at 115200 baud lasts less than a tenth of one.
// Disarmed, it is only a descriptor that never becomes ready.
class WakeTimer : public QObject {
    Q_OBJECT
public:
    explicit WakeTimer(QObject* parent = nullptr);
    ~WakeTimer() override;

    // The monotonic clock the wake-ups are set on, in nanoseconds.
    static qint64 nowNs();

    bool isValid() const { return fd_ >= 0; }
    // Replaces any wake-up already set; a moment gone by wakes at once.
    void wakeAt(qint64 ns);
    void cancel();
    bool isArmed() const { return armed_; }

signals:
    void woke();

private:
    void expired();

    int fd_ = -1;
    bool armed_ = false;
    QSocketNotifier* notifier_ = nullptr;
};

} // namespace quillon::sim
