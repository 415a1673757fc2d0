#pragma once

#include "core/session.h"

namespace quillon {

void playOkSound(Session& session);
// Also marks the transfer as failed, as every caller of it means.
void playErrorSound(Session& session);

} // namespace quillon
