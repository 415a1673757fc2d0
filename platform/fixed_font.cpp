#include "platform/fixed_font.h"

#include <QFontDatabase>
#include <QFontInfo>

namespace quillon {

QFont courierNew(qreal pointSize) {
    QFont font(QStringLiteral("Courier New"));
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    // A substitute that is not fixed-width would break the columns. The
    // database knows the pitch of the family found; QFontInfo often does not.
    if (!QFontDatabase::isFixedPitch(QFontInfo(font).family()))
        font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPointSizeF(pointSize);
    return font;
}

} // namespace quillon
