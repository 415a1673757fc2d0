#include "sim/line_pacer.h"

#include <algorithm>

namespace quillon::sim {

LinePacer::LinePacer(Delivery toController, Delivery toProgram, QObject* parent)
    : QObject(parent), toControllerDelivery_(std::move(toController)),
      toProgramDelivery_(std::move(toProgram)) {
    connect(&timer_, &WakeTimer::woke, this, &LinePacer::wake);
}

void LinePacer::setProgramSetting(const LineSetting& setting) {
    const qint64 now = WakeTimer::nowNs();
    toController_.setSetting(setting, now);
    toProgram_.setSetting(setting, now);
    schedule();
}

void LinePacer::fromProgram(QByteArrayView bytes) {
    toController_.push(bytes, WakeTimer::nowNs());
    schedule();
}

void LinePacer::fromController(QByteArrayView bytes, std::optional<LineSetting> own) {
    toProgram_.push(bytes, WakeTimer::nowNs(), own);
    schedule();
}

void LinePacer::wake() {
    waking_ = true;
    lastWakeNs_ = WakeTimer::nowNs();
    if (beforeHandOver_)
        beforeHandOver_();
    // Whatever the controller says in answer goes onto the other wire from now on, so
    // the program's side is taken after it.
    const QList<EndedByte> toController = toController_.takeEnded(lastWakeNs_);
    if (!toController.isEmpty())
        toControllerDelivery_(toController);
    const QList<EndedByte> toProgram = toProgram_.takeEnded(lastWakeNs_);
    if (!toProgram.isEmpty())
        toProgramDelivery_(toProgram);
    waking_ = false;
    schedule();
}

void LinePacer::schedule() {
    if (waking_)
        return;
    const qint64 notBefore = lastWakeNs_ + BatchNs;
    std::optional<qint64> next = toController_.wakeAt(notBefore);
    if (const std::optional<qint64> other = toProgram_.wakeAt(notBefore))
        next = next ? std::min(*next, *other) : *other;
    if (next)
        timer_.wakeAt(*next);
    else
        timer_.cancel();
}

} // namespace quillon::sim
