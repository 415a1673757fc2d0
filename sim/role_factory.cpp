#include "sim/role_factory.h"

#include "sim/terminal_role.h"

namespace quillon::sim {

QStringList roleNames() {
    return {QStringLiteral("terminal")};
}

std::unique_ptr<Role> makeRole(const QString& name) {
    if (name == QLatin1String("terminal"))
        return std::make_unique<TerminalRole>();
    return nullptr;
}

} // namespace quillon::sim
