#pragma once

#include <vector>

class QEventLoop;

namespace quillon {

// Timed waits that keep the window alive: port events, timers, clicks and keys
// are handled while a wait runs, and the thread sleeps in between.
class Waiter {
public:
    // cancellable false: cancel() is ignored (the earlier edition has no WaitCancel).
    explicit Waiter(bool cancellable = true) : cancellable_(cancellable) {}
    Waiter(const Waiter&) = delete;
    Waiter& operator=(const Waiter&) = delete;

    // WaitMs: returns after the time has passed or at once when cancelled.
    void waitMs(double milliseconds);
    // WaitCancel = True: ends every running wait.
    void cancel();
    // Sleeps until wake() or until the time is up, whichever comes first; for
    // loops that watch flags set by event handlers (a reply, a cancel key).
    void sleepUpTo(int milliseconds);
    // Something such a loop may be watching has changed.
    void wake();
    bool cancelPending() const { return waitCancel_; }
    int depth() const { return static_cast<int>(running_.size()); }

private:
    // One sleep in a nested event loop, ended by its timer, wake() or cancel().
    void sleepOnce(int milliseconds);

    bool cancellable_;
    bool waitCancel_ = false;
    std::vector<QEventLoop*> running_;
};

} // namespace quillon
