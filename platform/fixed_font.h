#pragma once

#include <QFont>

namespace quillon {

// "Courier New", or the system's fixed-width font where it is not installed.
QFont courierNew(qreal pointSize);

} // namespace quillon
