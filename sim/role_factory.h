#pragma once

#include "sim/role.h"

#include <QString>
#include <QStringList>

#include <memory>

namespace quillon::sim {

QStringList roleNames();
// Null for a name not in roleNames().
std::unique_ptr<Role> makeRole(const QString& name);

} // namespace quillon::sim
