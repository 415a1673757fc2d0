#include "transfer/program_file.h"

#include "core/text_file.h"
#include "core/text_helpers.h"

#include <QDir>
#include <QFileInfo>

namespace quillon {

int programFileErrorNumber(const QFile& file, const QString& path) {
    const QFileInfo info(path);
    if (!info.absoluteDir().exists())
        return FileError::PathNotFound;
    if (!info.exists())
        return FileError::FileNotFound;
    if (info.isDir())
        return FileError::PathFileAccess;
    if (file.error() == QFileDevice::ReadError)
        return FileError::DeviceIo;
    return FileError::PermissionDenied;
}

QString emptyProgramFileText(const QString& path) {
    return QStringLiteral("O arquivo do programa está vazio:") + kCrLf + path + kCrLf +
           QStringLiteral("Nada foi enviado.");
}

} // namespace quillon
