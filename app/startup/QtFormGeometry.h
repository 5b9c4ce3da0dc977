#pragma once
// Stored window geometry (twips) on real windows: the screen size the defaults centre on, and
// applying and taking back a window's place so that an unchanged window writes back what it read.
#include "startup/SettingsStore.h"

class QWidget;

namespace kamo {

// The primary screen's size in twips (ScreenTwips{} when there is no screen).
ScreenTwips PrimaryScreenTwips();

// Moves and sizes `window` (frame position, client size) to the stored geometry.
void ApplyFormGeometry(QWidget& window, const FormGeometry& stored);

// The geometry to store for `window`, which was given `applied`; minimized when it is minimized.
FormGeometry TakeFormGeometry(const QWidget& window, const FormGeometry& applied);

} // namespace kamo
