#include "console/station_console.h"

#include "core/send_to_port.h"
#include "platform/cp1252.h"

#include <functional>

namespace quillon {

void StationConsole::send(const QString& text) {
    sendToPort(session_, link_.port(), lineBytes(text));
}

void StationConsole::sendStationCommand(Kind kind, const QString& station,
                                        const QString& identifier, const QString& command,
                                        const QString& extra) {
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
        if (!session_.mainWindow.alive())
            return;
        step();
    }
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
    sendStationCommand(ReportReading, station, identifier, QStringLiteral("3,3,3,3"), {});
    if (!session_.mainWindow.alive())
        return 0;
    return link_.port().write(QByteArrayLiteral("atq1"));
}

} // namespace quillon
