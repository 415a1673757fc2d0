#include "platform/system_info.h"

#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace quillon {

#ifdef Q_OS_WIN

namespace {

// GetKeyValue: one string value of the registry; false, with the value empty,
// when the key or the value is missing or is not a string. Only read access is
// asked for: an ordinary user may not open these keys for writing.
bool getKeyValue(HKEY root, const char* keyName, const char* valueName, QString& value) {
    value.clear();
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, keyName, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    char buffer[1024] = {};
    DWORD size = sizeof buffer;
    DWORD type = 0;
    const LONG result =
        RegQueryValueExA(key, valueName, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
    RegCloseKey(key);
    if (result != ERROR_SUCCESS || type != REG_SZ)
        return false;
    DWORD length = size;
    if (length > 0 && buffer[length - 1] == '\0')
        --length;
    value = QString::fromLocal8Bit(buffer, static_cast<qsizetype>(length));
    return true;
}

} // namespace

std::optional<SystemInfoTool> findSystemInfoTool() {
    QString path;
    if (getKeyValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO", "PATH", path))
        return SystemInfoTool{path, {}};
    if (getKeyValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Shared Tools Location", "MSINFO",
                    path)) {
        const QString program = path + QStringLiteral("\\MSINFO32.EXE");
        if (QFileInfo::exists(program))
            return SystemInfoTool{program, {}};
    }
    return std::nullopt;
}

#else

std::optional<SystemInfoTool> findSystemInfoTool() {
    for (const QString& name : kSystemInfoPrograms) {
        const QString path = QStandardPaths::findExecutable(name);
        if (!path.isEmpty())
            return SystemInfoTool{path, {}};
    }
    return std::nullopt;
}

#endif

bool startSystemInfoTool(const SystemInfoTool& tool) {
    return QProcess::startDetached(tool.program, tool.arguments);
}

SystemInfoLauncher systemInfoLauncher() {
    return {findSystemInfoTool, startSystemInfoTool};
}

} // namespace quillon
