#include "sim/loader_role.h"

#include <QSaveFile>

namespace quillon::sim {

namespace {

QString countOf(qsizetype n, const char* singular) {
    return QStringLiteral("%1 %2%3").arg(n).arg(QLatin1String(singular),
                                                n == 1 ? QString() : QStringLiteral("s"));
}

QString seconds(int ms) {
    return QString::number(ms / 1000.0);
}

} // namespace

LoaderRole::LoaderRole(const LoaderSettings& settings, QObject* parent)
    : Role(parent), settings_(settings) {
    startQuiet_.setSingleShot(true);
    startQuiet_.setInterval(settings_.times.startQuietMs);
    connect(&startQuiet_, &QTimer::timeout, this, &LoaderRole::reset);
    callTimer_.setInterval(settings_.times.callMs);
    connect(&callTimer_, &QTimer::timeout, this, &LoaderRole::call);
    giveUp_.setSingleShot(true);
    giveUp_.setInterval(settings_.times.giveUpMs);
    connect(&giveUp_, &QTimer::timeout, this, &LoaderRole::giveUp);
    afterClose_.setSingleShot(true);
    afterClose_.setInterval(settings_.times.interByteMs);
    connect(&afterClose_, &QTimer::timeout, this, &LoaderRole::senderGone);
}

LoaderRole::~LoaderRole() = default;

void LoaderRole::receive(QByteArrayView bytes) {
    for (const char c : bytes)
        take(c);
}

void LoaderRole::receiveNoise(QByteArrayView bytes) {
    if (phase_ == Phase::Receiving)
        receive(bytes);
}

std::optional<LineSetting> LoaderRole::lineSetting() const {
    return phase_ == Phase::Idle ? settings_.line.console : settings_.line.transfer;
}

void LoaderRole::clientClosed() {
    if (phase_ == Phase::Receiving)
        afterClose_.start();
}

void LoaderRole::reset() {
    phase_ = Phase::Idle;
    commands_ = 0;
    startQuiet_.stop();
    callTimer_.stop();
    giveUp_.stop();
    afterClose_.stop();
    receiver_.reset();
}

void LoaderRole::take(char c) {
    switch (phase_) {
    case Phase::Idle:
        if (!opensWith(c))
            return;
        phase_ = Phase::Starting;
        if (c == Initialise)
            startQuiet_.start();
        else
            takeStartCommand(c);
        return;
    case Phase::Starting:
        takeStartCommand(c);
        return;
    case Phase::Calling:
        if (c != xmodem::Soh)
            break;
        callTimer_.stop();
        phase_ = Phase::Receiving;
        [[fallthrough]];
    case Phase::Receiving:
        giveUp_.start();
        if (afterClose_.isActive())
            afterClose_.start();
        break;
    }
    const XmodemReceiver::Outcome outcome = receiver_->take(c);
    if (outcome != XmodemReceiver::Outcome::Going)
        finish(outcome);
}

void LoaderRole::takeStartCommand(char c) {
    if (c == Command && ++commands_ >= settings_.b1b2After) {
        startCalling();
        return;
    }
    // Anything but the two commands means this was no start sequence after all.
    if (c != Command && c != Initialise) {
        reset();
        return;
    }
    startQuiet_.start();
}

void LoaderRole::startCalling() {
    startQuiet_.stop();
    phase_ = Phase::Calling;
    receiver_ = std::make_unique<XmodemReceiver>(settings_.faults, settings_.times,
                                                 [this](const QByteArray& bytes) { send(bytes); });
    report(QStringLiteral("loader: keys B1 and B2 pressed; calling for the program"));
    call();
    callTimer_.start();
    giveUp_.start();
}

void LoaderRole::call() {
    // The program looks for the call at the head of what it reads, so it goes out alone.
    send(QByteArray(1, xmodem::CrcCall));
}

void LoaderRole::giveUp() {
    if (phase_ == Phase::Calling)
        report(QStringLiteral("loader: no block came in %1 s; back to idle")
                   .arg(seconds(settings_.times.giveUpMs)));
    else
        report(QStringLiteral("loader: the line was silent for %1 s after %2; transfer dropped")
                   .arg(seconds(settings_.times.giveUpMs), blocksSoFar()));
    reset();
}

void LoaderRole::senderGone() {
    report(QStringLiteral("loader: the port was closed after %1; transfer dropped")
               .arg(blocksSoFar()));
    reset();
}

void LoaderRole::finish(XmodemReceiver::Outcome outcome) {
    switch (outcome) {
    case XmodemReceiver::Outcome::Going:
        return;
    case XmodemReceiver::Outcome::Ended:
        save();
        send(QByteArray(1, xmodem::Ack));
        break;
    case XmodemReceiver::Outcome::CancelledHere:
        report(QStringLiteral("loader: cancelled the transfer at block %1")
                   .arg(receiver_->blocks() + 1));
        break;
    case XmodemReceiver::Outcome::CancelledBySender:
        report(QStringLiteral("loader: the sender cancelled after %1").arg(blocksSoFar()));
        break;
    }
    reset();
}

void LoaderRole::save() {
    const QByteArray& data = receiver_->data();
    const QString received =
        QStringLiteral("received %1 (%2)")
            .arg(countOf(data.size(), "byte"), countOf(receiver_->blocks(), "block"));
    if (settings_.savePath.isEmpty()) {
        report(QStringLiteral("loader: %1; no save path").arg(received));
        return;
    }
    // Written whole or not at all: a reader polling for the file never sees half of it.
    QSaveFile file(settings_.savePath);
    if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size() || !file.commit()) {
        report(QStringLiteral("loader: %1; cannot write %2: %3")
                   .arg(received, settings_.savePath, file.errorString()));
        return;
    }
    report(QStringLiteral("loader: %1 -> %2").arg(received, settings_.savePath));
}

QString LoaderRole::blocksSoFar() const {
    return countOf(receiver_ ? receiver_->blocks() : 0, "block");
}

} // namespace quillon::sim
