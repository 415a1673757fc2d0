#pragma once

#include <QString>

namespace quillon {

// Stored paths may be written the Windows way ("C:\prog\a.Epr"); this turns
// them into a path the running platform can open.
QString localPath(const QString& storedPath);

// The separator stored paths end folders with on this platform.
QString folderSeparator();

// Where a fresh settings file points the program file.
QString defaultProgramFile();

} // namespace quillon
