#pragma once

#include "sim/loader_settings.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <functional>

namespace quillon::sim {

namespace xmodem {
constexpr char Soh = 0x01;
constexpr char Eot = 0x04;
constexpr char Ack = 0x06;
constexpr char Nak = 0x15;
constexpr char Can = 0x18;
constexpr char CrcCall = 'C';
constexpr qsizetype DataSize = 128;
// SOH, number, its complement, the data, and the check value high byte first.
constexpr qsizetype BlockSize = 3 + DataSize + 2;
} // namespace xmodem

// The receiving end of one transfer of 128-byte blocks with a 16-bit check value: answers
// each block and collects the data. Fed one byte at a time so that whoever feeds it can
// take back the bytes that follow the end of the transfer.
class XmodemReceiver : public QObject {
    Q_OBJECT
public:
    enum class Outcome {
        Going,
        // The end came. It is not acknowledged yet: the caller does that once it has
        // kept the data, since the sender takes the answer as proof of delivery.
        Ended,
        CancelledHere,
        CancelledBySender,
    };
    using Reply = std::function<void(const QByteArray&)>;

    XmodemReceiver(const XmodemFaults& faults, const LoaderTimes& times, Reply reply,
                   QObject* parent = nullptr);

    Outcome take(char c);

    // Every block taken, in order, padding and all.
    const QByteArray& data() const { return data_; }
    int blocks() const { return blocks_; }

private:
    Outcome judge(const QByteArray& block);
    void blockCutShort();
    void refuseDamaged();
    // From the silent-after block on, nothing is answered, refusals included.
    bool muted() const;
    void answer(char c);
    void send(const QByteArray& bytes);

    XmodemFaults faults_;
    Reply reply_;
    QTimer interByte_;
    QTimer retry_;
    QTimer purge_;
    QTimer quietConfirmed_;
    QElapsedTimer noise_; // since the last noise byte between blocks
    QByteArray block_;
    QByteArray data_;
    int blocks_ = 0;
    // The block already refused once by the nak-every switch.
    int refusedOnce_ = 0;
    int cansInARow_ = 0;
    bool eotRefused_ = false;
};

} // namespace quillon::sim
