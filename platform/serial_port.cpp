#include "platform/serial_port.h"

#include "platform/port_settings.h"

#include <QEventLoop>
#include <QPointer>
#include <QTimer>

#include <algorithm>
#include <thread>
#include <utility>

namespace quillon {

namespace {

using namespace std::chrono_literals;

// Past the bytes' own line time: a receiving UART whose clock runs a little slow
// samples the stop bit later, and a setting changed just after the last bit would
// still cut its frame short there.
constexpr auto kLeastMargin = 2ms;
// Bytes the driver keeps holding past their line time (the far end holding the line
// off) are waited for no longer than this: a close must end.
constexpr auto kTransitLimit = 2s;

void sleepInEventLoop(SerialPort& port, SerialPort::Clock::time_point until) {
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(until - SerialPort::Clock::now());
    if (left.count() <= 0)
        return;
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    QObject::connect(&port, &SerialPort::deviceLost, &loop, &QEventLoop::quit);
    QObject::connect(&port, &QObject::destroyed, &loop, &QEventLoop::quit);
    timer.start(static_cast<int>(std::min<qint64>(left.count(), 60'000)));
    // Clicks and keys wait for the few milliseconds until the line is free: a command
    // started in between would find the port half way through its change.
    loop.exec(QEventLoop::ExcludeUserInputEvents | QEventLoop::WaitForMoreEvents);
}

} // namespace

SerialPort::SerialPort(QObject* parent) : QObject(parent) {
    // Before any other listener: a record of the line shows the loss where it came.
    connect(this, &SerialPort::deviceLost, this, [this] {
        if (tap_)
            tap_->portClosed(*this);
    });
}

SerialPort::Clock::duration SerialPort::characterTime() const {
    const QString current = settings();
    if (current != timedSettings_ || characterTime_ == Clock::duration::zero()) {
        const ParsedPortSettings parsed = parsePortSettings(current);
        const PortSettings line = parsed.error == 0 ? parsed.settings : PortSettings{};
        timedSettings_ = current;
        characterTime_ = std::chrono::duration_cast<Clock::duration>(
            std::chrono::duration<double>(bitsPerCharacter(line) / line.baudRate));
    }
    return characterTime_;
}

SerialPort::Clock::time_point SerialPort::drainedAt() const {
    return wireIdleAt_ + std::max<Clock::duration>(characterTime(), kLeastMargin);
}

int SerialPort::msUntilWireIdle() const {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(wireIdleAt_ - Clock::now());
    return static_cast<int>(std::clamp<qint64>(left.count(), 0, 3'600'000));
}

int SerialPort::open() {
    tappedUnread_ = 0; // a port opens with nothing waiting
    const int error = openDevice();
    if (error == 0 && tap_)
        tap_->portOpened(*this);
    return error;
}

QByteArray SerialPort::readAll() {
    QByteArray data = readDevice();
    // What arrivedUnread already showed the tap is not shown again.
    const qsizetype shown = std::min(tappedUnread_, data.size());
    tappedUnread_ = 0;
    if (tap_ && data.size() > shown)
        tap_->bytesRead(*this, shown == 0 ? data : data.mid(shown));
    return data;
}

void SerialPort::arrivedUnread(const QByteArray& waiting) {
    if (!tap_ || waiting.size() <= tappedUnread_)
        return;
    tap_->bytesRead(*this, waiting.mid(tappedUnread_));
    tappedUnread_ = waiting.size();
}

int SerialPort::write(const QByteArray& data) {
    const int error = writeDevice(data);
    if (error == 0)
        noteWritten(data, Clock::now());
    return error;
}

void SerialPort::noteWritten(const QByteArray& data, Clock::time_point at) {
    if (data.isEmpty())
        return;
    if (tap_)
        tap_->bytesWritten(*this, data);
    // Bytes written while others are still crossing start after them.
    wireIdleAt_ =
        std::max(at, wireIdleAt_) + characterTime() * static_cast<Clock::rep>(data.size());
}

bool SerialPort::beginArmedWrites() {
    return isOpen() && startReplyReading();
}

void SerialPort::endArmedWrites() {
    withdrawArmedWrite();
    stopReplyReading();
}

bool SerialPort::armWrite(char trigger, const QByteArray& bytes) {
    withdrawArmedWrite();
    if (bytes.isEmpty() || !armDeviceWrite(trigger, bytes))
        return false;
    armed_ = bytes;
    return true;
}

std::optional<SerialPort::ArmedWrite> SerialPort::withdrawArmedWrite() {
    if (armed_.isEmpty())
        return std::nullopt;
    const QByteArray bytes = std::exchange(armed_, {});
    const std::optional<FiredWrite> fired = withdrawDeviceWrite();
    if (!fired)
        return std::nullopt;
    if (fired->failed)
        return ArmedWrite{PortError::DeviceLost, fired->at};
    noteWritten(bytes.left(fired->written), fired->at);
    // What the driver did not take follows at once: nothing else was written meanwhile.
    const int error = fired->written < bytes.size() ? write(bytes.mid(fired->written)) : 0;
    return ArmedWrite{error, fired->at};
}

int SerialPort::setSettings(const QString& settings) {
    const ParsedPortSettings parsed = parsePortSettings(settings);
    if (parsed.error != 0)
        return parsed.error;
    const bool wasOpen = isOpen();
    if (wasOpen) {
        endArmedWrites();
        drain();
    }
    const QString before = tap_ ? this->settings() : QString();
    const int error = applySettings(settings, parsed.settings);
    if (error == 0 && tap_ && wasOpen && isOpen() && this->settings() != before)
        tap_->settingsChanged(*this);
    return error;
}

void SerialPort::close() {
    if (!isOpen())
        return;
    endArmedWrites();
    drain();
    // The device may have gone while the line drained.
    if (!isOpen())
        return;
    closeDevice();
    if (tap_)
        tap_->portClosed(*this);
    Q_EMIT closed();
}

void SerialPort::drain() {
    if (!isOpen())
        return;
    const QPointer<SerialPort> alive(this);
    const Clock::time_point limit = std::max(Clock::now(), drainedAt()) + kTransitLimit;
    Clock::time_point transitUntil{};
    for (;;) {
        // Re-read each time: something written meanwhile must leave too.
        const Clock::time_point until = std::max(drainedAt(), transitUntil);
        if (Clock::now() < until) {
            sleepInEventLoop(*this, until);
            if (!alive || !isOpen())
                return;
            continue;
        }
        const qint64 transit = bytesInTransit();
        if (transit <= 0) {
            drainDevice();
            return;
        }
        const Clock::time_point now = Clock::now();
        if (now >= limit) {
            giveUpStuckOutput();
            return;
        }
        // The line is slower than its setting says (held off, or a driver that has not
        // been handed everything yet): give what is left its own time.
        transitUntil = std::min(limit, now + characterTime() * static_cast<Clock::rep>(transit));
    }
}

void SerialPort::giveUpStuckOutput() {
    // Bytes the far end holds off for good, or a port with no line behind it, would
    // keep the driver's drain, and the close after it, waiting for ever: the window
    // would freeze. They can never leave, so they go.
    discardOutput();
}

void SerialPort::drainWithoutEventLoop() {
    const Clock::time_point until = std::min(drainedAt(), Clock::now() + kTransitLimit);
    std::this_thread::sleep_until(until);
    if (bytesInTransit() > 0)
        giveUpStuckOutput();
    else
        drainDevice();
}

void SerialPort::closeWithoutEventLoop() {
    if (!isOpen())
        return;
    endArmedWrites();
    drainWithoutEventLoop();
    closeDevice();
    if (tap_)
        tap_->portClosed(*this);
}

} // namespace quillon
