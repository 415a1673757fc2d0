#include "core/wait.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <cmath>

namespace quillon {

void Waiter::sleepOnce(int milliseconds) {
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    running_.push_back(&loop);
    timer.start(milliseconds);
    loop.exec(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    running_.erase(std::find(running_.begin(), running_.end(), &loop));
}

void Waiter::waitMs(double milliseconds) {
    waitCancel_ = false;
    if (!(milliseconds > 0))
        return;
    // Monotonic, so midnight or a clock change cannot stretch or cut the wait.
    QElapsedTimer clock;
    clock.start();
    const qint64 totalNs = static_cast<qint64>(std::ceil(milliseconds * 1e6));
    // Woken early (new data, another wait ending), it sleeps on for the rest.
    while (!waitCancel_) {
        const qint64 remainingNs = totalNs - clock.nsecsElapsed();
        if (remainingNs <= 0)
            break;
        sleepOnce(static_cast<int>(
            std::min<qint64>((remainingNs + 999'999) / 1'000'000, 24LL * 3600 * 1000)));
    }
}

void Waiter::sleepUpTo(int milliseconds) {
    if (milliseconds > 0)
        sleepOnce(milliseconds);
}

void Waiter::wake() {
    // A timed wait that is woken just checks its clock and sleeps on.
    for (QEventLoop* loop : running_)
        loop->quit();
}

void Waiter::cancel() {
    if (!cancellable_)
        return;
    waitCancel_ = true;
    for (QEventLoop* loop : running_)
        loop->quit();
}

} // namespace quillon
