#include "sim/controller_role.h"

namespace quillon::sim {

ControllerRole::ControllerRole(const LoaderSettings& settings, const ConsoleSettings& console,
                               int modbusAddress, QObject* parent)
    : Role(parent), terminal_(settings.line.console), console_(console), modbus_(modbusAddress),
      loader_(settings) {
    const auto forward = [this](const QByteArray& bytes) { send(bytes); };
    terminal_.setSender(forward);
    console_.setSender(forward);
    loader_.setSender(forward);
    loader_.setReporter([this](const QString& text) { report(text); });
}

void ControllerRole::receive(QByteArrayView bytes) {
    for (const char c : bytes)
        route(c);
}

void ControllerRole::receiveNoise(QByteArrayView bytes) {
    for (const char c : bytes)
        routeNoise(c);
}

void ControllerRole::routeNoise(char c) {
    using Phase = LoaderRole::Phase;
    switch (loader_.phase()) {
    case Phase::Receiving:
        route(c);
        return;
    case Phase::Starting:
    case Phase::Calling:
        return;
    case Phase::Idle:
        if (!routeToModbus(c) && !routeToConsole(c))
            terminal_.receive(QByteArrayView(&c, 1));
        return;
    }
}

void ControllerRole::clientClosed() {
    terminal_.clientClosed();
    console_.clientClosed();
    loader_.clientClosed();
    request_.clear();
    // The program closes between start commands, so the loader keeps its sequence; what
    // was held is that session's half line all the same, and goes with it.
    held_.clear();
}

bool ControllerRole::loaderTransferring() const {
    // Blocks of a transfer carry every byte value; they are neither frames nor requests.
    return loader_.phase() == LoaderRole::Phase::Calling ||
           loader_.phase() == LoaderRole::Phase::Receiving;
}

bool ControllerRole::routeToModbus(char c) {
    if (loaderTransferring() || console_.inFrame())
        return false;
    if (request_.isEmpty() && terminal_.lineStarted())
        return false;
    const QByteArray candidate = request_ + c;
    if (!modbus_.mayStart(candidate.first(qMin<qsizetype>(2, candidate.size())))) {
        if (request_.isEmpty())
            return false;
        // Not a request after all: the bytes were typing, and so is this one.
        request_.clear();
        terminal_.receive(candidate);
        return true;
    }
    request_ = candidate;
    if (request_.size() < ModbusSlave::RequestSize)
        return true;
    const std::optional<QByteArray> reply = modbus_.answer(request_);
    if (reply)
        send(*reply);
    else
        terminal_.receive(request_);
    request_.clear();
    return true;
}

bool ControllerRole::routeToConsole(char c) {
    using Phase = LoaderRole::Phase;
    if (loaderTransferring())
        return false;
    if (!console_.inFrame()) {
        // "&" is a report only where a line starts; typed in the middle of one it is text.
        if (c == ConsoleRole::ReportLead && terminal_.lineStarted())
            return false;
        if (!ConsoleRole::opensFrame(c))
            return false;
        // A frame abandons whatever was typed or started before it.
        terminal_.clientClosed();
        if (loader_.phase() == Phase::Starting)
            loader_.reset();
        held_.clear();
    }
    console_.receive(QByteArrayView(&c, 1));
    return true;
}

void ControllerRole::route(char c) {
    using Phase = LoaderRole::Phase;
    if (routeToModbus(c) || routeToConsole(c))
        return;
    const Phase before = loader_.phase();
    if (before == Phase::Idle) {
        // The loader let a start sequence lapse: it was typing after all.
        releaseHeld();
        if (!loader_.opensWith(c) || terminal_.lineStarted()) {
            terminal_.receive(QByteArrayView(&c, 1));
            return;
        }
    }
    loader_.receive(QByteArrayView(&c, 1));
    switch (loader_.phase()) {
    case Phase::Idle:
        if (before == Phase::Starting) {
            held_ += c;
            releaseHeld();
        }
        return;
    case Phase::Starting:
        held_ += c;
        // No start sequence is this long: someone is holding a key down.
        if (held_.size() >= TerminalRole::MaxLine) {
            loader_.reset();
            releaseHeld();
        }
        return;
    case Phase::Calling:
    case Phase::Receiving:
        held_.clear();
        return;
    }
}

void ControllerRole::releaseHeld() {
    if (held_.isEmpty())
        return;
    terminal_.receive(held_);
    held_.clear();
}

} // namespace quillon::sim
