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
    burstTimer_.setInterval(500);
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
    burstTimer_.stop();
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
        // timer restarts below as for any event.
        if (!link.lastReceived.isEmpty())
            Q_EMIT received(link.lastReceived);
    }
    burstTimer_.start();
    // A send event brings nothing a waiting loop looks at; waking it for every
    // block written would only cost a turn of the loop.
    if (!link.lastReceived.isEmpty())
        session_.waiter.wake();
}

void SerialLink::onBurstEnded() {
    session_.link.lineActive = false;
    burstTimer_.stop();
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
