#pragma once
// PostPet's bytes are CP932 (Windows Shift-JIS); the program works in UTF-8.
#include <optional>
#include <string>
#include <string_view>

namespace kamo {

// CP932 bytes to UTF-8. Undecodable bytes become U+FFFD; never throws on bad input.
std::string Cp932ToUtf8(std::string_view cp932);
// CP932 bytes to UTF-8 only when every byte belongs to a character CP932 defines; else nothing.
std::optional<std::string> Cp932ToUtf8Exact(std::string_view cp932);
// UTF-8 to CP932 bytes. Characters CP932 lacks become '?'.
std::string Utf8ToCp932(std::string_view utf8);
// Length in bytes of the text's CP932 form (what a fixed-pitch font shows as columns).
size_t Cp932Length(std::string_view utf8);
// True when the bytes are well-formed UTF-8.
bool IsValidUtf8(std::string_view bytes);

} // namespace kamo
