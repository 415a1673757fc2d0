#pragma once

#include "transfer/upload_view.h"

#include <memory>

namespace quillon {

// The sound player of the platform the program was built for.
std::unique_ptr<SoundPlayer> makeSystemSoundPlayer();

} // namespace quillon
