#include "import/EncodedWords.h"

#include "common/AsciiText.h"
#include "import/MailCharsets.h"

namespace kamo {
namespace {

int Base64Value(char c) {
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (c >= '0' && c <= '9')
        return c - '0' + 52;
    if (c == '+')
        return 62;
    if (c == '/')
        return 63;
    return -1;
}

std::string DecodeBase64(std::string_view in) {
    std::string out;
    unsigned bits = 0;
    int count = 0;
    for (char c : in) {
        if (c == '=')
            break;
        const int v = Base64Value(c);
        if (v < 0)
            continue;
        bits = (bits << 6) | static_cast<unsigned>(v);
        count += 6;
        if (count >= 8) {
            count -= 8;
            out += static_cast<char>((bits >> count) & 0xFF);
        }
    }
    return out;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    c = ToLowerAscii(c);
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

std::string DecodeQ(std::string_view in) {
    std::string out;
    for (std::size_t i = 0; i < in.size(); ++i) {
        if (in[i] == '_') {
            out += ' ';
        } else if (in[i] == '=' && i + 2 < in.size() && HexValue(in[i + 1]) >= 0 && HexValue(in[i + 2]) >= 0) {
            out += static_cast<char>(HexValue(in[i + 1]) * 16 + HexValue(in[i + 2]));
            i += 2;
        } else {
            out += in[i];
        }
    }
    return out;
}

// One encoded word starting at `pos` ("=?"); on success its decoded text and the position after "?=".
bool ReadEncodedWord(std::string_view s, std::size_t pos, std::string& decoded, std::size_t& next) {
    const std::size_t q1 = s.find('?', pos + 2);
    if (q1 == std::string_view::npos || q1 + 2 >= s.size() || s[q1 + 2] != '?')
        return false;
    const std::string_view charset = s.substr(pos + 2, q1 - pos - 2);
    const char encoding = ToLowerAscii(s[q1 + 1]);
    const std::size_t textStart = q1 + 3;
    const std::size_t close = s.find("?=", textStart);
    if (close == std::string_view::npos || charset.empty() || (encoding != 'b' && encoding != 'q'))
        return false;
    const std::string_view text = s.substr(textStart, close - textStart);
    auto hasSpace = [](std::string_view v) { return v.find_first_of(kSpaceTabCrLf) != std::string_view::npos; };
    if (hasSpace(charset) || hasSpace(text))
        return false;
    const std::string bytes = encoding == 'b' ? DecodeBase64(text) : DecodeQ(text);
    if (!DecodeCharset(std::string(charset), bytes, decoded))
        return false;
    next = close + 2;
    return true;
}

} // namespace

std::string DecodeEncodedWords(std::string_view s) {
    if (s.find("=?") == std::string_view::npos)
        return std::string(s);
    std::string out;
    std::size_t pos = 0;
    std::size_t afterLastWord = std::string_view::npos; // where the text after the last encoded word began
    while (pos < s.size()) {
        const std::size_t start = s.find("=?", pos);
        if (start == std::string_view::npos) {
            out.append(s.substr(pos));
            break;
        }
        std::string decoded;
        std::size_t next = 0;
        if (!ReadEncodedWord(s, start, decoded, next)) {
            out.append(s.substr(pos, start + 2 - pos));
            pos = start + 2;
            afterLastWord = std::string_view::npos;
            continue;
        }
        const std::string_view gap = s.substr(pos, start - pos);
        // Blanks between two adjacent encoded words are not part of the text.
        if (!(afterLastWord == pos && TrimAscii(gap, kSpaceTabCrLf).empty()))
            out.append(gap);
        out += decoded;
        pos = next;
        afterLastWord = pos;
    }
    return out;
}

} // namespace kamo
