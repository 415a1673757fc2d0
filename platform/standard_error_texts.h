#pragma once

#include <QString>

namespace quillon {

// The platform's own English text for a run-time error number that the
// program has no Portuguese text for.
QString standardErrorText(int number);

} // namespace quillon
