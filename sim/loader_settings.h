#pragma once

#include "sim/line_setting.h"

#include <QString>

namespace quillon::sim {

// Misbehaviour a test or a demo asks of the loader. Block numbers count from 1 over the
// whole transfer, so they keep going where the numbers on the wire wrap at 256. Zero
// turns a switch off.
struct XmodemFaults {
    // Refuse every k-th block the first time it comes, then take the resend.
    int nakEvery = 0;
    // From this block on, answer nothing at all.
    int silentAfter = 0;
    // Cancel the transfer when this block comes.
    int cancelAt = 0;
    // Refuse every block.
    bool nakAll = false;
    // Refuse the first EOT, as careful receivers do to make sure the end is real.
    bool nakFirstEot = false;
    // Answer each block taken with ACK and NAK in one write.
    bool ackWithNak = false;
};

// Tests shorten these; the simulator runs with the defaults.
struct LoaderTimes {
    // How often the loader calls for the first block.
    int callMs = 1000;
    // How long it calls, and how long it waits on a silent line during a transfer,
    // before it gives up.
    int giveUpMs = 60'000;
    // A gap this long inside a block means the rest of it is not coming.
    int interByteMs = 1000;
    // Silence this long while a transfer is under way asks again with NAK, as XMODEM
    // receivers do when a block or their own answer was lost on the line. Zero: never.
    int retryMs = 0;
    // After a damaged block, the line must be quiet this long before the NAK goes out,
    // so that the rest of a block cut short is not taken for the start of the resend.
    // Zero: the NAK goes out at once.
    int purgeMs = 0;
    // A start sequence whose commands stop this long is over. The program repeats them
    // every second while it waits, so this only ends one that was given up.
    int startQuietMs = 5000;
};

struct LoaderSettings {
    // The "1" commands of one start sequence after which the technician's keys B1 and B2
    // are taken as pressed.
    int b1b2After = 2;
    // The program sends its initialise ("4") to the port before it dials, so behind a
    // modem only the "1" commands reach the controller; its loader then starts on them.
    bool startsOnCommands = false;
    // Idle, the controller listens at its console's setting; from the start command to
    // the end of a transfer, at the loader's.
    ControllerLine line;
    QString savePath;
    XmodemFaults faults;
    LoaderTimes times;
};

} // namespace quillon::sim
