#pragma once

#include <QByteArray>
#include <QString>

class QIODevice;

namespace quillon {

// File error numbers the shared error report knows.
namespace FileError {
inline constexpr int None = 0;
inline constexpr int BadFileName = 52;
inline constexpr int FileNotFound = 53;
inline constexpr int DeviceIo = 57;
inline constexpr int DiskFull = 61;
inline constexpr int BadName = 64;
inline constexpr int PermissionDenied = 70;
inline constexpr int PathFileAccess = 75;
inline constexpr int PathNotFound = 76;
} // namespace FileError

// The file error number for an errno left by a failed open, read or write of `path`.
int fileErrorFromErrno(int code, const QString& path, bool reading);

// Writes text and one CR LF. Replacing goes through a temporary file in the
// same folder that is renamed over the old one, so a failed or interrupted
// write leaves the previous file whole. Returns the error number, 0 on success.
int writeTextFile(const QString& path, const QString& text, bool append);

// Appends bytes as they are, flushed and closed again; `startOfFile` goes first when
// the file is new or empty. Returns the error number, 0 on success.
int appendToFile(const QString& path, const QByteArray& bytes, const QByteArray& startOfFile = {});

struct TextFileRead {
    QString text;
    int error = FileError::None;
};

// Lines joined by CR LF without a final one; cp1252, or UTF-8 when the bytes are
// valid UTF-8. A read that fails part way gives its error and the text read so
// far. A file that is not a regular file, or is absurdly large, is not opened
// and counts as unreadable.
TextFileRead readTextFile(const QString& path);
// The same from an open device; `path` names it in the error.
TextFileRead readTextFrom(QIODevice& source, const QString& path);

} // namespace quillon
