#pragma once

#include "sim/console_settings.h"
#include "sim/line_setting.h"
#include "sim/loader_settings.h"
#include "sim/modem_settings.h"

#include <QString>
#include <QStringList>

namespace quillon::sim {

struct SimOptions {
    QString portsDir;
    int com = 1;
    QString logPath;
    QString role;
    LoaderSettings loader;
    ModemSettings modem;
    ConsoleSettings console;
    int modbusAddress = 1;
    // The line runs at the program's speed and the controller hears only its own.
    bool paced = true;
};

struct ParsedOptions {
    enum class Outcome { Run, ShowHelp, ShowVersion, Error };
    Outcome outcome = Outcome::Error;
    SimOptions options;
    // The error for Error, the text to print for ShowHelp and ShowVersion.
    QString text;
};

// Expects QCoreApplication to exist (for the program name and version).
ParsedOptions parseSimOptions(const QStringList& arguments);

} // namespace quillon::sim
