#pragma once

#include "core/session.h"
#include "modbus/frm_modbus.h"
#include "platform/port_map.h"
#include "platform/qt_serial_port.h"
#include "tests/modbus/modbus_window_driver.h"
#include "tests/support/fake_dialogs.h"

#include <memory>
#include <optional>

namespace quillon::test {

// The MODBUS window on a real port of its own, opened as the main window hands
// its port over: at the given settings, one receive event per chunk.
struct ModbusOnPort {
    ModbusOnPort(const QString& appDir, const PortMap& map)
        : session(fullEdition(), appDir, dialogs, qtPortFactory(map)) {}

    // Empty when the port is open and the window shown; otherwise why not.
    QString open(int com, const QString& settings) {
        port->setPortNumber(com);
        if (port->setSettings(settings) != 0)
            return QStringLiteral("settings refused: %1").arg(settings);
        port->setReceiveThreshold(1);
        if (const int error = port->open())
            return QStringLiteral("cannot open COM%1: %2").arg(com).arg(error);
        window = std::make_unique<FrmModBus>(session, *port);
        window->show();
        ui.emplace(*window);
        return {};
    }

    FakeDialogs dialogs;
    Session session;
    std::unique_ptr<SerialPort> port = session.portFactory();
    std::unique_ptr<FrmModBus> window;
    std::optional<ModbusWindowDriver> ui;
};

} // namespace quillon::test
