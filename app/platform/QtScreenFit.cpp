#include "platform/QtScreenFit.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <algorithm>

namespace kamo {

void PlaceOnScreen(QWidget& window, PixelGeometry p) {
    QScreen* screen = QGuiApplication::screenAt(QPoint(p.left + p.width / 2, p.top + p.height / 2));
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (screen) {
        const QRect room = screen->availableGeometry();
        // The frame's title bar and borders take room too (known once shown; a guess before).
        const QSize frame =
            window.isVisible() ? window.frameGeometry().size() - window.geometry().size() : QSize(8, 32);
        const QSize least = window.minimumSize();
        p.width = std::max(least.width(), std::min(p.width, room.width() - frame.width()));
        p.height = std::max(least.height(), std::min(p.height, room.height() - frame.height()));
        // move() places the frame, which reaches past the window by the frame's width and height.
        p.left = std::clamp(p.left, room.left(), std::max(room.left(), room.right() + 1 - p.width - frame.width()));
        p.top = std::clamp(p.top, room.top(), std::max(room.top(), room.bottom() + 1 - p.height - frame.height()));
    }
    window.move(p.left, p.top);
    window.resize(std::max(1, p.width), std::max(1, p.height));
}

} // namespace kamo
