#pragma once

#include <QByteArray>
#include <QVector>

#include <chrono>

namespace quillon {

// A receiver's answer (ACK, NAK or CAN) and when it arrived.
struct TransferReply {
    char byte;
    std::chrono::steady_clock::time_point at;
};

// The receiver's answers to the block in flight, in the order they came.
// USB adapters and ptys often deliver a reply behind other bytes ("C" then
// ACK, noise then ACK), so a reply counts wherever it stands in a chunk.
class XmodemReplies {
public:
    using Clock = std::chrono::steady_clock;

    void take(const QByteArray& chunk, Clock::time_point at);
    void clear() { replies_.clear(); }
    bool isEmpty() const { return replies_.isEmpty(); }
    TransferReply takeFirst() { return replies_.takeFirst(); }
    // Two CANs in a row: the receiver gave up. One alone is line noise, and
    // so is a pair with anything between.
    bool holdsCancelPair() const;
    // The reply bytes, oldest first, with 0 where other bytes parted two CANs.
    QByteArray bytes() const;

private:
    QVector<TransferReply> replies_;
};

} // namespace quillon
