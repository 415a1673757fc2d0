#include "sim/controller_role.h"

namespace quillon::sim {

ControllerRole::ControllerRole(const LoaderSettings& settings, const ConsoleSettings& console,
                               QObject* parent)
    : Role(parent), m_console(console), m_loader(settings) {
    const auto forward = [this](const QByteArray& bytes) { send(bytes); };
    m_terminal.setSender(forward);
    m_console.setSender(forward);
    m_loader.setSender(forward);
    m_loader.setReporter([this](const QString& text) { report(text); });
}

void ControllerRole::receive(QByteArrayView bytes) {
    for (const char c : bytes)
        route(c);
}

void ControllerRole::clientClosed() {
    m_terminal.clientClosed();
    m_console.clientClosed();
    m_loader.clientClosed();
    // The program closes between start commands, so the loader keeps its sequence; what
    // was held is that session's half line all the same, and goes with it.
    m_held.clear();
}

bool ControllerRole::routeToConsole(char c) {
    using Phase = LoaderRole::Phase;
    // Blocks of a transfer carry every byte value; they are not frames.
    if (m_loader.phase() == Phase::Calling || m_loader.phase() == Phase::Receiving)
        return false;
    if (!m_console.inFrame()) {
        // "&" is a report only where a line starts; typed in the middle of one it is text.
        if (c == ConsoleRole::ReportLead && m_terminal.lineStarted())
            return false;
        if (!ConsoleRole::opensFrame(c))
            return false;
        // A frame abandons whatever was typed or started before it.
        m_terminal.clientClosed();
        if (m_loader.phase() == Phase::Starting)
            m_loader.reset();
        m_held.clear();
    }
    m_console.receive(QByteArrayView(&c, 1));
    return true;
}

void ControllerRole::route(char c) {
    using Phase = LoaderRole::Phase;
    if (routeToConsole(c))
        return;
    const Phase before = m_loader.phase();
    if (before == Phase::Idle) {
        // The loader let a start sequence lapse: it was typing after all.
        releaseHeld();
        if (!m_loader.opensWith(c) || m_terminal.lineStarted()) {
            m_terminal.receive(QByteArrayView(&c, 1));
            return;
        }
    }
    m_loader.receive(QByteArrayView(&c, 1));
    switch (m_loader.phase()) {
    case Phase::Idle:
        if (before == Phase::Starting) {
            m_held += c;
            releaseHeld();
        }
        return;
    case Phase::Starting:
        m_held += c;
        // No start sequence is this long: someone is holding a key down.
        if (m_held.size() >= TerminalRole::MaxLine) {
            m_loader.reset();
            releaseHeld();
        }
        return;
    case Phase::Calling:
    case Phase::Receiving:
        m_held.clear();
        return;
    }
}

void ControllerRole::releaseHeld() {
    if (m_held.isEmpty())
        return;
    m_terminal.receive(m_held);
    m_held.clear();
}

} // namespace quillon::sim
