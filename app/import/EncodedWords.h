#pragma once
// RFC 2047 encoded words in header values.
#include <string>
#include <string_view>

namespace kamo {

// Decodes RFC 2047 encoded words (=?charset?B|Q?...?=) in UTF-8 text: ISO-2022-JP, Shift_JIS /
// CP932, UTF-8 and whatever else ICU knows, a plainly wrong charset giving way as in
// DecodeDeclaredText. Adjacent words (only blanks between them) of the same charset and encoding
// are joined before their charset is applied, so a character split over two words comes out whole;
// the blanks between adjacent words go. Blanks inside a B word (a fold in the wrong place) and bad
// base64 padding are stepped over; blanks inside a Q word are kept (only the line breaks of a fold
// go). A word that is malformed or in an unknown charset stays as it is. Time linear in the text.
std::string DecodeEncodedWords(std::string_view utf8);

} // namespace kamo
