#pragma once

#include <QList>
#include <QtGlobal>

namespace quillon::sim {

// A speed the sender's UART took while a character was on the wire, from atNs after
// its start bit on. The first is the speed it started at (atNs 0).
struct SpeedChange {
    qint64 atNs = 0;
    int baud = 0;
    bool operator==(const SpeedChange&) const = default;
};

struct HeardByte {
    char value = 0;
    bool framingError = false;
    bool operator==(const HeardByte&) const = default;
};

// What a receiving UART at receiverBaud makes of one character: the sender's waveform
// (start bit 0, 8 data bits least significant first, stop bit and idle line 1, each bit
// at the speed in force while it was shifted out) on an idle line, sampled the way a
// UART does: a falling edge starts a frame, confirmed half a bit later; each data bit
// is read in its middle and the stop bit at 9.5 bit times, a 0 there being a framing
// error, after which the receiver waits for the line to go back to 1 before it hunts
// for the next start. Zero, one or more characters come of it.
QList<HeardByte> hearCharacter(quint8 value, const QList<SpeedChange>& speeds, int receiverBaud);

} // namespace quillon::sim
