#pragma once

#include "platform/serial_port.h"

#include <QPointer>

#include <vector>

namespace quillon {

// One line tap for every port a factory makes: those made later get it as they are
// made, those alive already get it at once. The ports are watched, not owned: any of
// them may go at any time.
class PortTaps {
public:
    // The same ports as `factory` makes, each under the tap of the moment.
    PortFactory tapping(PortFactory factory);
    // Null ends tapping. A port open at that moment is told to the tap by its settings,
    // so the record says what the line was running at.
    void setTap(LineTap* tap);
    LineTap* tap() const { return tap_; }

private:
    LineTap* tap_ = nullptr;
    std::vector<QPointer<SerialPort>> ports_;
};

} // namespace quillon
