#pragma once

#include <QString>

#include <optional>

namespace quillon::sim {

// How one end of the line runs: what a settings string such as "1200,n,8,1" names.
// A pseudo-terminal keeps only the speed and the stop bits a program sets (it forces
// 8 data bits and no parity), so the line's timing is built on 1 start bit, 8 data bits
// and the stop bits, whatever data bits and parity a setting names.
struct LineSetting {
    int baud = 1200;
    char parity = 'n';
    int dataBits = 8;
    // In half bits, so that 1.5 is exact: 2, 3 or 4.
    int stopHalfBits = 2;

    // One character on the wire, in half bits.
    int frameHalfBits() const { return 2 * (1 + 8) + stopHalfBits; }
    qint64 frameNs() const;
    // "1", "1.5" or "2".
    QString stopBitsText() const;
    QString text() const;

    // What the line's timing rests on; data bits and parity cannot be seen on the
    // program's end.
    bool sameTiming(const LineSetting& other) const {
        return baud == other.baud && stopHalfBits == other.stopHalfBits;
    }

    // Speed, parity letter (n, e, o), data bits (7, 8), stop bits (1, 1.5, 2), taken
    // strictly: anything else is no setting.
    static std::optional<LineSetting> parse(const QString& text);
};

// What the controller listens and answers at: its console and terminal while nothing
// else goes on, and the loader's own from the start command to the end of a transfer.
struct ControllerLine {
    LineSetting console{1200};
    LineSetting transfer{9600};
};

} // namespace quillon::sim
