#include "console/station_console.h"

#include "core/send_to_port.h"
#include "platform/cp1252.h"

#include <functional>

namespace quillon {

namespace {

// Whether the port an exchange began on has closed since: switching the terminal off,
// new settings or a pulled adapter end what was under way. A port closed from the
// start is not watched; every send then reports that it is not open.
class PortWatch {
public:
    explicit PortWatch(SerialPort& port) {
        if (!port.isOpen())
            return;
        QObject::connect(&port, &SerialPort::closed, &context_, [this] { closed_ = true; });
        QObject::connect(&port, &SerialPort::deviceLost, &context_, [this] { closed_ = true; });
    }
    bool closed() const { return closed_; }

private:
    QObject context_; // the connections end with the exchange
    bool closed_ = false;
};

} // namespace

bool StationConsole::sendStationCommand(Kind kind, const QString& station,
                                        const QString& identifier, const QString& command,
                                        const QString& extra) {
    PortWatch watch(link_.port()); // written to by the port's signals
    // The user closed the port on purpose (or its loss has been reported): the rest of
    // the exchange would only stack up boxes about a port that is not open.
    const auto send = [&](const QString& text) {
        if (!watch.closed())
            sendToPort(session_, link_.port(), lineBytes(text));
    };
    const bool sendsCommand = identifier != QLatin1String("-1");
    const std::function<void()> steps[] = {
        [&] {
            session_.link.rxBuffer.clear();
            link_.waitForQuietLine();
        },
        [&] {
            send(kind == ReportReading ? QStringLiteral("&") : QStringLiteral("\x05"));
            waitFromWireIdle(session_.waiter, link_.port(), 500);
        },
        [&] {
            send(station);
            link_.waitForQuietLine();
        },
        [&] {
            send(identifier + QLatin1Char('\r'));
            link_.waitForQuietLine();
            waitFromWireIdle(session_.waiter, link_.port(), 200);
        },
        [&] {
            if (!sendsCommand)
                return;
            send(command + QLatin1Char('\r'));
            link_.waitForQuietLine();
        },
        [&] {
            if (!sendsCommand || command != QLatin1String("7,7,7,7"))
                return;
            waitFromWireIdle(session_.waiter, link_.port(), 200);
            send(extra + QLatin1Char('\r'));
        },
        [&] {
            link_.waitForQuietLine();
            session_.link.rxBuffer.clear();
        },
    };
    for (const auto& step : steps) {
        // The window may have been closed while a step waited: the rest of the
        // exchange would only write to a closed port with no one to see it.
        if (!session_.mainWindow.alive() || watch.closed())
            return false;
        step();
    }
    return !watch.closed();
}

void StationConsole::readVariables(const QString& station, const QString& identifier) {
    sendStationCommand(Command, station, identifier, QStringLiteral("3,3,3,3"), {});
}

void StationConsole::readParameters(const QString& station, const QString& identifier) {
    sendStationCommand(ParameterReading, station, identifier, QStringLiteral("7,7,7,7"),
                       QStringLiteral("0"));
}

int StationConsole::readReport(const QString& station, const QString& identifier) {
    // These two go straight to the port: a failure ends the item at once.
    if (const int error = link_.port().write(QByteArrayLiteral("atq0")))
        return error;
    if (!sendStationCommand(ReportReading, station, identifier, QStringLiteral("3,3,3,3"), {}))
        return 0;
    return link_.port().write(QByteArrayLiteral("atq1"));
}

} // namespace quillon
