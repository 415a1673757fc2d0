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

} // namespace quillon
