#include "core/settings_file.h"

#include "core/text_file.h"
#include "core/text_helpers.h"
#include "platform/paths.h"

#include <QDir>
#include <QFileInfo>

namespace quillon {

SettingsValues defaultSettings(const QString& appDir) {
    SettingsValues values;
    values.programFile = defaultProgramFile();
    values.workingDirectory = appDir + folderSeparator();
    return values;
}

LoadedSettings parseSettings(const QString& text, int lines, const QString& appDir) {
    LoadedSettings loaded;
    loaded.values = defaultSettings(appDir);
    SettingsValues& v = loaded.values;
    const auto port = toInt16(getLine(text, 1));
    loaded.savedPort = port ? *port : 1;
    loaded.portLine = getLine(text, 1);
    v.transferSettings = getLine(text, 2);
    v.terminalSettings = getLine(text, 3);
    v.programFile = getLine(text, 4);
    v.workingDirectory = getLine(text, 5);
    if (lines < 8)
        return loaded;
    v.useModem = roundToInt16(leadingNumber(getLine(text, 6))).value_or(0);
    v.extraAtCommands = getLine(text, 7);
    v.phoneNumber = getLine(text, 8);
    return loaded;
}

QString formatSettings(const SettingsValues& v, int lines) {
    QStringList out = {v.portNumber, v.transferSettings, v.terminalSettings, v.programFile,
                       v.workingDirectory};
    if (lines >= 8)
        out << QString::number(v.useModem) << v.extraAtCommands << v.phoneNumber;
    return out.join(kCrLf) + kCrLf;
}

std::optional<LoadedSettings> loadSettingsFile(const QString& path, int lines,
                                               const QString& appDir) {
    if (!QFileInfo::exists(path))
        return std::nullopt;
    const TextFileRead read = readTextFile(path);
    LoadedSettings loaded = parseSettings(read.text, lines, appDir);
    loaded.readError = read.error;
    return loaded;
}

int saveSettingsFile(const QString& path, const SettingsValues& values, int lines) {
    // The user's configuration folder for this program does not exist before its first
    // close; a failure to make it shows as the write's own error below.
    QDir().mkpath(QFileInfo(path).absolutePath());
    return writeTextFile(path, formatSettings(values, lines), false);
}

} // namespace quillon
