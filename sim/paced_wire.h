#pragma once

#include "sim/line_setting.h"
#include "sim/uart_decoder.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

#include <deque>
#include <optional>

namespace quillon::sim {

// One character as it left the wire.
struct EndedByte {
    char value = 0;
    // What it was sent at when its start bit went out.
    LineSetting sentAt;
    // The sender's speeds while it was on the wire, from its start bit on.
    QList<SpeedChange> speeds;
    // A change of speed caught it on the wire.
    bool cutShort = false;
    qint64 endNs = 0;
};

// One direction of the line: one character on the wire at a time, each from the end of
// the one before (or from when it came, on an idle wire), lasting its frame at the
// setting in force as it starts. A character given a setting of its own keeps it; the
// others go at the wire's setting, and a change of that setting while one of them is on
// the wire sends its remaining bits at the new speed, as a UART does. Times are in
// nanoseconds on one monotonic clock; nothing here reads a clock or arms a timer.
class PacedWire {
public:
    // More than this waiting (many minutes of line time) is dropped: nothing reads it.
    static constexpr qsizetype MaxQueued = 1024 * 1024;

    explicit PacedWire(const LineSetting& setting = {}) : setting_(setting) {}

    const LineSetting& setting() const { return setting_; }
    void setSetting(const LineSetting& setting, qint64 nowNs);

    void push(QByteArrayView bytes, qint64 nowNs, std::optional<LineSetting> own = std::nullopt);
    // Every character that has ended by now, in order.
    QList<EndedByte> takeEnded(qint64 nowNs);

    bool idle() const { return !onWire_ && ended_.isEmpty(); }
    // Characters given to the wire so far and characters taken from it, for whoever
    // must act between two of them.
    qint64 pushedCount() const { return pushed_; }
    qint64 takenCount() const { return taken_; }

    // When to look next: when the next character ends, or, while more follow close
    // behind, no sooner than notBeforeNs so that a burst is taken in batches, but never
    // later than the end of the burst. Nothing while the wire is idle.
    std::optional<qint64> wakeAt(qint64 notBeforeNs) const;

private:
    struct Run {
        QByteArray bytes;
        qsizetype next = 0;
        qint64 arrivalNs = 0;
        std::optional<LineSetting> own;
    };
    struct OnWire {
        EndedByte byte;
        bool ownSetting = false;
        int baud = 0;
        qint64 startNs = 0;
        qint64 sinceNs = 0;
        double halfBitsLeft = 0;
    };

    void advance(qint64 nowNs);
    void startNext(qint64 notBeforeNs);

    LineSetting setting_;
    std::optional<OnWire> onWire_;
    std::deque<Run> queue_;
    qsizetype queued_ = 0;
    QList<EndedByte> ended_;
    qint64 pushed_ = 0;
    qint64 taken_ = 0;
};

} // namespace quillon::sim
