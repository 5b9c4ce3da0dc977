#pragma once
// The four view modes of the main window and the texts that follow them.
#include <cstdint>

namespace kamo {

enum class ViewMode { Address = 0, Name = 1, Date = 2, Filter = 3 };

// Display Type values outside 0..2 show the filter mode.
ViewMode ViewModeOf(int16_t displayType);

// The mode label click: 0 -> 1 -> 2 -> 3 -> 0; any filter-mode value goes back to 0.
int16_t NextDisplayType(int16_t displayType);

struct ViewModeTexts {
    const char* label;         // lblNameOrAddr
    const char* deleteCaption; // cmdAddrDel
    const char* deleteToolTip; // cmdAddrDel
};

const ViewModeTexts& TextsOf(ViewMode mode);

} // namespace kamo
