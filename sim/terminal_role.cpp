#include "sim/terminal_role.h"

namespace quillon::sim {

TerminalRole::TerminalRole(QObject* parent) : Role(parent) {
    m_line.reserve(MaxLine);
}

void TerminalRole::receive(QByteArrayView bytes) {
    for (const char c : bytes) {
        // Terminals send CR, LF or CR LF; the LF of a CR LF pair must not count as a
        // second (empty) line.
        if (c == '\n' && m_afterCr) {
            m_afterCr = false;
            continue;
        }
        m_afterCr = c == '\r';
        if (c == '\r' || c == '\n') {
            answer();
            continue;
        }
        m_line.append(c);
        if (m_line.size() >= MaxLine)
            answer();
    }
}

void TerminalRole::clientClosed() {
    m_line.clear();
    m_afterCr = false;
}

void TerminalRole::answer() {
    if (m_line.isEmpty())
        return;
    // The reply adds only "PXC: " and line ends around the user's text, so it can contain
    // "OK" only where the user typed it; the main program takes any "OK" for a modem.
    send(QByteArrayLiteral("\r\nPXC: ") + m_line + QByteArrayLiteral("\r\n"));
    m_line.clear();
}

} // namespace quillon::sim
