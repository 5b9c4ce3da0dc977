#pragma once
// RFC 2047 encoded words in header values.
#include <string>
#include <string_view>

namespace kamo {

// Decodes RFC 2047 encoded words (=?charset?B|Q?...?=) in UTF-8 text: ISO-2022-JP, Shift_JIS /
// CP932, UTF-8 and whatever else ICU knows. Blanks between two encoded words go. A word that is
// malformed or in an unknown character set stays as it is.
std::string DecodeEncodedWords(std::string_view utf8);

} // namespace kamo
