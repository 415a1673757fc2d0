#pragma once

#include "core/serial_link.h"
#include "core/session.h"

namespace quillon {

// The controller console on the main line: every command goes out inside the
// station framing, each step paced by waits for the line to fall quiet.
class StationConsole {
public:
    enum Kind { Command = 0, ParameterReading = 1, ReportReading = 2 };

    StationConsole(Session& session, SerialLink& link) : session_(session), link_(link) {}

    // SendStationCommand: the texts go out unchanged. False when the exchange ended
    // early: its window went, or its port closed under it.
    bool sendStationCommand(Kind kind, const QString& station, const QString& identifier,
                            const QString& command, const QString& extra);
    // Items 4, 5 and 6 of the Editar menu. The report reading answers the failure
    // of a direct write, for the menu to report; 0 when there was none.
    void readVariables(const QString& station, const QString& identifier);
    void readParameters(const QString& station, const QString& identifier);
    int readReport(const QString& station, const QString& identifier);

private:
    Session& session_;
    SerialLink& link_;
};

} // namespace quillon
