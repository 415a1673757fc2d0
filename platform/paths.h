#pragma once

#include <QString>

namespace quillon {

// Stored paths may be written the Windows way ("C:\prog\a.Epr"); this turns
// them into a path the running platform can open.
QString localPath(const QString& storedPath);

// The separator stored paths end folders with on this platform.
QString folderSeparator();

// Settings and help files are a few kilobytes; one larger than this is not one of them.
inline constexpr qint64 kLargestTextFile = 16 * 1024 * 1024;

// Whether a text file may be opened at all: only a regular file of sensible size.
// Opening a FIFO blocks until a writer comes, and a device can be endless.
bool isOpenableTextFile(const QString& path);

// Where a fresh settings file points the program file.
QString defaultProgramFile();

} // namespace quillon
