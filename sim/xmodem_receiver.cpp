#include "sim/xmodem_receiver.h"

#include "sim/crc16.h"

#include <utility>

namespace quillon::sim {

using namespace xmodem;

namespace {

// A sender cancels with CAN CAN; one alone may be noise on the line.
constexpr int CansToCancel = 2;

quint8 byteAt(const QByteArray& bytes, qsizetype index) {
    return static_cast<quint8>(bytes.at(index));
}

} // namespace

XmodemReceiver::XmodemReceiver(const XmodemFaults& faults, const LoaderTimes& times, Reply reply,
                               QObject* parent)
    : QObject(parent), m_faults(faults), m_reply(std::move(reply)) {
    m_interByte.setSingleShot(true);
    m_interByte.setInterval(times.interByteMs);
    connect(&m_interByte, &QTimer::timeout, this, &XmodemReceiver::blockCutShort);
    m_retry.setSingleShot(true);
    m_retry.setInterval(times.retryMs);
    connect(&m_retry, &QTimer::timeout, &m_quietConfirmed, qOverload<>(&QTimer::start));
    m_purge.setSingleShot(true);
    m_purge.setInterval(times.purgeMs);
    // A timer that ran late (the process was held up) fires beside bytes that came
    // meanwhile and may be handled first: the NAK waits one more turn of the event
    // loop, where those bytes call it off. A NAK for a block already answered would
    // be followed by a second ACK, which the sender takes for the next block.
    connect(&m_purge, &QTimer::timeout, &m_quietConfirmed, qOverload<>(&QTimer::start));
    m_quietConfirmed.setSingleShot(true);
    m_quietConfirmed.setInterval(0);
    connect(&m_quietConfirmed, &QTimer::timeout, this, [this] {
        if (m_block.isEmpty() && !muted())
            answer(Nak);
    });
    m_block.reserve(BlockSize);
}

XmodemReceiver::Outcome XmodemReceiver::take(char c) {
    m_retry.stop();
    m_quietConfirmed.stop();
    if (m_purge.isActive()) {
        m_purge.start();
        return Outcome::Going;
    }
    if (m_block.isEmpty()) {
        if (c == Can)
            return ++m_cansInARow >= CansToCancel ? Outcome::CancelledBySender : Outcome::Going;
        m_cansInARow = 0;
        if (c == Eot) {
            if (muted())
                return Outcome::Going;
            if (m_faults.nakFirstEot && !std::exchange(m_eotRefused, true)) {
                answer(Nak);
                return Outcome::Going;
            }
            return Outcome::Ended;
        }
        // Anything else between blocks is noise, or the start commands the program keeps
        // sending until it has seen our call.
        if (c != Soh)
            return Outcome::Going;
    }
    m_block.append(c);
    if (m_block.size() < BlockSize) {
        m_interByte.start();
        return Outcome::Going;
    }
    m_interByte.stop();
    return judge(std::exchange(m_block, QByteArray()));
}

XmodemReceiver::Outcome XmodemReceiver::judge(const QByteArray& block) {
    const int index = m_blocks + 1;
    const quint8 number = byteAt(block, 1);
    const bool numbered = number + byteAt(block, 2) == 0xFF;
    const bool isNext = numbered && number == static_cast<quint8>(index);
    // A resend after our acknowledgement got lost.
    const bool isRepeat = numbered && m_blocks > 0 && number == static_cast<quint8>(m_blocks);
    const QByteArrayView payload = QByteArrayView(block).sliced(3, DataSize);
    const quint16 check =
        static_cast<quint16>(byteAt(block, BlockSize - 2) << 8 | byteAt(block, BlockSize - 1));
    const bool intact = crc16Xmodem(payload) == check;

    if (isNext && index == m_faults.cancelAt) {
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
    if (!(isNext || isRepeat) || (isNext && m_faults.nakAll)) {
        answer(Nak);
        return Outcome::Going;
    }
    if (isNext && m_faults.nakEvery > 0 && index % m_faults.nakEvery == 0 &&
        m_refusedOnce != index) {
        m_refusedOnce = index;
        answer(Nak);
        return Outcome::Going;
    }
    if (isNext) {
        m_data.append(payload);
        ++m_blocks;
    }
    if (m_faults.ackWithNak) {
        send(QByteArray("\x06\x15", 2));
        return Outcome::Going;
    }
    answer(Ack);
    return Outcome::Going;
}

void XmodemReceiver::blockCutShort() {
    m_block.clear();
    if (!muted())
        answer(Nak);
}

void XmodemReceiver::refuseDamaged() {
    if (m_purge.interval() > 0)
        m_purge.start();
    else
        answer(Nak);
}

bool XmodemReceiver::muted() const {
    return m_faults.silentAfter > 0 && m_blocks + 1 >= m_faults.silentAfter;
}

void XmodemReceiver::answer(char c) {
    send(QByteArray(1, c));
}

void XmodemReceiver::send(const QByteArray& bytes) {
    if (m_retry.interval() > 0)
        m_retry.start();
    if (m_reply)
        m_reply(bytes);
}

} // namespace quillon::sim
