#pragma once

#include "platform/dialogs.h"

#include <QString>

#include <optional>

namespace quillon {

// "Entrar comando YZTW": builds a command line through a chain of input
// boxes. Nothing when the user gave up, or tried to write to an input (which
// has been said).
std::optional<QString> enterYztwCommand(Dialogs& dialogs);

} // namespace quillon
