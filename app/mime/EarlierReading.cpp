#include "mime/EarlierReading.h"

namespace kamo {
namespace {
thread_local bool earlier = false;
} // namespace

EarlierReading::EarlierReading() : was_(earlier) {
    earlier = true;
}

EarlierReading::~EarlierReading() {
    earlier = was_;
}

bool EarlierReading::Active() {
    return earlier;
}

} // namespace kamo
