#pragma once

#include "sim/line_setting.h"

#include <optional>

namespace quillon::sim {

// What the program on the other end of a pseudo-terminal has set on it.
struct ProgramLine {
    // Speed and stop bits; the driver keeps no data bits or parity of the program's.
    LineSetting setting;
    // What reading a character with a framing error gives, as Linux's serial drivers
    // and line discipline do it: nothing with IGNPAR; with INPCK a 0x00; without either,
    // the data bits the UART read. (PARMRK's 0xFF 0x00 mark cannot be passed through a
    // pseudo-terminal, whose own line discipline would escape the 0xFF: a 0x00 it is.)
    enum class BadCharacter { AsRead, Zero, Dropped };
    BadCharacter badCharacter = BadCharacter::AsRead;

    bool operator==(const ProgramLine& other) const {
        return setting.sameTiming(other.setting) && badCharacter == other.badCharacter;
    }
};

// Reads it from any descriptor of the terminal; any speed, also one without a name of
// its own. Nothing when the descriptor is no terminal.
std::optional<ProgramLine> readProgramLine(int fd);

// Asks the terminal to tell its master of every change of settings (EXTPROC), unless it
// already does; false when it cannot.
bool keepReportingSettings(int fd);

} // namespace quillon::sim
