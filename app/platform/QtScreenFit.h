#pragma once
// Placing a top-level window at a stored geometry, fitted to the screen it opens on.
#include "platform/SettingsStore.h"

class QWidget;

namespace kamo {

// Moves and sizes `window` to `p` (pixels: the frame's top-left, the window's size). A size saved on
// a larger screen (or at another scale) is fitted to the screen the window opens on, and the window
// kept on it, so that the buttons along its bottom can be reached; never below its minimum size.
void PlaceOnScreen(QWidget& window, PixelGeometry p);

} // namespace kamo
