#pragma once
// The quote-safe wrapper around the library's Mail_StrChange: " ' , | and the full-width double
// quotes become ’ ’ ， ｜ ’ ’, so that no delimiter of ours survives in a stored value.
//
// Unlike the first version of this wrapper it
//  - returns exactly the converted text: the library reports its length in bytes, and only those
//    bytes are taken (no pad blanks of the result area come along);
//  - takes texts of any length: the text goes to the library in pieces of at most
//    kQuoteSafePieceBytes CP932 bytes, cut between characters, so the widened text (one blank
//    after every special character, at worst twice the piece) always fits the 8192-byte area; the
//    converted pieces are joined, so nothing is cut.
#include <cstddef>
#include <string>
#include <string_view>

#include "kamomail.h"

namespace kamo {

// Largest piece handed to Mail_StrChange: widened to at most twice this, which stays below the
// 8182 bytes the library reads and the 8192-byte area it fills.
constexpr std::size_t kQuoteSafePieceBytes = 4090;

// UTF-8 in and out. The text is converted to CP932 for the library; characters CP932 has no code
// for (and NUL) cannot be delimiters and pass through untouched, so nothing is lost in the round
// trip. A text that is blank (only ASCII blanks) gives the empty text; a text that is CR LF apart
// from blanks comes back unchanged. Without a library (null) the text comes back unchanged.
std::string QuoteSafe(Mail_StrChange_Fn strChange, std::string_view utf8);

// The same on CP932 bytes. NUL bytes pass through; a stray lead byte is handed on as one byte.
std::string QuoteSafeCp932(Mail_StrChange_Fn strChange, std::string_view cp932);

} // namespace kamo
