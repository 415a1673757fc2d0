#pragma once

#include <QString>

#include <functional>

namespace quillon {

// Whether this process may create files in a folder.
bool folderWritable(const QString& folder);

using FolderCheck = std::function<bool(const QString& folder)>;

// Where a program keeps Quillon.ini. Beside the program when it may write there (a
// build folder, a copied "portable" folder), so such a copy carries its settings
// along; an installed program's folder belongs to the system, so its settings go to
// the user's configuration folder, one folder per program so that the two editions
// never read each other's file.
QString settingsFilePath(const QString& programFolder, const QString& programName,
                         const FolderCheck& writable = folderWritable);

// The folder of another program of the family, seen from `ownFolder`: the same folder
// when the program is in it (a Windows copy puts the command-line tools beside the full
// edition), its own folder next to this one (the build), or its folder under
// lib/quillon beside bin (installed). This folder when none is found.
QString companionProgramFolder(const QString& ownFolder, const QString& programName);

} // namespace quillon
