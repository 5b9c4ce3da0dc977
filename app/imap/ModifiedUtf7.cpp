#include "imap/ModifiedUtf7.h"

#include <unicode/ustring.h>

#include <cstdint>
#include <vector>

namespace kamo {

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+,";

bool IsPrintable(unsigned char c) {
    return c >= 0x20 && c <= 0x7e;
}

int AlphabetIndex(char c) {
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (c >= '0' && c <= '9')
        return c - '0' + 52;
    if (c == '+')
        return 62;
    if (c == ',')
        return 63;
    return -1;
}

// One shifted run: the UTF-16 code units, big-endian, in the modified base64, between "&" and "-".
void AppendShifted(std::string& out, const std::u16string& units) {
    out += '&';
    uint32_t bits = 0;
    int count = 0;
    for (const char16_t unit : units) {
        for (const int shift : {8, 0}) {
            bits = (bits << 8) | ((unit >> shift) & 0xff);
            count += 8;
            while (count >= 6) {
                count -= 6;
                out += kAlphabet[(bits >> count) & 0x3f];
            }
        }
    }
    if (count > 0)
        out += kAlphabet[(bits << (6 - count)) & 0x3f];
    out += '-';
}

std::optional<std::u16string> Utf16Of(std::string_view utf8) {
    if (utf8.empty())
        return std::u16string();
    UErrorCode status = U_ZERO_ERROR;
    int32_t length = 0;
    u_strFromUTF8(nullptr, 0, &length, utf8.data(), static_cast<int32_t>(utf8.size()), &status);
    if (status != U_BUFFER_OVERFLOW_ERROR && U_FAILURE(status))
        return std::nullopt;
    std::u16string units(static_cast<size_t>(length), u'\0');
    status = U_ZERO_ERROR;
    u_strFromUTF8(reinterpret_cast<UChar*>(units.data()), length, nullptr, utf8.data(),
                  static_cast<int32_t>(utf8.size()), &status);
    if (U_FAILURE(status))
        return std::nullopt;
    return units;
}

std::optional<std::string> Utf8Of(const std::u16string& units) {
    UErrorCode status = U_ZERO_ERROR;
    int32_t length = 0;
    const auto* source = reinterpret_cast<const UChar*>(units.data());
    u_strToUTF8(nullptr, 0, &length, source, static_cast<int32_t>(units.size()), &status);
    if (status != U_BUFFER_OVERFLOW_ERROR && U_FAILURE(status))
        return std::nullopt;
    std::string out(static_cast<size_t>(length), '\0');
    status = U_ZERO_ERROR;
    u_strToUTF8(out.data(), length, nullptr, source, static_cast<int32_t>(units.size()), &status);
    if (U_FAILURE(status))
        return std::nullopt;
    return out;
}

bool WellPaired(const std::u16string& units) {
    for (size_t i = 0; i < units.size(); ++i) {
        const char16_t u = units[i];
        if (u >= 0xd800 && u <= 0xdbff) {
            if (i + 1 >= units.size() || units[i + 1] < 0xdc00 || units[i + 1] > 0xdfff)
                return false;
            ++i;
        } else if (u >= 0xdc00 && u <= 0xdfff) {
            return false;
        }
    }
    return true;
}

} // namespace

std::optional<std::string> EncodeMailboxName(std::string_view utf8) {
    const auto units = Utf16Of(utf8);
    if (!units)
        return std::nullopt;
    std::string out;
    std::u16string run;
    for (const char16_t unit : *units) {
        if (unit < 0x80 && IsPrintable(static_cast<unsigned char>(unit))) {
            if (!run.empty()) {
                AppendShifted(out, run);
                run.clear();
            }
            out += static_cast<char>(unit);
            if (unit == u'&')
                out += '-';
        } else {
            run += unit;
        }
    }
    if (!run.empty())
        AppendShifted(out, run);
    return out;
}

std::optional<std::string> DecodeMailboxName(std::string_view wire) {
    std::u16string units;
    size_t i = 0;
    while (i < wire.size()) {
        const char c = wire[i];
        if (!IsPrintable(static_cast<unsigned char>(c)))
            return std::nullopt;
        if (c != '&') {
            units += static_cast<char16_t>(c);
            ++i;
            continue;
        }
        const size_t end = wire.find('-', i + 1);
        if (end == std::string_view::npos)
            return std::nullopt;
        if (end == i + 1) {
            units += u'&';
            i = end + 1;
            continue;
        }
        std::u16string run;
        uint32_t bits = 0;
        int count = 0;
        for (size_t k = i + 1; k < end; ++k) {
            const int value = AlphabetIndex(wire[k]);
            if (value < 0)
                return std::nullopt;
            bits = (bits << 6) | static_cast<uint32_t>(value);
            count += 6;
            if (count >= 16) {
                count -= 16;
                run += static_cast<char16_t>((bits >> count) & 0xffff);
            }
        }
        // What is left must be padding: fewer than six bits, all zero.
        if (count >= 6 || (bits & ((1u << count) - 1)) != 0 || run.empty())
            return std::nullopt;
        for (const char16_t unit : run)
            if (unit < 0x80 && IsPrintable(static_cast<unsigned char>(unit)))
                return std::nullopt;
        units += run;
        i = end + 1;
        // Two runs side by side are one run written twice: no encoder does that.
        if (i < wire.size() && wire[i] == '&' && i + 1 < wire.size() && wire[i + 1] != '-')
            return std::nullopt;
    }
    if (!WellPaired(units))
        return std::nullopt;
    return Utf8Of(units);
}

} // namespace kamo
