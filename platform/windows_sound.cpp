#include "platform/windows_sound.h"

#include <windows.h>

#include <mmsystem.h>

namespace quillon {

void playSoundFileAsync(const QString& path) {
    // The wide call: the program's folder may have letters outside the ANSI
    // code page. Without SND_NODEFAULT Windows plays its default sound itself
    // when the file is missing or unplayable.
    const std::wstring name = path.toStdWString();
    PlaySoundW(name.c_str(), nullptr, SND_ASYNC | SND_FILENAME);
}

void systemBeep() {
    MessageBeep(MB_OK);
}

} // namespace quillon
