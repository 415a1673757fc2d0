#pragma once

#include "core/session.h"

namespace quillon {

void playOkSound(Session& session);
void playErrorSound(Session& session);

} // namespace quillon
