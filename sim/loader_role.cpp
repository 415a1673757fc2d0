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
    : Role(parent), m_settings(settings) {
    m_startQuiet.setSingleShot(true);
    m_startQuiet.setInterval(m_settings.times.startQuietMs);
    connect(&m_startQuiet, &QTimer::timeout, this, &LoaderRole::reset);
    m_callTimer.setInterval(m_settings.times.callMs);
    connect(&m_callTimer, &QTimer::timeout, this, &LoaderRole::call);
    m_giveUp.setSingleShot(true);
    m_giveUp.setInterval(m_settings.times.giveUpMs);
    connect(&m_giveUp, &QTimer::timeout, this, &LoaderRole::giveUp);
    m_afterClose.setSingleShot(true);
    m_afterClose.setInterval(m_settings.times.interByteMs);
    connect(&m_afterClose, &QTimer::timeout, this, &LoaderRole::senderGone);
}

LoaderRole::~LoaderRole() = default;

void LoaderRole::receive(QByteArrayView bytes) {
    for (const char c : bytes)
        take(c);
}

void LoaderRole::clientClosed() {
    if (m_phase == Phase::Receiving)
        m_afterClose.start();
}

void LoaderRole::reset() {
    m_phase = Phase::Idle;
    m_commands = 0;
    m_startQuiet.stop();
    m_callTimer.stop();
    m_giveUp.stop();
    m_afterClose.stop();
    m_receiver.reset();
}

void LoaderRole::take(char c) {
    switch (m_phase) {
    case Phase::Idle:
        if (!opensWith(c))
            return;
        m_phase = Phase::Starting;
        if (c == Initialise)
            m_startQuiet.start();
        else
            takeStartCommand(c);
        return;
    case Phase::Starting:
        takeStartCommand(c);
        return;
    case Phase::Calling:
        if (c != xmodem::Soh)
            break;
        m_callTimer.stop();
        m_phase = Phase::Receiving;
        [[fallthrough]];
    case Phase::Receiving:
        m_giveUp.start();
        if (m_afterClose.isActive())
            m_afterClose.start();
        break;
    }
    const XmodemReceiver::Outcome outcome = m_receiver->take(c);
    if (outcome != XmodemReceiver::Outcome::Going)
        finish(outcome);
}

void LoaderRole::takeStartCommand(char c) {
    if (c == Command && ++m_commands >= m_settings.b1b2After) {
        startCalling();
        return;
    }
    // Anything but the two commands means this was no start sequence after all.
    if (c != Command && c != Initialise) {
        reset();
        return;
    }
    m_startQuiet.start();
}

void LoaderRole::startCalling() {
    m_startQuiet.stop();
    m_phase = Phase::Calling;
    m_receiver = std::make_unique<XmodemReceiver>(m_settings.faults, m_settings.times,
                                                  [this](const QByteArray& bytes) { send(bytes); });
    report(QStringLiteral("loader: keys B1 and B2 pressed; calling for the program"));
    call();
    m_callTimer.start();
    m_giveUp.start();
}

void LoaderRole::call() {
    // The program looks for the call at the head of what it reads, so it goes out alone.
    send(QByteArray(1, xmodem::CrcCall));
}

void LoaderRole::giveUp() {
    if (m_phase == Phase::Calling)
        report(QStringLiteral("loader: no block came in %1 s; back to idle")
                   .arg(seconds(m_settings.times.giveUpMs)));
    else
        report(QStringLiteral("loader: the line was silent for %1 s after %2; transfer dropped")
                   .arg(seconds(m_settings.times.giveUpMs), blocksSoFar()));
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
                   .arg(m_receiver->blocks() + 1));
        break;
    case XmodemReceiver::Outcome::CancelledBySender:
        report(QStringLiteral("loader: the sender cancelled after %1").arg(blocksSoFar()));
        break;
    }
    reset();
}

void LoaderRole::save() {
    const QByteArray& data = m_receiver->data();
    const QString received =
        QStringLiteral("received %1 (%2)")
            .arg(countOf(data.size(), "byte"), countOf(m_receiver->blocks(), "block"));
    if (m_settings.savePath.isEmpty()) {
        report(QStringLiteral("loader: %1; no save path").arg(received));
        return;
    }
    // Written whole or not at all: a reader polling for the file never sees half of it.
    QSaveFile file(m_settings.savePath);
    if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size() || !file.commit()) {
        report(QStringLiteral("loader: %1; cannot write %2: %3")
                   .arg(received, m_settings.savePath, file.errorString()));
        return;
    }
    report(QStringLiteral("loader: %1 -> %2").arg(received, m_settings.savePath));
}

QString LoaderRole::blocksSoFar() const {
    return countOf(m_receiver ? m_receiver->blocks() : 0, "block");
}

} // namespace quillon::sim
