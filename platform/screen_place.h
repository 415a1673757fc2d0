#pragma once

#include <QScreen>
#include <QWidget>

namespace quillon {

// Centres a window on the screen it is on; a window without a screen stays put.
inline void centreOnScreen(QWidget& window) {
    if (const QScreen* screen = window.screen())
        window.move(screen->geometry().center() - window.rect().center());
}

} // namespace quillon
