#include "platform/port_taps.h"

#include <algorithm>

namespace quillon {

PortFactory PortTaps::tapping(PortFactory factory) {
    return [this, factory = std::move(factory)] {
        std::unique_ptr<SerialPort> port = factory();
        if (!port)
            return port;
        port->setLineTap(tap_);
        std::erase_if(ports_, [](const QPointer<SerialPort>& p) { return p.isNull(); });
        ports_.emplace_back(port.get());
        return port;
    };
}

void PortTaps::setTap(LineTap* tap) {
    tap_ = tap;
    for (const QPointer<SerialPort>& port : ports_) {
        if (!port)
            continue;
        port->setLineTap(tap);
        if (tap && port->isOpen())
            tap->settingsChanged(*port);
    }
}

} // namespace quillon
