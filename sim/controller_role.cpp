#include "sim/controller_role.h"

namespace quillon::sim {

ControllerRole::ControllerRole(const LoaderSettings& settings, const ConsoleSettings& console,
                               int modbusAddress, QObject* parent)
    : Role(parent), m_console(console), m_modbus(modbusAddress), m_loader(settings) {
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
    m_request.clear();
    // The program closes between start commands, so the loader keeps its sequence; what
    // was held is that session's half line all the same, and goes with it.
    m_held.clear();
}

bool ControllerRole::loaderTransferring() const {
    // Blocks of a transfer carry every byte value; they are neither frames nor requests.
    return m_loader.phase() == LoaderRole::Phase::Calling ||
           m_loader.phase() == LoaderRole::Phase::Receiving;
}

bool ControllerRole::routeToModbus(char c) {
    if (loaderTransferring() || m_console.inFrame())
        return false;
    if (m_request.isEmpty() && m_terminal.lineStarted())
        return false;
    const QByteArray candidate = m_request + c;
    if (!m_modbus.mayStart(candidate.first(qMin<qsizetype>(2, candidate.size())))) {
        if (m_request.isEmpty())
            return false;
        // Not a request after all: the bytes were typing, and so is this one.
        m_request.clear();
        m_terminal.receive(candidate);
        return true;
    }
    m_request = candidate;
    if (m_request.size() < ModbusSlave::RequestSize)
        return true;
    const std::optional<QByteArray> reply = m_modbus.answer(m_request);
    if (reply)
        send(*reply);
    else
        m_terminal.receive(m_request);
    m_request.clear();
    return true;
}

bool ControllerRole::routeToConsole(char c) {
    using Phase = LoaderRole::Phase;
    if (loaderTransferring())
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
    if (routeToModbus(c) || routeToConsole(c))
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
