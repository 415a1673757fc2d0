#pragma once

#include "sim/controller_role.h"

#include <QByteArray>
#include <QList>

namespace quillon::simtest {

// Everything a controller with the default settings sends back for these chunks,
// fed one after the other as the line would deliver them.
inline QByteArray controllerAnswers(const QList<QByteArray>& chunks) {
    sim::ControllerRole controller(sim::LoaderSettings{});
    QByteArray sent;
    controller.setSender([&](const QByteArray& bytes) { sent += bytes; });
    for (const QByteArray& chunk : chunks)
        controller.receive(chunk);
    return sent;
}

} // namespace quillon::simtest
