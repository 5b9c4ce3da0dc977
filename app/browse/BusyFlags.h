#pragma once
// Program-wide flags the main window resets whenever it loads.
#include <cstdint>

namespace kamo {

struct BusyFlags {
    int16_t ending = 0; // the window has begun to close
};

} // namespace kamo
