#include "platform/settings_location.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#ifdef Q_OS_WIN
#include <QTemporaryFile>
#else
#include <unistd.h>
#endif

namespace quillon {

namespace {

const QString kFileName = QStringLiteral("Quillon.ini");

QString userSettingsFolder() {
#ifdef Q_OS_WIN
    QString base = QDir::fromNativeSeparators(qEnvironmentVariable("APPDATA"));
    if (base.isEmpty())
        base = QDir::homePath() + QStringLiteral("/AppData/Roaming");
    return base + QStringLiteral("/Quillon");
#else
    // A relative XDG_CONFIG_HOME is invalid and must be ignored, or the file would
    // move with the current directory.
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty() || QDir::isRelativePath(base))
        base = QDir::homePath() + QStringLiteral("/.config");
    return base + QStringLiteral("/quillon");
#endif
}

} // namespace

bool folderWritable(const QString& folder) {
    if (!QFileInfo(folder).isDir())
        return false;
#ifdef Q_OS_WIN
    // The access check there reads only the read-only attribute, not the folder's
    // permissions (Program Files), so only a real file tells.
    QTemporaryFile probe(folder + QStringLiteral("/.quillon-XXXXXX"));
    return probe.open();
#else
    return ::access(QFile::encodeName(folder).constData(), W_OK) == 0;
#endif
}

QString companionProgramFolder(const QString& ownFolder, const QString& programName) {
    const QDir own(ownFolder);
    if (QFileInfo(own.filePath(programName)).isFile() ||
        QFileInfo(own.filePath(programName + QStringLiteral(".exe"))).isFile())
        return ownFolder;
    for (const QString& relative : {QStringLiteral("../"), QStringLiteral("../lib/quillon/")}) {
        const QString folder = QDir::cleanPath(own.filePath(relative + programName));
        if (QFileInfo(folder).isDir())
            return folder;
    }
    return ownFolder;
}

QString settingsFilePath(const QString& programFolder, const QString& programName,
                         const FolderCheck& writable) {
    if (writable(programFolder))
        return programFolder + QLatin1Char('/') + kFileName;
    return userSettingsFolder() + QLatin1Char('/') + programName + QLatin1Char('/') + kFileName;
}

} // namespace quillon
