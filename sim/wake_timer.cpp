#include "sim/wake_timer.h"

#include <QSocketNotifier>

#include <cstdint>
#include <ctime>
#include <sys/timerfd.h>
#include <unistd.h>

namespace quillon::sim {

namespace {

constexpr qint64 NsPerSecond = 1'000'000'000;

itimerspec at(qint64 ns) {
    itimerspec timer{};
    timer.it_value.tv_sec = static_cast<time_t>(ns / NsPerSecond);
    timer.it_value.tv_nsec = static_cast<long>(ns % NsPerSecond);
    return timer;
}

} // namespace

WakeTimer::WakeTimer(QObject* parent) : QObject(parent) {
    fd_ = ::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    if (fd_ < 0)
        return;
    notifier_ = new QSocketNotifier(fd_, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &WakeTimer::expired);
}

WakeTimer::~WakeTimer() {
    delete notifier_;
    if (fd_ >= 0)
        ::close(fd_);
}

qint64 WakeTimer::nowNs() {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<qint64>(now.tv_sec) * NsPerSecond + now.tv_nsec;
}

void WakeTimer::wakeAt(qint64 ns) {
    if (fd_ < 0)
        return;
    // Zero would disarm it: the earliest moment there is stands for "now".
    const itimerspec when = at(ns > 0 ? ns : 1);
    armed_ = ::timerfd_settime(fd_, TFD_TIMER_ABSTIME, &when, nullptr) == 0;
}

void WakeTimer::cancel() {
    if (fd_ < 0 || !armed_)
        return;
    const itimerspec none{};
    ::timerfd_settime(fd_, 0, &none, nullptr);
    armed_ = false;
}

void WakeTimer::expired() {
    std::uint64_t expirations = 0;
    if (::read(fd_, &expirations, sizeof expirations) != sizeof expirations)
        return;
    armed_ = false;
    emit woke();
}

} // namespace quillon::sim
