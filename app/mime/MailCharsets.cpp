#include "mime/MailCharsets.h"

#include <algorithm>
#include <array>
#include <optional>
#include <utility>

#include "common/AsciiText.h"
#include "common/CodePage.h"
#include "common/IcuConverter.h"
#include "mime/EarlierReading.h"

namespace kamo {
namespace {

// The geta mark stands in for a JIS X 0212 character, which CP932 cannot hold.
constexpr unsigned char kGeta[] = {0x81, 0xAC};

bool IsAscii(std::string_view s) {
    return std::none_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
}

// ISO-2022-JP runs rewritten as the CP932 bytes of the same characters (JIS row/cell to
// Shift_JIS arithmetic, half-width katakana to its single byte). Bytes outside designated runs,
// and anything that does not fit, are copied as they are.
std::string JisToCp932(std::string_view in) {
    enum class Mode { Ascii, Kanji, Katakana, Supplement } mode = Mode::Ascii;
    std::string out;
    out.reserve(in.size());
    for (std::size_t i = 0; i < in.size();) {
        const auto c = static_cast<unsigned char>(in[i]);
        if (c == 0x1B) {
            const std::string_view rest = in.substr(i + 1);
            auto starts = [&](std::string_view seq) { return rest.substr(0, seq.size()) == seq; };
            if (starts("$B") || starts("$@")) {
                mode = Mode::Kanji;
                i += 3;
            } else if (starts("$(D")) {
                mode = Mode::Supplement;
                i += 4;
            } else if (starts("(B") || starts("(J") || starts("(H")) {
                mode = Mode::Ascii;
                i += 3;
            } else if (starts("(I")) {
                mode = Mode::Katakana;
                i += 3;
            } else if (starts("&@")) { // announces a JIS X 0208 revision; the designation follows
                i += 3;
            } else {
                out += static_cast<char>(c);
                ++i;
            }
            continue;
        }
        if (c == 0x0E) { // SO / SI: katakana shift used by a few mailers
            mode = Mode::Katakana;
            ++i;
            continue;
        }
        if (c == 0x0F) {
            mode = Mode::Ascii;
            ++i;
            continue;
        }
        const bool graphic = c >= 0x21 && c <= 0x7E;
        if ((mode == Mode::Kanji || mode == Mode::Supplement) && graphic && i + 1 < in.size()) {
            const auto c2 = static_cast<unsigned char>(in[i + 1]);
            if (c2 >= 0x21 && c2 <= 0x7E) {
                if (mode == Mode::Supplement) {
                    out.append(reinterpret_cast<const char*>(kGeta), 2);
                } else {
                    unsigned s1 = ((c - 0x21u) >> 1) + 0x81u;
                    if (s1 > 0x9F)
                        s1 += 0x40;
                    unsigned s2 = (c & 1u) ? c2 + 0x1Fu : c2 + 0x7Eu;
                    if ((c & 1u) && s2 >= 0x7F)
                        ++s2;
                    out += static_cast<char>(s1);
                    out += static_cast<char>(s2);
                }
                i += 2;
                continue;
            }
        }
        if (mode == Mode::Katakana && c >= 0x21 && c <= 0x5F) {
            out += static_cast<char>(c + 0x80);
            ++i;
            continue;
        }
        out += static_cast<char>(c);
        ++i;
    }
    return out;
}

// A charset name as MIME writes them; anything else from a mail never reaches ICU.
bool IsCharsetName(std::string_view name) {
    return !name.empty() && name.size() <= 64 && std::all_of(name.begin(), name.end(), [](char c) {
        return IsAsciiAlpha(c) || (c >= '0' && c <= '9') || c == '-' || c == '_' || c == '.' || c == ':' || c == '+';
    });
}

// Any character set ICU knows to UTF-8, with substitutes for bad bytes. False for an unknown set.
bool DecodeWithIcu(const std::string& charset, std::string_view bytes, std::string& out) {
    if (!IsCharsetName(charset))
        return false;
    IcuConverter conv(charset.c_str());
    std::optional<std::string> text = conv.ToUtf8(bytes);
    if (!text)
        return false;
    out = std::move(*text);
    return true;
}

enum class CharsetKind { Jis, ShiftJis, Ascii, Utf8, Other };

// The set's name in lower case without an RFC 2231 language suffix, and which family it names.
CharsetKind KindOf(std::string& charset) {
    charset = ToLowerAscii(std::string_view(charset).substr(0, charset.find('*')));
    if (charset.rfind("iso-2022-jp", 0) == 0 || charset == "csiso2022jp")
        return CharsetKind::Jis;
    static const std::array<const char*, 11> kShiftJis = {"shift_jis", "shift-jis",  "sjis",          "x-sjis",
                                                          "ms_kanji",  "csshiftjis", "windows-31j",   "cp932",
                                                          "ms932",     "x-ms-cp932", "shift_jisx0213"};
    if (std::find(kShiftJis.begin(), kShiftJis.end(), charset) != kShiftJis.end())
        return CharsetKind::ShiftJis;
    if (charset == "us-ascii" || charset == "ascii")
        return CharsetKind::Ascii;
    if (charset == "utf-8" || charset == "utf8")
        return CharsetKind::Utf8;
    return CharsetKind::Other;
}

// U+FF61..U+FF9F in UTF-8.
bool HasHalfwidthKatakana(std::string_view utf8) {
    for (std::size_t i = 0; i + 2 < utf8.size(); ++i) {
        if (static_cast<unsigned char>(utf8[i]) != 0xEF)
            continue;
        const auto b1 = static_cast<unsigned char>(utf8[i + 1]);
        const auto b2 = static_cast<unsigned char>(utf8[i + 2]);
        if ((b1 == 0xBD && b2 >= 0xA1) || (b1 == 0xBE && b2 <= 0x9F))
            return true;
    }
    return false;
}

// Whether Japanese text shows more kana than kanji, as nearly all Japanese text does: hiragana,
// katakana and Japanese punctuation (U+3000..U+30FF) against CJK ideographs (U+4E00..U+9FFF).
// Half-width katakana read as EUC-JP pairs give kanji nearly always.
bool MostlyKana(std::string_view utf8) {
    std::size_t kana = 0;
    std::size_t kanji = 0;
    for (std::size_t i = 0; i + 2 < utf8.size(); ++i) {
        const auto b0 = static_cast<unsigned char>(utf8[i]);
        const auto b1 = static_cast<unsigned char>(utf8[i + 1]);
        if (b0 == 0xE3 && b1 >= 0x80 && b1 <= 0x83)
            ++kana;
        else if ((b0 == 0xE4 && b1 >= 0xB8) || (b0 >= 0xE5 && b0 <= 0xE9))
            ++kanji;
    }
    return kana > 0 && kana >= kanji;
}

// U+0080..U+009F in UTF-8: what bytes of another set give when read as a set of single bytes.
bool HasC1Controls(std::string_view utf8) {
    for (std::size_t i = 0; i + 1 < utf8.size(); ++i)
        if (static_cast<unsigned char>(utf8[i]) == 0xC2 && static_cast<unsigned char>(utf8[i + 1]) < 0xA0)
            return true;
    return false;
}

std::optional<std::string> EucJpExact(std::string_view bytes) {
    thread_local IcuConverter conv("EUC-JP");
    std::optional<std::string> text = conv.ToUtf8Exact(bytes);
    // ICU passes bytes 80..8D and 90..9F through as C1 controls: a stray byte, no EUC-JP text.
    if (text && !EarlierReading::Active() && HasC1Controls(*text))
        return std::nullopt;
    return text;
}

// The reading of DecodeUndeclaredText that fits the bytes exactly; nothing when none does.
std::optional<std::string> DetectExactly(std::string_view raw) {
    if (raw.find('\x1B') != std::string_view::npos)
        return Cp932ToUtf8(JisToCp932(raw));
    if (IsAscii(raw))
        return std::string(raw);
    std::optional<std::string> cp932 = Cp932ToUtf8Exact(raw);
    // Half-width katakana pairs alone can spell two-byte UTF-8 ("ﾃｽ" is "ý"); Japanese UTF-8 is
    // three-byte sequences.
    const bool threeByteUtf8 =
        std::any_of(raw.begin(), raw.end(), [](char c) { return static_cast<unsigned char>(c) >= 0xE0; });
    const bool halfwidth = cp932 && HasHalfwidthKatakana(*cp932);
    if (cp932 && !halfwidth)
        return cp932;
    if (halfwidth && threeByteUtf8 && IsValidUtf8(raw))
        return std::string(raw);
    // The same sign for EUC-JP: its kana and punctuation rows are pairs of bytes A1..DF, which
    // CP932 takes for half-width katakana ("テスト" gives "･ﾆ･ｹ･ﾈ").
    if (halfwidth && !EarlierReading::Active())
        if (std::optional<std::string> euc = EucJpExact(raw); euc && MostlyKana(*euc) && !HasHalfwidthKatakana(*euc))
            return euc;
    if (cp932)
        return cp932;
    if (IsValidUtf8(raw))
        return std::string(raw);
    return EucJpExact(raw);
}

// The bytes read exactly as the declared set; nothing when they are no text of that set, or the set
// is unknown (`known` then false).
std::optional<std::string> DecodeExactly(std::string charset, std::string_view bytes, bool& known) {
    known = true;
    switch (KindOf(charset)) {
    case CharsetKind::Jis:
        if (!IsAscii(bytes))
            return std::nullopt;
        return DecodeMailText(bytes);
    case CharsetKind::Ascii:
        if (!IsAscii(bytes))
            return std::nullopt;
        return std::string(bytes);
    case CharsetKind::ShiftJis:
        return Cp932ToUtf8Exact(bytes);
    case CharsetKind::Utf8:
        if (!IsValidUtf8(bytes))
            return std::nullopt;
        return std::string(bytes);
    case CharsetKind::Other:
        break;
    }
    if (!IsCharsetName(charset)) {
        known = false;
        return std::nullopt;
    }
    IcuConverter conv(charset.c_str());
    if (!conv.IsOpen()) {
        known = false;
        return std::nullopt;
    }
    std::optional<std::string> text = conv.ToUtf8Exact(bytes);
    if (text && HasC1Controls(*text))
        return std::nullopt;
    return text;
}

} // namespace

std::string DecodeMailText(std::string_view raw) {
    if (raw.find('\x1B') != std::string_view::npos)
        return Cp932ToUtf8(JisToCp932(raw));
    if (IsAscii(raw))
        return std::string(raw);
    return Cp932ToUtf8(raw);
}

bool DecodeCharset(std::string charset, std::string_view bytes, std::string& out) {
    switch (KindOf(charset)) {
    case CharsetKind::Jis:
        out = DecodeMailText(bytes);
        return true;
    case CharsetKind::ShiftJis:
    case CharsetKind::Ascii: // read as CP932, so 8-bit bytes under an ASCII label survive
        out = Cp932ToUtf8(bytes);
        return true;
    case CharsetKind::Utf8:
        if (IsValidUtf8(bytes)) {
            out.assign(bytes);
            return true;
        }
        return DecodeWithIcu("UTF-8", bytes, out);
    case CharsetKind::Other:
        break;
    }
    return DecodeWithIcu(charset, bytes, out);
}

std::string DecodeUndeclaredText(std::string_view raw) {
    std::optional<std::string> text = DetectExactly(raw);
    return text ? std::move(*text) : Cp932ToUtf8(raw);
}

bool DecodeDeclaredText(const std::string& charset, std::string_view bytes, std::string& out) {
    bool known = true;
    std::optional<std::string> text = DecodeExactly(charset, bytes, known);
    if (!known)
        return false;
    if (!text)
        text = DetectExactly(bytes);
    if (text)
        out = std::move(*text);
    else
        DecodeCharset(charset, bytes, out);
    return true;
}

std::string DecodeBodyText(const std::string& charset, std::string_view bytes) {
    std::string out;
    if (charset.empty() || !DecodeDeclaredText(charset, bytes, out))
        return DecodeUndeclaredText(bytes);
    return out;
}

} // namespace kamo
