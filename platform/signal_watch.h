#pragma once

#include <QObject>

#include <initializer_list>

class QSocketNotifier;

namespace quillon {

// Turns termination signals (Ctrl+C and Ctrl+Break in a Windows console) into a
// Qt signal delivered by the event loop, so a program can stop the way its own
// stop does it and clean up (a port link, a modem call, the port) instead of
// dying mid-way. Nothing but a byte is written inside the signal handler.
class SignalWatch : public QObject {
    Q_OBJECT
public:
    explicit SignalWatch(QObject* parent = nullptr);
    ~SignalWatch() override;

    // On Windows only SIGINT and SIGTERM mean something: both stand for the
    // console's stop events.
    bool install(std::initializer_list<int> signos, QString* error);

signals:
    void caught(int signo);

private:
    void drain();

    QSocketNotifier* m_notifier = nullptr;
};

} // namespace quillon
