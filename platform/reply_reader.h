#pragma once

#include <QByteArray>

#include <chrono>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

namespace quillon {

// A port's reading, done for a while on a thread of its own: a peer that waits for the
// next write from the moment it answers (an XMODEM receiver after its ACK) gets it
// straight from the read that brought the answer, with no turn of the event loop in
// between. The thread only reads and writes the descriptor; the bytes it reads wait
// for the port's owner, who hears of them through `arrived`, called on the reader's
// thread.
class ReplyReader {
public:
    using Clock = std::chrono::steady_clock;
    // What an armed write did when its trigger came.
    struct Fired {
        qsizetype written = 0; // the driver may take less than all
        int error = 0;         // errno of a failed write
        Clock::time_point at;  // just before the write
    };

    // Bytes read and not yet taken beyond `holdLimit` lose their oldest part.
    ReplyReader(int descriptor, qsizetype holdLimit, std::function<void()> arrived);
    ~ReplyReader();
    ReplyReader(const ReplyReader&) = delete;
    ReplyReader& operator=(const ReplyReader&) = delete;

    // False when the thread could not be started; nothing is read then.
    bool start();
    // Returns once the thread has ended; nothing is read after it.
    void stop();
    bool running() const { return thread_.joinable(); }

    // `bytes` go out the moment the first byte to arrive from now on is `trigger`. Any
    // other byte first withdraws them, and what follows is the owner's to judge.
    void arm(char trigger, QByteArray bytes);
    // Withdraws what was armed; what came of it, when its trigger has come.
    std::optional<Fired> withdraw();

    // What arrived up to the latest armed write's trigger, or after it: bytes read
    // before a write and bytes read after it are never handed over together, so the
    // owner can tell the answers to what it wrote from the answers to what came before.
    QByteArray takeReceived();
    QByteArray peekReceived() const;
    qsizetype receivedSize() const;
    // The descriptor failed or reached its end (the device went away); the thread has
    // ended, and the failure is left for the owner's own read to find.
    bool failed() const;

private:
    void run();
    // True when it set off the armed write.
    bool take(const char* data, qsizetype size);

    int descriptor_;
    qsizetype holdLimit_;
    std::function<void()> arrived_;
    int wake_[2] = {-1, -1};
    std::thread thread_;
    mutable std::mutex mutex_;
    // Split where an armed write went out.
    std::deque<QByteArray> received_;
    qsizetype receivedSize_ = 0;
    // The newest part ends at an armed write's trigger: what comes next starts another.
    bool pastWrite_ = false;
    QByteArray armed_;
    char trigger_ = 0;
    std::optional<Fired> fired_;
    bool failed_ = false;
};

} // namespace quillon
