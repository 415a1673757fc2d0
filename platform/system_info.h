#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace quillon {

// The operating system's system-information tool, as it is started.
struct SystemInfoTool {
    QString program;
    QStringList arguments;
};

// Finding the tool and starting it, apart, so a caller can be tried without
// anything being run.
struct SystemInfoLauncher {
    std::function<std::optional<SystemInfoTool>()> find;
    // False when the program could not be started.
    std::function<bool(const SystemInfoTool&)> start;
};

// Tried in this order on systems without the registry entries; the first one
// on PATH is started.
inline const QStringList kSystemInfoPrograms = {QStringLiteral("hardinfo"),
                                                QStringLiteral("gnome-system-monitor"),
                                                QStringLiteral("plasma-systemmonitor"),
                                                QStringLiteral("ksysguard"),
                                                QStringLiteral("mate-system-monitor"),
                                                QStringLiteral("xfce4-taskmanager")};

// Windows: the path the registry gives. Elsewhere: the first of
// kSystemInfoPrograms found on PATH. Nothing when there is none.
std::optional<SystemInfoTool> findSystemInfoTool();
// A separate program, not waited for and started without a shell.
bool startSystemInfoTool(const SystemInfoTool& tool);
// The launcher of this machine.
SystemInfoLauncher systemInfoLauncher();

} // namespace quillon
