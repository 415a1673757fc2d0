#pragma once

#include <QColor>
#include <QPalette>
#include <QWidget>

namespace quillon {

// The text of a disabled field on its grey background: dark enough to read (5.7:1
// on #C0C0C0), where the styles' own disabled grey (#BEBEBE in Fusion) all but
// vanishes, and a technician must still see what a field that is not in use holds.
inline const QColor kDisabledFieldText(0x40, 0x40, 0x40);

// A text field's background in every state, with disabled text that stays readable.
inline void setFieldBackground(QWidget& field, const QColor& background) {
    QPalette palette = field.palette();
    palette.setColor(QPalette::All, QPalette::Base, background);
    palette.setColor(QPalette::Disabled, QPalette::Text, kDisabledFieldText);
    field.setPalette(palette);
}

} // namespace quillon
