#include "core/serial_link.h"

#include "core/text_helpers.h"

namespace quillon {

void appendBounded(QByteArray& buffer, const QByteArray& data, qsizetype limit) {
    if (data.size() >= limit) {
        buffer = data.right(limit);
        return;
    }
    const qsizetype overflow = buffer.size() + data.size() - limit;
    if (overflow > 0)
        buffer.remove(0, overflow);
    buffer.append(data);
}

SerialLink::SerialLink(Session& session, SerialPort& port, QObject* parent)
    : QObject(parent), session_(session), port_(port) {
    burstTimer_.setSingleShot(true);
    burstTimer_.setTimerType(Qt::PreciseTimer); // never call a burst over early
    connect(&burstTimer_, &QTimer::timeout, this, &SerialLink::onBurstEnded);
    connect(&port_, &SerialPort::commEvent, this, &SerialLink::onCommEvent);
    connect(&port_, &SerialPort::deviceLost, this, [this](int number) {
        onCommEvent();
        session_.waiter.wake();
        Q_EMIT portLost(number);
    });
}

void SerialLink::onCommEvent() {
    // The half second counts from this event. The timer is not restarted for every
    // chunk: that costs the dispatcher a timer each time, on the path from a
    // receiver's answer to the next block; when it fires early it waits the rest.
    lastEventAt_ = Clock::now();
    LinkState& link = session_.link;
    link.lineActive = true;
    link.lastReceived = port_.readAll();
    if (link.terminalMode) {
        if (sink_ && !link.lastReceived.isEmpty())
            sink_(link.lastReceived);
    } else {
        if (session_.edition.collectsOutsideTerminal)
            appendBounded(link.rxBuffer, link.lastReceived, kRxBufferLimit);
        // Whoever waits for an answer (the upload, the start handshake) looks at
        // the chunk; a stopped transfer still counts as line activity, so the
        // burst goes on below as for any event.
        if (!link.lastReceived.isEmpty())
            Q_EMIT received(link.lastReceived);
    }
    // Counted again from here, as the handling may have taken a while.
    lastEventAt_ = Clock::now();
    if (!burstTimer_.isActive())
        burstTimer_.start(kBurstMs);
    // A send event brings nothing a waiting loop looks at; waking it for every
    // block written would only cost a turn of the loop.
    if (!link.lastReceived.isEmpty())
        session_.waiter.wake();
}

void SerialLink::onBurstEnded() {
    const auto quiet =
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - lastEventAt_);
    if (quiet < kBurstMs) {
        burstTimer_.start(kBurstMs - quiet);
        return;
    }
    session_.link.lineActive = false;
}

void waitFromWireIdle(Waiter& waiter, const SerialPort& port, double milliseconds) {
    waiter.waitMs(milliseconds + port.msUntilWireIdle());
}

void SerialLink::waitForQuietLine() {
    // The far end cannot answer what has not reached it yet: the quiet half second
    // counts from the last byte on the wire.
    waitFromWireIdle(session_.waiter, port_, 500);
    while (session_.link.lineActive)
        session_.waiter.waitMs(500);
}

int SerialLink::sendKey(char code) {
    return port_.write(QByteArray(1, code));
}

std::optional<int> comNumber(const QString& portNumber) {
    const auto number = toInt16(portNumber);
    if (!number || *number < 1)
        return std::nullopt;
    return *number;
}

int openPortOn(SerialPort& port, const QString& portNumber, const QString& settings) {
    if (port.isOpen())
        port.close();
    const auto number = comNumber(portNumber);
    if (!number)
        return PortError::InvalidPortNumber;
    port.setPortNumber(*number);
    return reopenPortAt(port, settings);
}

int reopenPortAt(SerialPort& port, const QString& settings) {
    if (port.isOpen())
        port.close();
    if (const int error = port.setSettings(settings))
        return error;
    port.setReceiveThreshold(1);
    return port.open();
}

int SerialLink::openTerminalPort() {
    port_.setSendThreshold(1);
    return openPortOn(port_, session_.settings.portNumber, session_.settings.terminalSettings);
}

} // namespace quillon
