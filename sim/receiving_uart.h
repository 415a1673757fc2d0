#pragma once

#include "sim/paced_wire.h"
#include "sim/tty_line.h"

#include <QByteArray>

namespace quillon::sim {

// What a UART listening at one speed receives of a character that left the wire: the
// character itself when it was sent at that speed and nothing changed under it, or else
// whatever its sampling makes of the waveform.
struct Reception {
    QList<HeardByte> bytes;
    bool garbled = false;
};

Reception receiveAt(const EndedByte& byte, int listenerBaud);

// The same for the program's end, as its read() returns it: characters with a framing
// error become what its settings ask for.
QByteArray readByProgram(const EndedByte& byte, const ProgramLine& program);

} // namespace quillon::sim
