#include "sim/port_link.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace quillon::sim {

PortLink::~PortLink() {
    remove();
}

bool PortLink::create(const QString& dir, const QString& name, const QString& target,
                      QString* error) {
    auto fail = [&](const QString& message) {
        if (error)
            *error = message;
        return false;
    };
    const QString absDir = QDir(dir).absolutePath();
    if (!QDir().mkpath(absDir) || !QFileInfo(absDir).isDir())
        return fail(QStringLiteral("cannot create ports folder %1").arg(absDir));

    const QString path = absDir + QLatin1Char('/') + name;
    const QByteArray encodedPath = QFile::encodeName(path);
    struct stat st {};
    if (::lstat(encodedPath.constData(), &st) == 0 && !S_ISLNK(st.st_mode))
        return fail(QStringLiteral("%1 exists and is not a link; not replacing it").arg(path));

    // Build the link under a private name and rename it over the old one, so a program
    // polling the folder never sees the port missing or half made.
    const QString temp = QStringLiteral("%1/.%2.%3.tmp").arg(absDir, name).arg(::getpid());
    const QByteArray encodedTemp = QFile::encodeName(temp);
    ::unlink(encodedTemp.constData());
    if (::symlink(QFile::encodeName(target).constData(), encodedTemp.constData()) != 0)
        return fail(QStringLiteral("cannot create link in %1: %2")
                        .arg(absDir, QString::fromLocal8Bit(std::strerror(errno))));
    if (std::rename(encodedTemp.constData(), encodedPath.constData()) != 0) {
        const int saved = errno;
        ::unlink(encodedTemp.constData());
        return fail(QStringLiteral("cannot create %1: %2")
                        .arg(path, QString::fromLocal8Bit(std::strerror(saved))));
    }
    path_ = path;
    target_ = target;
    return true;
}

void PortLink::remove() {
    if (path_.isEmpty())
        return;
    const QByteArray encodedPath = QFile::encodeName(path_);
    char target[4096];
    const ssize_t n = ::readlink(encodedPath.constData(), target, sizeof target);
    if (n > 0 && QByteArray(target, static_cast<qsizetype>(n)) == QFile::encodeName(target_))
        ::unlink(encodedPath.constData());
    path_.clear();
    target_.clear();
}

} // namespace quillon::sim
