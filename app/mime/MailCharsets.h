#pragma once
// The character sets of mail text: PostPet's CP932 with ISO-2022-JP runs, and whatever set an
// encoded word names.
#include <string>
#include <string_view>

namespace kamo {

// PostPet's bytes to UTF-8: CP932, except that where ISO-2022-JP escape sequences appear, the
// designated JIS X 0208 / katakana runs are read as the CP932 characters they stand for (so the
// NEC and IBM extension characters that Windows mailers send come out right); bytes outside such
// runs stay CP932. Undecodable bytes become U+FFFD; nothing is ever dropped.
std::string DecodeMailText(std::string_view raw);

// `bytes` in the character set named `charset` (any letter case; an RFC 2231 "*language" suffix is
// ignored) to UTF-8 in `out`: ISO-2022-JP and Shift_JIS names as DecodeMailText and CP932 read
// them, UTF-8 as it is when well-formed, anything else through ICU with substitutes for bad bytes.
// False for a set ICU does not know.
bool DecodeCharset(std::string charset, std::string_view bytes, std::string& out);

// Text whose character set nobody declared (raw 8-bit header values, MIME parts without a
// charset, bodies of mail without MIME fields): ISO-2022-JP runs as DecodeMailText reads them;
// otherwise CP932 when every byte is a CP932 character, UTF-8 when the bytes are well-formed UTF-8
// and the CP932 reading fails or shows half-width katakana beside three-byte UTF-8 sequences (what
// UTF-8 Japanese read as CP932 nearly always gives), EUC-JP when every byte is an EUC-JP character
// and the CP932 reading fails or shows half-width katakana where the EUC-JP one shows more kana
// than kanji (what EUC-JP Japanese read as CP932 gives); else CP932 with U+FFFD for the bad bytes.
std::string DecodeUndeclaredText(std::string_view raw);

// Text in a declared character set. The declaration is believed when the bytes are all characters
// of that set (and, for a set of single bytes, give no C1 control characters); a declaration that
// is plainly wrong (8-bit bytes under ISO-2022-JP or US-ASCII, bad UTF-8, bytes no character of
// the set) gives way to whichever of the readings of DecodeUndeclaredText fits exactly; when none
// does, the declared set is read with substitutes. False, and `out` untouched, for a set ICU does
// not know.
bool DecodeDeclaredText(const std::string& charset, std::string_view bytes, std::string& out);

// DecodeDeclaredText, or DecodeUndeclaredText when the set is empty or unknown.
std::string DecodeBodyText(const std::string& charset, std::string_view bytes);

} // namespace kamo
