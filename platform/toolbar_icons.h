#pragma once

#include <QIcon>
#include <QString>

namespace quillon {

// The toolbar pictures, drawn rather than shipped so they stay sharp at any scale.
QIcon toolbarIcon(const QString& key);
// The maker's mark shown in the identification frame.
QPixmap makerLogo(const QSize& size);
// The program's icon (an arrow rising from a serial connector), side by side pixels.
QPixmap programIcon(int side);

} // namespace quillon
