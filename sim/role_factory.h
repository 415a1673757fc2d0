#pragma once

#include "sim/role.h"
#include "sim/sim_options.h"

#include <QString>
#include <QStringList>

#include <memory>

namespace quillon::sim {

QStringList roleNames();
QString defaultRoleName();
// Whether the loader settings mean anything to the role of that name.
bool roleHasLoader(const QString& name);
// Whether the station and identifier mean anything to the role of that name.
bool roleHasConsole(const QString& name);
// Whether the role of that name listens at settings of its own.
bool roleListens(const QString& name);
// Null for a role name not in roleNames(). A relay still has to be opened.
std::unique_ptr<Role> makeRole(const SimOptions& options);

} // namespace quillon::sim
