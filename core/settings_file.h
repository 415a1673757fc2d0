#pragma once

#include "core/session.h"

#include <QString>

#include <optional>

namespace quillon {

// Quillon.ini: one value a line, CR LF, and one more CR LF at the end.
struct LoadedSettings {
    SettingsValues values;
    // Line 1 as a number; it reaches Text4 only through the port list rules.
    int savedPort = 1;
    // Line 1 as written, for an edition where the user types the port number.
    QString portLine;
    int readError = 0; // recorded, never shown at start
};

// What a missing file stands for.
SettingsValues defaultSettings(const QString& appDir);

// The values from a file's text; missing lines are empty and lines beyond `lines`
// are not this edition's. A first line that is not a number counts as port 1.
LoadedSettings parseSettings(const QString& text, int lines, const QString& appDir);

// The text written at shutdown (writeTextFile adds the final CR LF).
QString formatSettings(const SettingsValues& values, int lines);

// Nothing when the file does not exist.
std::optional<LoadedSettings> loadSettingsFile(const QString& path, int lines,
                                               const QString& appDir);
int saveSettingsFile(const QString& path, const SettingsValues& values, int lines);

} // namespace quillon
