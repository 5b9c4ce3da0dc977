#pragma once
// The transfer encodings of mail: base64, quoted-printable and uuencoded bodies, and the B and Q forms of
// RFC 2047 encoded words. Every decoder takes whatever it is given: bytes that do not belong to
// the encoding are skipped or kept, never a reason to lose the rest. The encoders write what the
// exports send: base64 (bodies and B words) and the Q form.
#include <optional>
#include <string>
#include <string_view>

namespace kamo {

// Base64: characters outside the alphabet (line breaks, blanks, stray folds) are skipped; "="
// ends the group it pads, so missing, extra or misplaced padding and base64 texts joined one after
// the other still decode as far as the bytes go.
std::string DecodeBase64(std::string_view text);

// Quoted-printable (RFC 2045): "=XX" is a byte, "=" at the end of a line (blanks may follow it)
// joins the line to the next; blanks at the end of a line go. An "=" that starts neither stays
// as it is. Line breaks are kept as they come.
std::string DecodeQuotedPrintable(std::string_view text);

// The Q form of encoded words: quoted-printable where "_" is a blank.
std::string DecodeQEncoding(std::string_view text);

// Uuencode (Content-Transfer-Encoding x-uuencode): the lines after the first "begin <mode> <name>"
// line up to "end", each a length character and groups of four characters of six bits ("`" and
// blank alike are zero). A line gives no more bytes than it holds characters for, nor more than its
// length says. Nothing when there is no begin line (the text is then no uuencoded file).
std::optional<std::string> DecodeUuencode(std::string_view text);

// Base64 of `bytes` on one line, padded.
std::string EncodeBase64(std::string_view bytes);
// Base64 in lines of at most 76 characters, each ended by `lineEnd`.
std::string Base64Lines(std::string_view bytes, std::string_view lineEnd);
// The Q form, safe inside a phrase: letters and digits as they are, blanks as "_", any other byte "=XX".
std::string EncodeQEncoding(std::string_view bytes);

} // namespace kamo
