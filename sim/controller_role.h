#pragma once

#include "sim/console_role.h"
#include "sim/console_settings.h"
#include "sim/loader_role.h"
#include "sim/loader_settings.h"
#include "sim/modbus_slave.h"
#include "sim/role.h"
#include "sim/terminal_role.h"

namespace quillon::sim {

// A whole controller: its terminal answers typed lines, its station console answers
// framed commands (ENQ or "&" first), its MODBUS slave answers RTU requests (its address
// byte first, where no line has started), and its loader takes over from a start
// sequence until the transfer ends. A "4" at the start of a line (behind a modem, a
// "1" too) may be either, so it and what follows are held back until the loader knows: if
// it turns out to be typing, the console gets all of it, as if nothing had been in the way.
class ControllerRole : public Role {
    Q_OBJECT
public:
    explicit ControllerRole(const LoaderSettings& settings, const ConsoleSettings& console = {},
                            int modbusAddress = 1, QObject* parent = nullptr);

    void receive(QByteArrayView bytes) override;
    // Junk reaches the loader only during a transfer; idle, the console and the
    // terminal take it like any other characters, but it never starts the loader.
    void receiveNoise(QByteArrayView bytes) override;
    std::optional<LineSetting> lineSetting() const override { return loader_.lineSetting(); }
    void clientClosed() override;

private:
    void route(char c);
    void routeNoise(char c);
    void releaseHeld();

    bool routeToConsole(char c);
    bool routeToModbus(char c);
    bool loaderTransferring() const;

    TerminalRole terminal_;
    ConsoleRole console_;
    ModbusSlave modbus_;
    QByteArray request_;
    LoaderRole loader_;
    QByteArray held_;
};

} // namespace quillon::sim
