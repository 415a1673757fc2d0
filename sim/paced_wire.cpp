#include "sim/paced_wire.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace quillon::sim {

namespace {

constexpr double NsPerSecond = 1e9;

qint64 nsForHalfBits(double halfBits, int baud) {
    // Rounded up: a character never ends before its line time.
    return static_cast<qint64>(std::ceil(halfBits * NsPerSecond / (2.0 * baud)));
}

} // namespace

void PacedWire::setSetting(const LineSetting& setting, qint64 nowNs) {
    advance(nowNs);
    setting_ = setting;
    if (!onWire_ || onWire_->ownSetting || onWire_->baud == setting.baud)
        return;
    OnWire& wire = *onWire_;
    if (nowNs <= wire.startNs) {
        // Not a bit of it out yet: it goes wholly at the new setting.
        const char value = wire.byte.value;
        onWire_.reset();
        queue_.push_front(Run{QByteArray(1, value), 0, nowNs, std::nullopt});
        ++queued_;
        startNext(nowNs);
        return;
    }
    const double done = static_cast<double>(nowNs - wire.sinceNs) * 2.0 * wire.baud / NsPerSecond;
    wire.halfBitsLeft = std::max(0.0, wire.halfBitsLeft - done);
    wire.baud = setting.baud;
    wire.sinceNs = nowNs;
    wire.byte.speeds.append({nowNs - wire.startNs, setting.baud});
    wire.byte.cutShort = true;
    wire.byte.endNs = nowNs + nsForHalfBits(wire.halfBitsLeft, wire.baud);
}

void PacedWire::push(QByteArrayView bytes, qint64 nowNs, std::optional<LineSetting> own) {
    advance(nowNs);
    const qsizetype room = MaxQueued - queued_;
    if (bytes.isEmpty() || room <= 0)
        return;
    const QByteArrayView kept = bytes.first(std::min(bytes.size(), room));
    queue_.push_back(Run{kept.toByteArray(), 0, nowNs, own});
    queued_ += kept.size();
    pushed_ += kept.size();
    if (!onWire_)
        startNext(nowNs);
}

QList<EndedByte> PacedWire::takeEnded(qint64 nowNs) {
    advance(nowNs);
    taken_ += ended_.size();
    return std::exchange(ended_, {});
}

void PacedWire::advance(qint64 nowNs) {
    while (onWire_ && onWire_->byte.endNs <= nowNs) {
        const qint64 end = onWire_->byte.endNs;
        ended_.append(std::move(onWire_->byte));
        onWire_.reset();
        startNext(end);
    }
}

void PacedWire::startNext(qint64 notBeforeNs) {
    if (queue_.empty())
        return;
    Run& run = queue_.front();
    const LineSetting setting = run.own.value_or(setting_);
    OnWire wire;
    wire.ownSetting = run.own.has_value();
    wire.baud = setting.baud;
    wire.startNs = std::max(notBeforeNs, run.arrivalNs);
    wire.sinceNs = wire.startNs;
    wire.halfBitsLeft = setting.frameHalfBits();
    wire.byte.value = run.bytes.at(run.next);
    wire.byte.sentAt = setting;
    wire.byte.speeds = {{0, setting.baud}};
    wire.byte.endNs = wire.startNs + setting.frameNs();
    onWire_ = std::move(wire);
    --queued_;
    if (++run.next == run.bytes.size())
        queue_.pop_front();
}

std::optional<qint64> PacedWire::wakeAt(qint64 notBeforeNs) const {
    if (!ended_.isEmpty())
        return notBeforeNs;
    if (!onWire_)
        return std::nullopt;
    const qint64 next = onWire_->byte.endNs;
    const qint64 batched = std::max(next, notBeforeNs);
    // Walk the burst only as far as the batch reaches: its last character is taken at
    // its very end, wherever that falls.
    qint64 end = next;
    for (const Run& run : queue_) {
        if (run.arrivalNs > end)
            return end;
        const qint64 frame = run.own.value_or(setting_).frameNs();
        for (qsizetype i = run.next; i < run.bytes.size(); ++i) {
            end += frame;
            if (end >= batched)
                return batched;
        }
    }
    return end;
}

} // namespace quillon::sim
