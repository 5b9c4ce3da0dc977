#pragma once
// Letter case and blanks of ASCII text. Bytes outside ASCII are never touched, so UTF-8 and CP932
// text pass through these unchanged (unlike <cctype>, whose answers follow the locale).
#include <string>
#include <string_view>

namespace kamo {

// The blanks a trim removes differ by format; each caller names its own set.
inline constexpr std::string_view kSpace = " ";
inline constexpr std::string_view kSpaceTab = " \t";
inline constexpr std::string_view kSpaceTabCrLf = " \t\r\n";
inline constexpr std::string_view kAsciiWhitespace = " \t\r\n\v\f";

constexpr bool IsAsciiAlpha(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

constexpr char ToLowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string ToLowerAscii(std::string_view text);

// Equality and a prefix with ASCII letters folded.
bool EqualsNoCase(std::string_view a, std::string_view b);
bool StartsWithNoCase(std::string_view text, std::string_view prefix);

// SQLite's NOCASE order: ASCII letters folded to lower case, then unsigned bytes; a prefix sorts
// first. Negative, zero or positive.
int CompareNoCase(std::string_view a, std::string_view b);

// `text` without the characters of `blanks` at either end.
std::string_view TrimAscii(std::string_view text, std::string_view blanks);

// Without ASCII white space and the ideographic space U+3000 (UTF-8) at either end, in any mix.
std::string_view TrimAsciiAndIdeographicSpace(std::string_view text);

// The text on one line, without control characters: every ASCII control (tab, CR, LF, NUL, ...),
// DEL, C1 control (U+0080..U+009F, NEL among them) and the line and paragraph separators U+2028 and
// U+2029 (UTF-8) becomes one blank. Other bytes are kept as they are.
std::string OneLine(std::string_view text);

// The ASCII digits of `text`, in their order: "2001/09/04" -> "20010904".
std::string DigitsOf(std::string_view text);

} // namespace kamo
