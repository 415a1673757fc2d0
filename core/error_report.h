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

// The report's text for a number as a clause inside a sentence of another message:
// one line, a small first letter, no final point.
QString errorReasonText(int number);

// The one way caught failures reach the user; 0 shows nothing.
void showLastError(Dialogs& dialogs, int lastErrorNumber);

} // namespace quillon
