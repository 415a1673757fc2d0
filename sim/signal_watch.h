#pragma once

#include <QObject>

#include <initializer_list>

class QSocketNotifier;

namespace quillon::sim {

// Turns termination signals into a Qt signal through a self-pipe, so the simulator can
// leave its event loop and clean up (the port link above all) instead of dying mid-way.
class SignalWatch : public QObject {
    Q_OBJECT
public:
    explicit SignalWatch(QObject* parent = nullptr);
    ~SignalWatch() override;

    bool install(std::initializer_list<int> signos, QString* error);

signals:
    void caught(int signo);

private:
    void drain();

    QSocketNotifier* m_notifier = nullptr;
};

} // namespace quillon::sim
