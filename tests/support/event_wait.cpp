#include "tests/support/event_wait.h"

#include <QTimer>

namespace quillon::simtest {

bool EventWait::until(const std::function<bool()>& done, int timeoutMs) {
    m_met = done();
    if (m_met)
        return true;
    m_done = done;
    QTimer timeout;
    timeout.setSingleShot(true);
    QObject::connect(&timeout, &QTimer::timeout, &m_loop, &QEventLoop::quit);
    timeout.start(timeoutMs);
    m_loop.exec();
    m_done = nullptr;
    return m_met;
}

void EventWait::check() {
    if (m_done && !m_met && m_done()) {
        m_met = true;
        m_loop.quit();
    }
}

void runEventsFor(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace quillon::simtest
