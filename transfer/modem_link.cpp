#include "transfer/modem_link.h"

#include "core/send_to_port.h"
#include "core/serial_link.h"
#include "platform/cp1252.h"

#include <QElapsedTimer>

#include <algorithm>

namespace quillon {

const QStringList& ModemLink::replyTable() {
    static const QStringList table = {
        QStringLiteral("OK\r\n"),       QStringLiteral("RING"),
        QStringLiteral("NO CARRIER"),   QStringLiteral("ERROR"),
        QStringLiteral("NO DIALTONE"),  QStringLiteral("BUSY"),
        QStringLiteral("CONNECT 1200"), QStringLiteral("CONNECT 2400"),
        QStringLiteral("CONNECT 9600"), QStringLiteral("CONNECT"),
    };
    return table;
}

void ModemLink::send(const QByteArray& bytes) {
    sendToPort(session_, port_, bytes);
}

QString ModemLink::modemCommand(const QString& command, double limitSeconds) {
    session_.link.rxBuffer.clear();
    session_.modem.modemAbort = false;
    send(lineBytes(command) + '\r');
    // Monotonic: a dial across midnight or a clock change keeps its full limit.
    QElapsedTimer clock;
    clock.start();
    const auto limitMs = static_cast<qint64>(limitSeconds * 1000.0);
    for (;;) {
        for (const QString& reply : replyTable()) {
            if (session_.modem.modemAbort) {
                abortDial();
                return {};
            }
            session_.waiter.waitMs(stepMs);
            if (session_.link.rxBuffer.contains(reply.toLatin1()))
                return reply;
        }
        if (clock.elapsed() >= limitMs)
            return {};
    }
}

QString ModemLink::hangUpModem() {
    for (int attempt = 0; attempt < 3; ++attempt) {
        for (int plus = 0; plus < 3; ++plus) {
            // A modem takes "+++" as an escape only after a silent guard time; a
            // first "+" sooner is data for the far end.
            // Each pause counts from the last byte on the wire.
            const bool first = attempt == 0 && plus == 0;
            waitFromWireIdle(session_.waiter, port_,
                             first ? std::max(escapeGapMs, escapeGuardMs) : escapeGapMs);
            send(QByteArrayLiteral("+"));
        }
        waitFromWireIdle(session_.waiter, port_, escapeGuardMs);
        if (session_.link.rxBuffer.contains("OK"))
            break;
    }
    return modemCommand(QStringLiteral("ath"), 1);
}

QString dialCommand(const SettingsValues& settings) {
    return QStringLiteral("AT") + settings.extraAtCommands + QStringLiteral("DP") +
           settings.phoneNumber;
}

void ModemLink::abortDial() {
    send(QByteArrayLiteral("ath"));
    session_.waiter.waitMs(stepMs);
}

} // namespace quillon
