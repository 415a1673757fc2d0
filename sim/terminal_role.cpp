#include "sim/terminal_role.h"

namespace quillon::sim {

TerminalRole::TerminalRole(std::optional<LineSetting> line, QObject* parent)
    : Role(parent), listensAt_(line) {
    line_.reserve(MaxLine);
}

void TerminalRole::receive(QByteArrayView bytes) {
    for (const char c : bytes) {
        // Terminals end lines with CR, LF or CR LF. The LF of a CR LF pair ends an empty
        // line, and empty lines get no answer, so all three need no further care.
        if (c == '\r' || c == '\n') {
            answer();
            continue;
        }
        line_.append(c);
        // "atq0" and "atq1" switch a modem's result codes; the program sends them
        // around a report without a line end, and a controller has nothing to say to them.
        if (line_.size() == 4 && (line_.compare("atq0", Qt::CaseInsensitive) == 0 ||
                                  line_.compare("atq1", Qt::CaseInsensitive) == 0)) {
            line_.clear();
            continue;
        }
        if (line_.size() >= MaxLine)
            answer();
    }
}

void TerminalRole::clientClosed() {
    line_.clear();
}

void TerminalRole::answer() {
    if (line_.isEmpty())
        return;
    // The reply adds only "PXC: " and line ends around the user's text, so it can contain
    // "OK" only where the user typed it; the main program takes any "OK" for a modem.
    send(QByteArrayLiteral("\r\nPXC: ") + line_ + QByteArrayLiteral("\r\n"));
    line_.clear();
}

} // namespace quillon::sim
