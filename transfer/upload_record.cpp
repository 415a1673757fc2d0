#include "transfer/upload_record.h"

#include "core/text_file.h"
#include "transfer/program_file.h"

namespace quillon {

FailureKind failureKind(int errorNumber) {
    if (errorNumber == kBlockCountOverflow || errorNumber == UploadFailure::EmptyProgramFile ||
        (errorNumber >= FileError::BadFileName && errorNumber <= FileError::PathNotFound))
        return FailureKind::File;
    if (errorNumber >= 8000 && errorNumber <= 8020)
        return FailureKind::Port;
    return FailureKind::Transfer;
}

QString outcomeText(const UploadRecord& record) {
    switch (record.outcome) {
    case UploadRecord::Outcome::Sent:
        return QStringLiteral("ENVIADO");
    case UploadRecord::Outcome::Cancelled:
        return QStringLiteral("CANCELADO");
    case UploadRecord::Outcome::Failed:
        break;
    }
    return QStringLiteral("FALHA %1").arg(record.errorNumber);
}

} // namespace quillon
