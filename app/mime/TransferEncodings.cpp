#include "mime/TransferEncodings.h"

#include <array>
#include <cstdint>
#include <cstdio>

#include "common/AsciiText.h"

namespace kamo {
namespace {

constexpr const char* kBase64Alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Base64 digit values; kSkip for bytes outside the alphabet, kPad for "=".
constexpr int8_t kSkip = -1;
constexpr int8_t kPad = -2;
constexpr std::array<int8_t, 256> kBase64 = [] {
    std::array<int8_t, 256> t{};
    t.fill(kSkip);
    for (int8_t i = 0; i < 64; ++i)
        t[static_cast<unsigned char>(kBase64Alphabet[i])] = i;
    t['='] = kPad;
    return t;
}();

int HexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    c = ToLowerAscii(c);
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

bool IsHexPair(std::string_view s, std::size_t i) {
    return i + 1 < s.size() && HexValue(s[i]) >= 0 && HexValue(s[i + 1]) >= 0;
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

// Six bits of a uuencoded character; "`" and a blank are both zero.
uint32_t UuBits(char c) {
    return static_cast<uint32_t>(static_cast<unsigned char>(c) - 0x20) & 0x3F;
}

// "begin 644 name": a mode of octal digits after the word.
bool IsUuBegin(std::string_view line) {
    return line.starts_with("begin ") && line.size() > 6 && line[6] >= '0' && line[6] <= '7';
}

} // namespace

std::string DecodeBase64(std::string_view text) {
    // Bodies carry attachments of megabytes: one table look-up per character, no appends.
    std::string out(text.size() / 4 * 3 + 3, '\0');
    char* o = out.data();
    uint32_t bits = 0;
    int count = 0;
    for (char c : text) {
        const int8_t v = kBase64[static_cast<unsigned char>(c)];
        if (v >= 0) {
            bits = (bits << 6) | static_cast<uint32_t>(v);
            count += 6;
            if (count >= 8) {
                count -= 8;
                *o++ = static_cast<char>((bits >> count) & 0xFF);
            }
        } else if (v == kPad) {
            count = 0; // the padded group is complete; a new one may follow
            bits = 0;
        }
    }
    out.resize(static_cast<std::size_t>(o - out.data()));
    return out;
}

std::string DecodeQuotedPrintable(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    std::size_t lineStart = 0;
    while (lineStart <= text.size()) {
        const std::size_t lf = text.find('\n', lineStart);
        const std::size_t lineEnd = lf == std::string_view::npos ? text.size() : lf;
        std::string_view line = text.substr(lineStart, lineEnd - lineStart);
        std::string_view eol = lf == std::string_view::npos ? std::string_view() : text.substr(lineEnd, 1);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
            eol = text.substr(lineEnd - 1, lf == std::string_view::npos ? 1 : 2);
        }
        // Blanks a mail system added at the end of a line are no text.
        while (!line.empty() && IsBlank(line.back()))
            line.remove_suffix(1);
        bool soft = false;
        if (!line.empty() && line.back() == '=') {
            line.remove_suffix(1);
            soft = true;
        }
        for (std::size_t i = 0; i < line.size(); ++i) {
            if (line[i] == '=' && IsHexPair(line, i + 1)) {
                out += static_cast<char>(HexValue(line[i + 1]) * 16 + HexValue(line[i + 2]));
                i += 2;
            } else {
                out += line[i];
            }
        }
        if (!soft)
            out.append(eol);
        if (lf == std::string_view::npos)
            break;
        lineStart = lf + 1;
    }
    return out;
}

std::string DecodeQEncoding(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '_') {
            out += ' ';
        } else if (text[i] == '=' && IsHexPair(text, i + 1)) {
            out += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::optional<std::string> DecodeUuencode(std::string_view text) {
    std::string out;
    bool begun = false;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t lf = text.find('\n', pos);
        const std::size_t end = lf == std::string_view::npos ? text.size() : lf;
        std::string_view line = text.substr(pos, end - pos);
        pos = end + 1;
        while (!line.empty() && (line.back() == '\r' || IsBlank(line.back())))
            line.remove_suffix(1);
        if (!begun) {
            begun = IsUuBegin(line);
            continue;
        }
        if (line == "end")
            break;
        if (line.empty())
            continue;
        // Blanks a mail system stripped from the end of a line were zeros: the length says how
        // many bytes the line holds (at most 63), characters missing count as zero.
        const std::size_t length = UuBits(line[0]);
        const std::string_view chars = line.substr(1);
        auto at = [&](std::size_t i) { return i < chars.size() ? UuBits(chars[i]) : 0u; };
        for (std::size_t byte = 0, group = 0; byte < length; byte += 3, group += 4) {
            const uint32_t v = (at(group) << 18) | (at(group + 1) << 12) | (at(group + 2) << 6) | at(group + 3);
            for (int k = 0; k < 3 && byte + static_cast<std::size_t>(k) < length; ++k)
                out += static_cast<char>((v >> (16 - 8 * k)) & 0xFF);
        }
    }
    if (!begun)
        return std::nullopt;
    return out;
}

std::string EncodeBase64(std::string_view bytes) {
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    size_t i = 0;
    for (; i + 2 < bytes.size(); i += 3) {
        const uint32_t v = (static_cast<uint8_t>(bytes[i]) << 16) | (static_cast<uint8_t>(bytes[i + 1]) << 8) |
                           static_cast<uint8_t>(bytes[i + 2]);
        out += kBase64Alphabet[(v >> 18) & 63];
        out += kBase64Alphabet[(v >> 12) & 63];
        out += kBase64Alphabet[(v >> 6) & 63];
        out += kBase64Alphabet[v & 63];
    }
    if (i < bytes.size()) {
        uint32_t v = static_cast<uint8_t>(bytes[i]) << 16;
        if (i + 1 < bytes.size())
            v |= static_cast<uint8_t>(bytes[i + 1]) << 8;
        out += kBase64Alphabet[(v >> 18) & 63];
        out += kBase64Alphabet[(v >> 12) & 63];
        out += i + 1 < bytes.size() ? kBase64Alphabet[(v >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

std::string Base64Lines(std::string_view bytes, std::string_view lineEnd) {
    const std::string encoded = EncodeBase64(bytes);
    std::string out;
    out.reserve(encoded.size() + encoded.size() / 76 * lineEnd.size() + lineEnd.size());
    for (size_t i = 0; i < encoded.size(); i += 76)
        out.append(encoded, i, 76).append(lineEnd);
    return out;
}

std::string EncodeQEncoding(std::string_view bytes) {
    std::string q;
    for (unsigned char c : bytes) {
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) {
            q += static_cast<char>(c);
        } else if (c == ' ') {
            q += '_';
        } else {
            char buf[4];
            std::snprintf(buf, sizeof buf, "=%02X", c);
            q += buf;
        }
    }
    return q;
}

} // namespace kamo
