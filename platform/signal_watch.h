#pragma once

#include <QObject>

class QSocketNotifier;

namespace quillon {

// Turns the signals that ask a program to end (SIGINT, SIGTERM, SIGHUP: Ctrl+C, kill,
// logout, a closed terminal) into a Qt signal through a self-pipe, so the program can
// finish its work in the event loop (save, remove what it made) instead of dying
// mid-way. On Windows the console's Ctrl+C, Ctrl+Break and close take their place.
class SignalWatch : public QObject {
    Q_OBJECT
public:
    explicit SignalWatch(QObject* parent = nullptr);
    ~SignalWatch() override;

    bool install(QString* error);

signals:
    void caught(int signo);

private:
    void drain();

    QSocketNotifier* notifier_ = nullptr;
};

} // namespace quillon
