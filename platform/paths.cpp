#include "platform/paths.h"

#include <QFileInfo>
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

bool isOpenableTextFile(const QString& path) {
    const QFileInfo info(path); // a link is judged by what it leads to
    return info.isFile() && info.size() <= kLargestTextFile;
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
