#include "search/SearchText.h"

#include <algorithm>
#include <array>
#include <memory>
#include <vector>

#include <unicode/translit.h>
#include <unicode/unistr.h>
#include <unicode/utf8.h>

#include "common/AsciiText.h"
#include "filters/FilterText.h"

namespace kamo {
namespace {

// The code points ICU's "Halfwidth-Fullwidth" changes all lie in these ranges (the tests check every
// code point against ICU). The table holds ICU's own answers, asked once per process; the voiced and
// semi-voiced sound marks after a half-width kana join it into one character, as ICU does.
constexpr UChar32 kRanges[][2] = {{0x20, 0x7E}, {0xA2, 0xAF}, {0x20A9, 0x20A9}, {0xFF61, 0xFFEE}};
constexpr UChar32 kVoiced = 0xFF9E;
constexpr UChar32 kSemiVoiced = 0xFF9F;
constexpr UChar32 kKanaFirst = 0xFF61;
constexpr UChar32 kKanaLast = 0xFF9D;

class WidthTable {
public:
    WidthTable() {
        UErrorCode status = U_ZERO_ERROR;
        std::unique_ptr<icu::Transliterator> widen(
            icu::Transliterator::createInstance("Halfwidth-Fullwidth", UTRANS_FORWARD, status));
        auto ask = [&](const icu::UnicodeString& in) {
            icu::UnicodeString text(in);
            if (widen)
                widen->transliterate(text);
            std::string out;
            text.toUTF8String(out);
            return out;
        };
        for (const auto& range : kRanges)
            for (UChar32 c = range[0]; c <= range[1]; ++c) {
                std::string same;
                AppendUtf8(c, same);
                std::string wide = ask(icu::UnicodeString(c));
                if (wide != same)
                    single_.push_back({c, std::move(wide)});
            }
        for (UChar32 c = kKanaFirst; c <= kKanaLast; ++c)
            for (UChar32 mark : {kVoiced, kSemiVoiced}) {
                icu::UnicodeString pair(c);
                pair.append(mark);
                std::string joined = ask(pair);
                if (joined != Single(c) + Single(mark))
                    pairs_[static_cast<size_t>(c - kKanaFirst)][mark == kVoiced ? 0 : 1] = std::move(joined);
            }
        for (int c = 0; c < 0x80; ++c) {
            std::string s(1, static_cast<char>(c));
            if (auto* wide = Find(c))
                s = *wide;
            ascii_[static_cast<size_t>(c)] = s;
        }
    }

    const std::string& Ascii(unsigned char c) const { return ascii_[c]; }

    const std::string* Find(UChar32 c) const {
        auto it = std::lower_bound(single_.begin(), single_.end(), c,
                                   [](const Entry& e, UChar32 v) { return e.codePoint < v; });
        return it != single_.end() && it->codePoint == c ? &it->wide : nullptr;
    }

    // The joined character of a half-width kana and a following sound mark; null when they stay two.
    const std::string* Pair(UChar32 kana, UChar32 mark) const {
        if (kana < kKanaFirst || kana > kKanaLast || (mark != kVoiced && mark != kSemiVoiced))
            return nullptr;
        const std::string& s = pairs_[static_cast<size_t>(kana - kKanaFirst)][mark == kVoiced ? 0 : 1];
        return s.empty() ? nullptr : &s;
    }

    static bool MayChange(UChar32 c) {
        return std::any_of(std::begin(kRanges), std::end(kRanges),
                           [c](const auto& r) { return c >= r[0] && c <= r[1]; });
    }

private:
    struct Entry {
        UChar32 codePoint;
        std::string wide;
    };
    std::string Single(UChar32 c) const {
        if (auto* wide = Find(c))
            return *wide;
        std::string s;
        AppendUtf8(c, s);
        return s;
    }

