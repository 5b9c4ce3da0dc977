#include "common/AsciiText.h"

namespace kamo {

std::string ToLowerAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        c = ToLowerAscii(c);
    return out;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (ToLowerAscii(a[i]) != ToLowerAscii(b[i]))
            return false;
    return true;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

int CompareNoCase(std::string_view a, std::string_view b) {
    const std::size_t n = a.size() < b.size() ? a.size() : b.size();
    for (std::size_t i = 0; i < n; ++i) {
        const auto x = static_cast<unsigned char>(ToLowerAscii(a[i]));
        const auto y = static_cast<unsigned char>(ToLowerAscii(b[i]));
        if (x != y)
            return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

std::string_view TrimAscii(std::string_view text, std::string_view blanks) {
    const std::size_t first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

std::string_view TrimAsciiAndIdeographicSpace(std::string_view text) {
    static constexpr std::string_view kIdeographicSpace = "\xE3\x80\x80";
    for (bool changed = true; changed && !text.empty();) {
        changed = false;
        if (kAsciiWhitespace.find(text.front()) != std::string_view::npos) {
            text.remove_prefix(1);
            changed = true;
        } else if (text.starts_with(kIdeographicSpace)) {
            text.remove_prefix(kIdeographicSpace.size());
            changed = true;
        }
    }
    for (bool changed = true; changed && !text.empty();) {
        changed = false;
        if (kAsciiWhitespace.find(text.back()) != std::string_view::npos) {
            text.remove_suffix(1);
            changed = true;
        } else if (text.ends_with(kIdeographicSpace)) {
            text.remove_suffix(kIdeographicSpace.size());
            changed = true;
        }
    }
    return text;
}

std::string OneLine(std::string_view text) {
    std::string s;
    s.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto b = static_cast<unsigned char>(text[i]);
        const auto next = [&](std::size_t k) {
            return i + k < text.size() ? static_cast<unsigned char>(text[i + k]) : 0;
        };
        if (b < 0x20 || b == 0x7F) {
            s += ' ';
        } else if (b == 0xC2 && next(1) >= 0x80 && next(1) <= 0x9F) {
            s += ' ';
            i += 1;
        } else if (b == 0xE2 && next(1) == 0x80 && (next(2) == 0xA8 || next(2) == 0xA9)) {
            s += ' ';
            i += 2;
        } else {
            s += static_cast<char>(b);
        }
    }
    return s;
}

std::string DigitsOf(std::string_view text) {
    std::string digits;
    for (char c : text)
        if (c >= '0' && c <= '9')
            digits += c;
    return digits;
}

} // namespace kamo
