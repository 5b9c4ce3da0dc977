#include "startup/QtFormGeometry.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace kamo {

ScreenTwips PrimaryScreenTwips() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return {};
    const QSize size = screen->size();
    return {PixelsToTwips(size.width()), PixelsToTwips(size.height())};
}

void ApplyFormGeometry(QWidget& window, const FormGeometry& stored) {
    const PixelGeometry px = ToPixels(stored);
    window.move(px.left, px.top);
    window.resize(px.width, px.height);
}

FormGeometry TakeFormGeometry(const QWidget& window, const FormGeometry& applied) {
    const PixelGeometry now{window.x(), window.y(), window.width(), window.height()};
    return FromPixels(now, applied, window.isMinimized());
}

} // namespace kamo
