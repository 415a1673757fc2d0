#include "platform/paths.h"

#include <QRegularExpression>

namespace quillon {

QString localPath(const QString& storedPath) {
#ifdef Q_OS_WIN
    return storedPath;
#else
    QString path = storedPath;
    static const QRegularExpression drive(QStringLiteral("^[A-Za-z]:[\\\\/]"));
    if (drive.match(path).hasMatch())
        path = path.mid(2);
    path.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return path;
#endif
}

QString folderSeparator() {
#ifdef Q_OS_WIN
    return QStringLiteral("\\");
#else
    return QStringLiteral("/");
#endif
}

QString defaultProgramFile() {
#ifdef Q_OS_WIN
    return QStringLiteral("C:\\");
#else
    return QStringLiteral("/");
#endif
}

} // namespace quillon
