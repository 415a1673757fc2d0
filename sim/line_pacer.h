#pragma once

#include "sim/paced_wire.h"
#include "sim/wake_timer.h"

#include <QObject>

#include <functional>
#include <optional>

namespace quillon::sim {

// Both directions of the line in time: what the program writes reaches the controller,
// and what the controller sends reaches the program, each character when it has ended
// on the wire. A burst is handed over in batches, so that the simulator wakes about once
// a millisecond however fast the line, but its last character at its very end. While
// nothing is on the wire no wake-up is set.
class LinePacer : public QObject {
    Q_OBJECT
public:
    static constexpr qint64 BatchNs = 1'000'000;
    using Delivery = std::function<void(const QList<EndedByte>&)>;

    LinePacer(Delivery toController, Delivery toProgram, QObject* parent = nullptr);

    bool isValid() const { return timer_.isValid(); }

    const LineSetting& programSetting() const { return toController_.setting(); }
    // The program set its end of the line, now.
    void setProgramSetting(const LineSetting& setting);
    void fromProgram(QByteArrayView bytes);
    // At the controller's own setting, or, with none, at the program's.
    void fromController(QByteArrayView bytes, std::optional<LineSetting> own);
    // Runs at every wake-up before anything is handed over.
    void setBeforeHandOver(std::function<void()> hook) { beforeHandOver_ = std::move(hook); }

    // Characters the program wrote so far, for whoever must act once the controller
    // has had all of them.
    qint64 fromProgramCount() const { return toController_.pushedCount(); }
    bool idle() const { return toController_.idle() && toProgram_.idle(); }
    bool isArmed() const { return timer_.isArmed(); }

private:
    void wake();
    void schedule();

    Delivery toControllerDelivery_;
    Delivery toProgramDelivery_;
    std::function<void()> beforeHandOver_;
    PacedWire toController_;
    PacedWire toProgram_;
    WakeTimer timer_;
    qint64 lastWakeNs_ = 0;
    bool waking_ = false;
};

} // namespace quillon::sim