    std::vector<Entry> single_; // sorted: built in range order
    std::array<std::array<std::string, 2>, kKanaLast - kKanaFirst + 1> pairs_;
    std::array<std::string, 0x80> ascii_;
};

const WidthTable& Widths() {
    static const WidthTable table;
    return table;
}

// Stored names, addresses and bodies hold ’ where the mail had ' " “ or ” (the quote-safe rule),
// while subjects and typed queries keep them: all quotation marks fold into ’, so "don't" finds
// "don’t". The ASCII two arrive here already widened to ＇ and ＂.
constexpr std::string_view kFoldedQuote = "\xE2\x80\x99";

bool IsQuotationMark(UChar32 c) {
    return c == 0x2018 || c == 0x2019 || c == 0x201C || c == 0x201D || c == 0xFF02 || c == 0xFF07;
}

// The full-width pass over case-folded text.
void AppendWidened(std::string_view utf8, std::string& out) {
    const WidthTable& widths = Widths();
    const auto* s = reinterpret_cast<const uint8_t*>(utf8.data());
    const auto length = static_cast<int32_t>(utf8.size());
    int32_t i = 0;
    while (i < length) {
        if (s[i] < 0x80) {
            out += widths.Ascii(s[i]);
            ++i;
            continue;
        }
        const int32_t start = i;
        UChar32 c;
        U8_NEXT(s, i, length, c);
        if (c < 0) {
            AppendUtf8(0xFFFD, out);
            continue;
        }
        if (IsQuotationMark(c)) {
            out += kFoldedQuote;
            continue;
        }
        if (!WidthTable::MayChange(c)) {
            out.append(utf8.substr(static_cast<size_t>(start), static_cast<size_t>(i - start)));
            continue;
        }
        if (i < length) {
            int32_t next = i;
            UChar32 mark;
            U8_NEXT(s, next, length, mark);
            if (const std::string* joined = widths.Pair(c, mark)) {
                out += *joined;
                i = next;
                continue;
            }
        }
        if (const std::string* wide = widths.Find(c))
            out += *wide;
        else
            out.append(utf8.substr(static_cast<size_t>(start), static_cast<size_t>(i - start)));
    }
}

} // namespace

void AppendSearchFolded(std::string_view utf8, std::string& out) {
    // Kana, kanji and CJK punctuation (U+3000..U+9FFF, lead bytes E3..E9) change under neither
    // folding, and ASCII only by its own table: those go straight through. Everything else is
    // folded a run at a time by the filters' case folding and then widened; a run ends only before
    // ASCII or a whole kana/kanji, so a half-width kana and its sound mark always stay together.
    const WidthTable& widths = Widths();
    thread_local std::string folded;
    const auto* s = reinterpret_cast<const unsigned char*>(utf8.data());
    const size_t n = utf8.size();
    size_t run = 0; // start of the pending run of other characters
    auto flush = [&](size_t end) {
        if (end > run) {
            folded.clear();
            AppendFoldedCase(utf8.substr(run, end - run), folded);
            AppendWidened(folded, out);
        }
    };
    size_t i = 0;
    while (i < n) {
        const unsigned char b = s[i];
        if (b == '\'' || b == '"') {
            flush(i);
            out += kFoldedQuote;
            run = ++i;
        } else if (b < 0x80) {
            flush(i);
            out += widths.Ascii(static_cast<unsigned char>(ToLowerAscii(static_cast<char>(b))));
            run = ++i;
        } else if (b >= 0xE3 && b <= 0xE9 && i + 2 < n && (s[i + 1] & 0xC0) == 0x80 && (s[i + 2] & 0xC0) == 0x80) {
            flush(i);
            out.append(utf8.substr(i, 3));
            run = i += 3;
        } else {
            ++i;
        }
    }
    flush(n);
}

std::string SearchFold(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size() + utf8.size() / 2);
    AppendSearchFolded(utf8, out);
    return out;
}

size_t CharCount(std::string_view utf8) {
    return static_cast<size_t>(
        std::count_if(utf8.begin(), utf8.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

} // namespace kamo
