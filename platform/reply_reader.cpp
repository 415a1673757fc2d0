#include "platform/reply_reader.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <utility>

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

namespace quillon {

namespace {

// How long news of a read that set off an armed write may wait.
constexpr int kNewsHoldMs = 1;

} // namespace

ReplyReader::ReplyReader(int descriptor, qsizetype holdLimit, std::function<void()> arrived)
    : descriptor_(descriptor), holdLimit_(holdLimit), arrived_(std::move(arrived)) {}

ReplyReader::~ReplyReader() {
    stop();
}

bool ReplyReader::start() {
    if (running())
        return true;
    if (::pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0)
        return false;
    try {
        thread_ = std::thread([this] { run(); });
    } catch (const std::system_error&) {
        ::close(wake_[0]);
        ::close(wake_[1]);
        wake_[0] = wake_[1] = -1;
        return false;
    }
    return true;
}

void ReplyReader::stop() {
    if (!running())
        return;
    const char stopNow = 0;
    // A full pipe already wakes the thread.
    [[maybe_unused]] const ssize_t ignored = ::write(wake_[1], &stopNow, 1);
    thread_.join();
    ::close(wake_[0]);
    ::close(wake_[1]);
    wake_[0] = wake_[1] = -1;
}

void ReplyReader::run() {
    // Signals are the owner's thread's business; here they would only cut the wait short.
    sigset_t all;
    ::sigfillset(&all);
    ::pthread_sigmask(SIG_BLOCK, &all, nullptr);
    std::array<pollfd, 2> watched{{{descriptor_, POLLIN, 0}, {wake_[0], POLLIN, 0}}};
    std::array<char, 4096> chunk{};
    bool newsHeld = false;
    for (;;) {
        const int ready = ::poll(watched.data(), watched.size(), newsHeld ? kNewsHoldMs : -1);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        if (ready == 0) {
            newsHeld = false;
            arrived_();
            continue;
        }
        if (watched[1].revents != 0)
            return;
        if (watched[0].revents == 0)
            continue;
        const ssize_t got = ::read(descriptor_, chunk.data(), chunk.size());
        if (got < 0 && (errno == EAGAIN || errno == EINTR))
            continue;
        if (got <= 0)
            break;
        // Told at once, the owner's thread would take the second processor just as the
        // driver and the far end need it to carry the write to the line. Its bookkeeping
        // can wait a moment, or until the far end says more.
        newsHeld = take(chunk.data(), got);
        if (!newsHeld)
            arrived_();
    }
    {
        const std::lock_guard lock(mutex_);
        failed_ = true;
    }
    arrived_();
}

bool ReplyReader::take(const char* data, qsizetype size) {
    const std::lock_guard lock(mutex_);
    bool firedNow = false;
    if (!armed_.isEmpty()) {
        if (data[0] == trigger_) {
            Fired fired{0, 0, Clock::now()};
            const ssize_t written = ::write(descriptor_, armed_.constData(), armed_.size());
            if (written < 0)
                fired.error = errno == EAGAIN ? 0 : errno;
            else
                fired.written = written;
            fired_ = fired;
            firedNow = true;
        }
        armed_.clear();
    }
    // The rest of this read came with the trigger, before the write.
    if (received_.empty() || pastWrite_)
        received_.emplace_back();
    pastWrite_ = firedNow;
    received_.back().append(data, size);
    receivedSize_ += size;
    while (receivedSize_ > holdLimit_) {
        QByteArray& oldest = received_.front();
        const qsizetype drop = std::min(oldest.size(), receivedSize_ - holdLimit_);
        oldest.remove(0, drop);
        receivedSize_ -= drop;
        if (oldest.isEmpty() && received_.size() > 1)
            received_.pop_front();
    }
    return firedNow;
}

void ReplyReader::arm(char trigger, QByteArray bytes) {
    const std::lock_guard lock(mutex_);
    trigger_ = trigger;
    armed_ = std::move(bytes);
    fired_.reset();
}

std::optional<ReplyReader::Fired> ReplyReader::withdraw() {
    const std::lock_guard lock(mutex_);
    armed_.clear();
    return std::exchange(fired_, std::nullopt);
}

QByteArray ReplyReader::takeReceived() {
    const std::lock_guard lock(mutex_);
    if (received_.empty())
        return {};
    QByteArray first = std::move(received_.front());
    received_.pop_front();
    if (received_.empty())
        pastWrite_ = false;
    receivedSize_ -= first.size();
    return first;
}

QByteArray ReplyReader::peekReceived() const {
    const std::lock_guard lock(mutex_);
    QByteArray all;
    for (const QByteArray& part : received_)
        all += part;
    return all;
}

qsizetype ReplyReader::receivedSize() const {
    const std::lock_guard lock(mutex_);
    return receivedSize_;
}

bool ReplyReader::failed() const {
    const std::lock_guard lock(mutex_);
    return failed_;
}

} // namespace quillon
