// The search folding against the filters' own two foldings, which it must equal everywhere.
#include <gtest/gtest.h>

#include <random>

#include <unicode/utf8.h>

#include "filters/FilterText.h"
#include "search/SearchTerms.h"
#include "search/SearchText.h"
#include "search/tests/SearchReference.h"

using namespace kamo;

namespace {

std::string Utf8(UChar32 c) {
    char buf[U8_MAX_LENGTH];
    int32_t len = 0;
    UBool error = false;
    U8_APPEND(buf, len, U8_MAX_LENGTH, c, error);
    return error ? std::string() : std::string(buf, static_cast<size_t>(len));
}

std::string Reference(const std::string& text) {
    return test::ReferenceFold(text);
}

} // namespace

TEST(SearchFold, EqualsTheFiltersFoldingsForEveryCodePoint) {
    // One string per block of code points keeps ICU's per-call cost down; a separator that neither
    // folding touches keeps neighbours from joining.
    for (UChar32 block = 0; block < 0x110000; block += 0x400) {
        std::string text;
        for (UChar32 c = block; c < block + 0x400; ++c)
            if (c < 0xD800 || c > 0xDFFF)
                text += Utf8(c) + "\n";
        ASSERT_EQ(SearchFold(text), Reference(text)) << "block U+" << std::hex << block;
    }
}

TEST(SearchFold, EqualsTheFiltersFoldingsOnMixedText) {
    struct Case {
        const char* text;
        const char* folded;
    };
    const Case cases[] = {
        {"ABC abc ＡＢＣ", "ａｂｃ　ａｂｃ　ａｂｃ"},
        {"ｶﾞｷﾞﾊﾟｳﾞ", "ガギパヴ"},                // half-width kana with their sound marks joined
        {"ｱﾞ", "ア\xE3\x82\x99"},                // no voiced ア: the mark stays, full width
        {"カﾞ", "カ\xE3\x82\x99"},               // only a half-width kana joins its mark
        {"Straße ǅ K", "ｓｔｒａｓｓｅ　ǆ　ｋ"}, // full case folding; the Kelvin sign becomes k
        {"①㈱髙～ソ表能ポ弓－", "①㈱髙～ソ表能ポ弓－"},
        {"’’，｜\"'|", "’’，｜’’｜"}, // every quotation mark is the stored ’
        {"‘“don't”’＇＂", "’’ｄｏｎ’ｔ’’’’"},
        {"¥\\~", "￥＼～"},
        {"a\xFF"
         "b\xE3\x81",
         "ａ\xEF\xBF\xBD"
         "ｂ\xEF\xBF\xBD"}, // bad bytes become U+FFFD
        {"\r\n\t", "\r\n\t"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SearchFold(c.text), c.folded) << c.text;
        EXPECT_EQ(SearchFold(c.text), Reference(c.text)) << c.text;
    }
    // Random mixtures of what folds differently: ASCII, half-width kana and marks, case pairs, bad bytes.
    const std::vector<std::string> pieces = {"A",
                                             "z",
                                             " ",
                                             "~",
                                             "ｶ",
                                             "ﾞ",
                                             "ﾟ",
                                             "ﾊ",
                                             "ｱ",
                                             "ガ",
                                             "Σ",
                                             "ς",
                                             "ß",
                                             "İ",
                                             "\xFF",
                                             "\xE3",
                                             "ｰ",
                                             "ﾜ",
                                             "゛",
                                             "ﾞﾞ",
                                             "Ａ",
                                             "ｈ",
                                             "\xE3\x81",
                                             "漢",
                                             "\r\n",
                                             "ﾝ",
                                             "ｦ",
                                             "\xED\xA0\x80",
                                             "\xE0\x80\x80",
                                             "😀",
                                             "¥",
                                             "\xE9\xBF\xBF",
                                             "①",
                                             "\x80"};
    std::mt19937 rng(7);
    for (int i = 0; i < 5000; ++i) {
        std::string text;
        for (int n = static_cast<int>(rng() % 12); n > 0; --n)
            text += pieces[rng() % pieces.size()];
        ASSERT_EQ(SearchFold(text), Reference(text)) << text;
    }
}

namespace {

// The plain words of a query as the search takes them: each a term of any field, its text folded.
std::vector<std::string> Words(std::string_view query) {
    const ParsedSearch parsed = ParseSearch(query);
    EXPECT_FALSE(parsed.error) << query;
    std::vector<std::string> words;
    for (const SearchTerm& term : parsed.terms) {
        EXPECT_EQ(term.field, TermField::Any) << query;
        EXPECT_FALSE(term.negated) << query;
        words.push_back(term.text);
    }
    return words;
}

} // namespace

TEST(ParseSearch, WordsSplitAtAsciiAndIdeographicSpacesFoldedEachOnce) {
    EXPECT_EQ(Words("Hello　世界 hello\tＷＯＲＬＤ"), (std::vector<std::string>{"ｈｅｌｌｏ", "世界", "ｗｏｒｌｄ"}));
    EXPECT_TRUE(Words(" 　\t").empty());
    EXPECT_TRUE(Words("").empty());
    EXPECT_EQ(Words("ｶﾞ"), (std::vector<std::string>{"ガ"}));
}
