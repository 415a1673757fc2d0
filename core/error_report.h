#pragma once

#include "platform/dialogs.h"

#include <QString>

namespace quillon {

struct ErrorMessage {
    QString title;
    QString text;
    MessageIcon icon = MessageIcon::None;
};

inline const QString kPortErrorTitle = QStringLiteral("ERRO na Porta de Comunicação");
inline const QString kFileErrorTitle = QStringLiteral("Erro de Disco");
inline const QString kOtherErrorTitle = QStringLiteral(" ERRO");

// What the one error report shows for a number (never called with 0).
ErrorMessage describeError(int number);

// The one way caught failures reach the user; 0 shows nothing.
void showLastError(Dialogs& dialogs, int lastErrorNumber);

} // namespace quillon
