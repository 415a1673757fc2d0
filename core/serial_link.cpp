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
    timer1_.setInterval(500);
    timer1_.setSingleShot(true);
    timer1_.setTimerType(Qt::PreciseTimer); // never call a burst over early
    connect(&timer1_, &QTimer::timeout, this, &SerialLink::onBurstEnded);
    connect(&port_, &SerialPort::commEvent, this, &SerialLink::onCommEvent);
    connect(&port_, &SerialPort::deviceLost, this, [this](int number) {
        if (session_.transfer.uploadRunning)
            session_.transfer.portLost = true;
        onCommEvent();
        session_.waiter.wake();
        Q_EMIT portLost(number);
    });
}

void SerialLink::onCommEvent() {
    timer1_.stop();
    LinkState& link = session_.link;
    link.lineActive = true;
    link.lastReceived = port_.readAll();
    if (link.terminalMode) {
        if (sink_ && !link.lastReceived.isEmpty())
            sink_(link.lastReceived);
    } else {
        if (session_.edition.collectsOutsideTerminal)
            appendBounded(link.rxBuffer, link.lastReceived, kRxBufferLimit);
        // A stopped transfer still counts as line activity: the timer restarts
        // below as for any event, so a quiet-line wait cannot hang on it.
        if (!session_.transfer.transferStop && !link.lastReceived.isEmpty()) {
            // USB adapters and ptys often deliver a reply behind other bytes ("C"
            // then ACK, noise then ACK): the transfer replies count wherever they
            // stand, while the start request must still open the chunk.
            const QByteArray& chunk = link.lastReceived;
            link.ackReceived = link.ackReceived || chunk.contains('\x06');
            link.nakReceived = link.nakReceived || chunk.contains('\x15');
            link.cancelReceived = link.cancelReceived || chunk.contains('\x18');
            const auto now = std::chrono::steady_clock::now();
            QVector<TransferReply>& replies = link.transferReplies;
            for (const char c : chunk) {
                if (c == '\x06' || c == '\x15' || c == '\x18')
                    replies.append({c, now});
                else if (!replies.isEmpty() && replies.constLast().byte == '\x18')
                    replies.append({'\0', now}); // two CANs apart are not "in a row"
            }
            // Nobody takes them outside an upload; keep the newest.
            if (replies.size() > kRxBufferLimit)
                replies.remove(0, replies.size() - kRxBufferLimit / 2);
            if (chunk.at(0) == 'C')
                link.startRequestReceived = true;
        }
    }
    timer1_.start();
    // A send event brings nothing a waiting loop looks at; waking it for every
    // block written would only cost a turn of the loop.
    if (!link.lastReceived.isEmpty())
        session_.waiter.wake();
}

void SerialLink::onBurstEnded() {
    session_.link.lineActive = false;
    timer1_.stop();
}

void SerialLink::waitForQuietLine() {
    do {
        session_.waiter.waitMs(500);
    } while (session_.link.lineActive);
}

int SerialLink::sendKey(char code) {
    return port_.write(QByteArray(1, code));
}

int openPortOn(SerialPort& port, const QString& portNumber, const QString& settings) {
    if (port.isOpen())
        port.close();
    const auto number = toInt16(portNumber);
    if (!number || *number < 1)
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
