#include "tests/support/event_wait.h"

#include <QTimer>

namespace quillon::simtest {

bool EventWait::until(const std::function<bool()>& done, int timeoutMs) {
    met_ = done();
    if (met_)
        return true;
    done_ = done;
    QTimer timeout;
    timeout.setSingleShot(true);
    QObject::connect(&timeout, &QTimer::timeout, &loop_, &QEventLoop::quit);
    timeout.start(timeoutMs);
    loop_.exec();
    done_ = nullptr;
    return met_;
}

void EventWait::check() {
    if (done_ && !met_ && done_()) {
        met_ = true;
        loop_.quit();
    }
}

void runEventsFor(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace quillon::simtest
