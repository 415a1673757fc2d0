#pragma once

#include <QByteArray>

namespace quillon::sim {

// Who the controller is on a line shared by several: it answers only frames that name
// both its station and its identifier.
struct ConsoleSettings {
    QByteArray station = "B";
    QByteArray identifier = "5839";
};

} // namespace quillon::sim
