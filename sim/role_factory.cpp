#include "sim/role_factory.h"

#include "sim/controller_role.h"
#include "sim/loader_role.h"
#include "sim/relay_role.h"
#include "sim/terminal_role.h"

namespace quillon::sim {

QStringList roleNames() {
    return {QStringLiteral("controller"), QStringLiteral("terminal"), QStringLiteral("loader"),
            QStringLiteral("relay")};
}

QString defaultRoleName() {
    return QStringLiteral("controller");
}

bool roleHasLoader(const QString& name) {
    return name == QLatin1String("controller") || name == QLatin1String("loader");
}

bool roleHasConsole(const QString& name) {
    return name == QLatin1String("controller");
}

bool roleListens(const QString& name) {
    return name != QLatin1String("relay");
}

std::unique_ptr<Role> makeRole(const SimOptions& options) {
    const QString& name = options.role;
    const LoaderSettings& loader = options.loader;
    if (name == QLatin1String("controller"))
        return std::make_unique<ControllerRole>(loader, options.console, options.modbusAddress);
    if (name == QLatin1String("terminal"))
        return std::make_unique<TerminalRole>(loader.line.console);
    if (name == QLatin1String("loader"))
        return std::make_unique<LoaderRole>(loader);
    if (name == QLatin1String("relay"))
        return std::make_unique<RelayRole>();
    return nullptr;
}

} // namespace quillon::sim
