#pragma once

#include "core/session.h"

namespace quillon {

void playOkSound(Session& session);
// Also sets TransferFailed, even outside an upload.
void playErrorSound(Session& session);

} // namespace quillon
