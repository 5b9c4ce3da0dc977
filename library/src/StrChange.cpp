#include "StrChange.h"

namespace kamolib {
namespace {

// CP932: a lead byte starts a two-byte character when a valid trail byte follows it.
bool IsLead(unsigned char b) {
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}
bool IsTrail(unsigned char b) {
    return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFC);
}

} // namespace

// The text is walked character by character, so a trail byte (ポ is 0x83 0x7C) is never taken for a
// delimiter. Each ASCII delimiter becomes its two-byte full-width stand-in in place of the delimiter plus
// the blank that makes room for it; the full-width double quotes become the right single quote.
size_t StrChange(const char* src, char* out, size_t outCap) {
    if (!src || !out)
        return 0;
    const auto* in = reinterpret_cast<const unsigned char*>(src);
    size_t n = 0;
    while (n < kStrChangeInputLimit && in[n] != 0)
        ++n;

    size_t used = 0;
    auto put2 = [&](unsigned char a, unsigned char b) {
        if (outCap - used < 2)
            return false;
        out[used++] = static_cast<char>(a);
        out[used++] = static_cast<char>(b);
        return true;
    };
    for (size_t i = 0; i < n;) {
        const unsigned char b = in[i];
        if (IsLead(b) && i + 1 < n && IsTrail(in[i + 1])) {
            unsigned char t = in[i + 1];
            if (b == 0x81 && (t == 0x67 || t == 0x68))
                t = 0x66; // “ ” -> ’
            if (!put2(b, t))
                break;
            i += 2;
            continue;
        }
        bool fits = true;
        switch (b) {
        case '"':
        case '\'':
            fits = put2(0x81, 0x66); // ’
            break;
        case ',':
            fits = put2(0x81, 0x43); // ，
            break;
        case '|':
            fits = put2(0x81, 0x62); // ｜
            break;
        default:
            if (used < outCap)
                out[used++] = static_cast<char>(b);
            else
                fits = false;
            break;
        }
        if (!fits)
            break;
        ++i;
    }
    return used;
}

} // namespace kamolib
