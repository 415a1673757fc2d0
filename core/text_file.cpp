#include "core/text_file.h"

#include "core/text_helpers.h"
#include "platform/cp1252.h"
#include "platform/errno_codes.h"
#include "platform/paths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>

#include <algorithm>
#include <cerrno>

namespace quillon {

int fileErrorFromErrno(int code, const QString& path, bool reading) {
    if (isDiskFullErrno(code))
        return FileError::DiskFull;
    switch (code) {
    case EACCES:
    case EPERM:
    case EROFS:
        return FileError::PermissionDenied;
    case EISDIR:
        return FileError::PathFileAccess;
    case ENAMETOOLONG:
        return FileError::BadName;
    case EIO:
        return FileError::DeviceIo;
    default:
        break;
    }
    const QFileInfo info(path);
    if (!info.absoluteDir().exists())
        return FileError::PathNotFound;
    if (info.isDir())
        return FileError::PathFileAccess;
    if (reading && !info.exists())
        return FileError::FileNotFound;
    return FileError::PathFileAccess;
}

namespace {

QString decodeFromDisk(const QByteArray& bytes) {
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (!utf8.hasError())
        return text;
    return decodeCp1252(bytes);
}

QByteArray encodeForDisk(const QString& text, bool wholeFile) {
    // cp1252 keeps files readable by older copies of the program. But reading takes
    // valid UTF-8 for UTF-8, and some cp1252 text ("MediÃ§Ãµes") is valid UTF-8 as bytes:
    // that text, and what cp1252 cannot hold, is written as UTF-8, so that every file
    // reads back as it was written.
    if (auto bytes = encodeCp1252(text); bytes && decodeFromDisk(*bytes) == text)
        return *bytes;
    // Reading drops one byte-order mark at the start of a file; a text that begins
    // with that character keeps it behind a mark of its own.
    const bool startsWithMark = wholeFile && text.startsWith(QChar(QChar::ByteOrderMark));
    return (startsWithMark ? QByteArrayLiteral("\xEF\xBB\xBF") : QByteArray()) + text.toUtf8();
}

} // namespace

int writeTextFile(const QString& storedPath, const QString& text, bool append) {
    const QString path = localPath(storedPath);
    // A FIFO would block the open, and replacing through a link to a device would
    // put a file where the device was.
    if (QFileInfo::exists(path) && !QFileInfo(path).isFile())
        return FileError::PathFileAccess;
    const QByteArray bytes = encodeForDisk(text + kCrLf, !append);
    if (append)
        return appendToFile(path, bytes);
    QSaveFile file(path);
    errno = 0;
    if (!file.open(QIODevice::WriteOnly))
        return fileErrorFromErrno(errno, path, false);
    errno = 0;
    if (file.write(bytes) != bytes.size()) {
        const int code = errno;
        file.cancelWriting();
        return fileErrorFromErrno(code, path, false);
    }
    errno = 0;
    if (!file.commit())
        return fileErrorFromErrno(errno, path, false);
    return FileError::None;
}

int appendToFile(const QString& path, const QByteArray& bytes, const QByteArray& startOfFile) {
    if (QFileInfo::exists(path) && !QFileInfo(path).isFile())
        return FileError::PathFileAccess;
    QFile file(path);
    errno = 0;
    // Unbuffered: what a failed write leaves is cut off below, and no buffer may
    // hold on to it and try again at the close.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
        return fileErrorFromErrno(errno, path, false);
    const qint64 before = file.size();
    const QByteArray whole = before == 0 ? startOfFile + bytes : bytes;
    errno = 0;
    if (file.write(whole) != whole.size() || !file.flush()) {
        const int code = errno;
        // A full disk must not leave half a line for the next one to run into.
        file.resize(before);
        return fileErrorFromErrno(code, path, false);
    }
    return FileError::None;
}

TextFileRead readTextFile(const QString& storedPath) {
    const QString path = localPath(storedPath);
    TextFileRead result;
    if (QFileInfo::exists(path) && !isOpenableTextFile(path)) {
        result.error = FileError::PathFileAccess;
        return result;
    }
    QFile file(path);
    errno = 0;
    if (!file.open(QIODevice::ReadOnly)) {
        result.error = fileErrorFromErrno(errno, path, true);
        return result;
    }
    return readTextFrom(file, path);
}

TextFileRead readTextFrom(QIODevice& source, const QString& path) {
    TextFileRead result;
    QByteArray bytes;
    constexpr qint64 kPiece = 64 * 1024;
    for (;;) {
        // Never more than a text file may hold, even if the file grows while read.
        if (bytes.size() > kLargestTextFile) {
            bytes.truncate(kLargestTextFile);
            result.error = FileError::DeviceIo;
            break;
        }
        const qsizetype had = bytes.size();
        bytes.resize(had + kPiece);
        errno = 0;
        const qint64 got = source.read(bytes.data() + had, kPiece);
        bytes.truncate(had + std::max<qint64>(got, 0));
        if (got == 0)
            break;
        if (got < 0) {
            result.error = errno != 0 ? fileErrorFromErrno(errno, path, true) : FileError::DeviceIo;
            break;
        }
    }
    const QString text = decodeFromDisk(bytes);
    // Lines end at CR LF, a lone CR or a lone LF; a terminator at the very end
    // does not start another line.
    QStringList lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c != QLatin1Char('\r') && c != QLatin1Char('\n'))
            continue;
        lines.append(text.mid(start, i - start));
        if (c == QLatin1Char('\r') && i + 1 < text.size() && text[i + 1] == QLatin1Char('\n'))
            ++i;
        start = i + 1;
    }
    if (start < text.size())
        lines.append(text.mid(start));
    result.text = lines.join(kCrLf);
    return result;
}

} // namespace quillon
