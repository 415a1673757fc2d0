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

// A window as the long operations running inside it see it: a wait made
// through it answers whether the window is still there, so an operation stops
// on that answer instead of keeping a flag of its own.
class WindowLife {
public:
    explicit WindowLife(Waiter& waiter) : waiter_(waiter) {}
    WindowLife(const WindowLife&) = delete;
    WindowLife& operator=(const WindowLife&) = delete;

    bool alive() const { return !gone_; }
    // The window unloads; answers false when it had already.
    bool end() {
        if (gone_)
            return false;
        gone_ = true;
        return true;
    }
    // WaitMs; false, without waiting, once the window is gone.
    bool waitMs(double milliseconds) {
        if (gone_)
            return false;
        waiter_.waitMs(milliseconds);
        return !gone_;
    }

private:
    Waiter& waiter_;
    bool gone_ = false;
};

} // namespace quillon
