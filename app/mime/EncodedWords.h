#pragma once
// RFC 2047 encoded words in header values, read in any charset and written in UTF-8.
#include <cstddef>
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

// RFC 2047 encoded words (UTF-8), each whole characters and at most 60 characters long, separated
// by single blanks: base64, or the Q form for a piece that base64 would end in padding before the
// last word.
std::string EncodedWords(std::string_view utf8);

// Header text that may go as it is: printable ASCII in words of one blank, no "=?" that a reader
// would take for an encoded word, no word longer than `maxWord` (too long to fold).
bool IsPlainText(std::string_view text, std::size_t maxWord);

// A byte inside a UTF-8 character, not its first.
constexpr bool IsUtf8Continuation(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

} // namespace kamo
