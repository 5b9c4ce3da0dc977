#pragma once
// The delimiter replacement behind Mail_StrChange, shared with the friend-file conversion.
#include <cstddef>

namespace kamolib {

// At most this many input bytes are looked at.
inline constexpr size_t kStrChangeInputLimit = 8182;
// The caller's result area.
inline constexpr size_t kStrChangeArea = 8192;

// Writes the converted form of src (up to its first zero byte, at most kStrChangeInputLimit bytes) to
// out, never more than outCap bytes and never a part of a character; returns the bytes written.
size_t StrChange(const char* src, char* out, size_t outCap);

} // namespace kamolib
