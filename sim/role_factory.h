#pragma once

#include "sim/loader_settings.h"
#include "sim/role.h"

#include <QString>
#include <QStringList>

#include <memory>

namespace quillon::sim {

QStringList roleNames();
QString defaultRoleName();
// Whether the loader settings mean anything to the role of that name.
bool roleHasLoader(const QString& name);
// Null for a name not in roleNames().
std::unique_ptr<Role> makeRole(const QString& name, const LoaderSettings& loader);

} // namespace quillon::sim
