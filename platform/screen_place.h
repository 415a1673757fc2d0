#pragma once

#include <QScreen>
#include <QWidget>

namespace quillon {

// Centres a window, frame included, on the screen it is on; a window without a
// screen stays put. move() places the frame, so the frame's size is what counts.
inline void centreOnScreen(QWidget& window) {
    if (const QScreen* screen = window.screen())
        window.move(screen->geometry().center() -
                    QRect(QPoint(), window.frameGeometry().size()).center());
}

} // namespace quillon
