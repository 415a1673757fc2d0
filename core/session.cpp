#include "core/session.h"

#include "core/error_report.h"

namespace quillon {

void Session::reportError(int number) {
    lastErrorNumber = number;
    showLastError(dialogs, number);
}

QString Session::settingsPath() const {
    return appDir + QStringLiteral("/Quillon.ini");
}

} // namespace quillon
