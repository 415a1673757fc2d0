#pragma once

#include <QRect>
#include <QWidget>

#include <cmath>

namespace quillon {

// 1440 twips to the inch, at the screen's logical resolution.
inline int twips(int value, const QWidget* widget) {
    const double dpi = widget ? widget->logicalDpiX() : 96.0;
    return static_cast<int>(std::lround(value * dpi / 1440.0));
}

inline QRect twipsRect(int left, int top, int width, int height, const QWidget* widget) {
    return {twips(left, widget), twips(top, widget), twips(width, widget), twips(height, widget)};
}

} // namespace quillon
