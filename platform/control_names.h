#pragma once

#include <QString>

namespace quillon {

// The bracketed name of a control code: 0 to 31 ("[NUL]" .. "[US]") and 127 ("[DEL]").
// Other codes have none, and give an empty text.
QString controlName(int code);

} // namespace quillon
