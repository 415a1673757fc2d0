#pragma once

#include <QByteArray>
#include <QByteArrayList>

namespace quillon::sim {

// A Hayes-style modem in front of the role: the role is the controller at the far end
// of a telephone call that the program on the line has to dial first.
struct ModemSettings {
    bool enabled = false;
    // Whether command characters are echoed when the modem starts or is reset.
    bool echo = false;
    // From the end of the dial command to the result.
    int dialDelayMs = 2000;
    // What the far end does with the call; empty for a call nobody ever answers.
    QByteArray dialResult = QByteArrayLiteral("CONNECT 9600");
    // The quiet time around an escape: silence before the first "+" (with a tenth off
    // for the program's own timer slack), the longest pause between the "+"s, and the
    // silence after the third.
    int guardMs = 1000;

    // The results the far end can give, as the program looks for them.
    static QByteArrayList dialResults() {
        return {"CONNECT 9600", "CONNECT 2400", "CONNECT 1200", "BUSY",
                "NO CARRIER",   "NO DIALTONE",  "NO ANSWER"};
    }
};

} // namespace quillon::sim
