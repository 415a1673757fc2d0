#pragma once

#include <QEventLoop>
#include <QObject>

#include <functional>

namespace quillon::simtest {

// Runs the event loop until a condition holds, re-checking it whenever one of the given
// signals fires, so tests wait on events instead of polling.
class EventWait {
public:
    template <typename Sender, typename Signal>
    EventWait& wakeOn(const Sender* sender, Signal signal) {
        QObject::connect(sender, signal, &loop_, [this] { check(); });
        return *this;
    }

    bool until(const std::function<bool()>& done, int timeoutMs);

private:
    void check();

    QEventLoop loop_;
    std::function<bool()> done_;
    bool met_ = false;
};

// Lets the event loop run for a while, for measurements over a time span.
void runEventsFor(int ms);

} // namespace quillon::simtest
