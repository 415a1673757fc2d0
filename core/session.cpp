#include "core/session.h"

#include "core/error_report.h"

#include <QDir>
#include <QFileInfo>

namespace quillon {

void Session::reportError(int number) {
    lastErrorNumber = number;
    showLastError(dialogs, number);
}

QString Session::defaultFolder() const {
    if (QFileInfo(settingsFile).absolutePath() == QFileInfo(appDir).absoluteFilePath())
        return appDir;
    // Native, as appDir is: the folder gets the platform's separator appended.
    return QDir::toNativeSeparators(QDir::homePath());
}

void Session::applySettings(const SettingsChange& change) {
    const auto apply = [](auto& value, const auto& changed) {
        if (changed)
            value = *changed;
    };
    apply(settings.portNumber, change.portNumber);
    apply(settings.transferSettings, change.transferSettings);
    apply(settings.terminalSettings, change.terminalSettings);
    apply(settings.programFile, change.programFile);
    apply(settings.workingDirectory, change.workingDirectory);
    apply(settings.useModem, change.useModem);
    apply(settings.extraAtCommands, change.extraAtCommands);
    apply(settings.phoneNumber, change.phoneNumber);
}

} // namespace quillon
