#include "sim/xmodem_receiver.h"

#include "sim/crc16.h"

#include <utility>

namespace quillon::sim {

using namespace xmodem;

namespace {

// A sender cancels with CAN CAN; one alone may be noise on the line.
constexpr int CansToCancel = 2;
// An EOT is the sender's only on a line that has been quiet this long: one that comes
// hard on the heels of noise is more likely a data byte of a block whose SOH was lost.
constexpr qint64 QuietBeforeEotMs = 100;

quint8 byteAt(const QByteArray& bytes, qsizetype index) {
    return static_cast<quint8>(bytes.at(index));
}

} // namespace

XmodemReceiver::XmodemReceiver(const XmodemFaults& faults, const LoaderTimes& times, Reply reply,
                               QObject* parent)
    : QObject(parent), faults_(faults), reply_(std::move(reply)) {
    interByte_.setSingleShot(true);
    interByte_.setInterval(times.interByteMs);
    connect(&interByte_, &QTimer::timeout, this, &XmodemReceiver::blockCutShort);
    retry_.setSingleShot(true);
    retry_.setInterval(times.retryMs);
    connect(&retry_, &QTimer::timeout, &quietConfirmed_, qOverload<>(&QTimer::start));
    purge_.setSingleShot(true);
    purge_.setInterval(times.purgeMs);
    // A timer that ran late (the process was held up) fires beside bytes that came
    // meanwhile and may be handled first: the NAK waits one more turn of the event
    // loop, where those bytes call it off. A NAK for a block already answered would
    // be followed by a second ACK, which the sender takes for the next block.
    connect(&purge_, &QTimer::timeout, &quietConfirmed_, qOverload<>(&QTimer::start));
    quietConfirmed_.setSingleShot(true);
    quietConfirmed_.setInterval(0);
    connect(&quietConfirmed_, &QTimer::timeout, this, [this] {
        if (block_.isEmpty() && !muted())
            answer(Nak);
    });
    block_.reserve(BlockSize);
}

XmodemReceiver::Outcome XmodemReceiver::take(char c) {
    retry_.stop();
    quietConfirmed_.stop();
    if (purge_.isActive()) {
        purge_.start();
        return Outcome::Going;
    }
    if (block_.isEmpty()) {
        if (c == Can)
            return ++cansInARow_ >= CansToCancel ? Outcome::CancelledBySender : Outcome::Going;
        cansInARow_ = 0;
        if (c == Eot && noise_.isValid() && noise_.elapsed() < QuietBeforeEotMs) {
            noise_.start();
            return Outcome::Going;
        }
        if (c == Eot) {
            if (muted())
                return Outcome::Going;
            if (faults_.nakFirstEot && !std::exchange(eotRefused_, true)) {
                answer(Nak);
                return Outcome::Going;
            }
            return Outcome::Ended;
        }
        // Anything else between blocks is noise, or the start commands the program keeps
        // sending until it has seen our call.
        if (c != Soh) {
            noise_.start();
            return Outcome::Going;
        }
        noise_.invalidate(); // a block starts: the line is in step again
    }
    block_.append(c);
    if (block_.size() < BlockSize) {
        interByte_.start();
        return Outcome::Going;
    }
    interByte_.stop();
    return judge(std::exchange(block_, QByteArray()));
}

XmodemReceiver::Outcome XmodemReceiver::judge(const QByteArray& block) {
    const int index = blocks_ + 1;
    const quint8 number = byteAt(block, 1);
    const bool numbered = number + byteAt(block, 2) == 0xFF;
    const bool isNext = numbered && number == static_cast<quint8>(index);
    // A resend after our acknowledgement got lost.
    const bool isRepeat = numbered && blocks_ > 0 && number == static_cast<quint8>(blocks_);
    const QByteArrayView payload = QByteArrayView(block).sliced(3, DataSize);
    const quint16 check =
        static_cast<quint16>(byteAt(block, BlockSize - 2) << 8 | byteAt(block, BlockSize - 1));
    const bool intact = crc16Xmodem(payload) == check;

    if (isNext && index == faults_.cancelAt) {
        answer(Can);
        answer(Can);
        answer(Can);
        return Outcome::CancelledHere;
    }
    if (muted())
        return Outcome::Going;
    if (!intact || !numbered) {
        refuseDamaged();
        return Outcome::Going;
    }
    if (!(isNext || isRepeat) || (isNext && faults_.nakAll)) {
        answer(Nak);
        return Outcome::Going;
    }
    if (isNext && faults_.nakEvery > 0 && index % faults_.nakEvery == 0 && refusedOnce_ != index) {
        refusedOnce_ = index;
        answer(Nak);
        return Outcome::Going;
    }
    if (isNext) {
        data_.append(payload);
        ++blocks_;
    }
    if (faults_.ackWithNak) {
        send(QByteArray("\x06\x15", 2));
        return Outcome::Going;
    }
    answer(Ack);
    return Outcome::Going;
}

void XmodemReceiver::blockCutShort() {
    block_.clear();
    if (!muted())
        answer(Nak);
}

void XmodemReceiver::refuseDamaged() {
    if (purge_.interval() > 0)
        purge_.start();
    else
        answer(Nak);
}

bool XmodemReceiver::muted() const {
    return faults_.silentAfter > 0 && blocks_ + 1 >= faults_.silentAfter;
}

void XmodemReceiver::answer(char c) {
    send(QByteArray(1, c));
}

void XmodemReceiver::send(const QByteArray& bytes) {
    if (retry_.interval() > 0)
        retry_.start();
    if (reply_)
        reply_(bytes);
}

} // namespace quillon::sim
