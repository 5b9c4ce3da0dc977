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

} // namespace kamo
