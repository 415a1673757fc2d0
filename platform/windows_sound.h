#pragma once

#include <QString>

namespace quillon {

// Windows' own sound calls, which need no multimedia library.

// Returns at once while the file plays; a missing or unplayable file gives the
// system's default sound instead.
void playSoundFileAsync(const QString& path);
// The system's default beep.
void systemBeep();

} // namespace quillon
