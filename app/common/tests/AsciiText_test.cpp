#include <gtest/gtest.h>

#include "common/AsciiText.h"

using namespace kamo;

namespace {

// '@' and '[' sit just outside 'A'..'Z', '`' and '{' just outside 'a'..'z'; "\xC3\x80" is À, whose
// bytes a locale-aware tolower could fold.
TEST(AsciiText, OnlyAsciiLettersFold) {
    EXPECT_EQ(ToLowerAscii("AZaz@[`{09"), "azaz@[`{09");
    EXPECT_EQ(ToLowerAscii("\xC3\x80\xC3\xA0Ｘ"), "\xC3\x80\xC3\xA0Ｘ");
    EXPECT_TRUE(IsAsciiAlpha('a') && IsAsciiAlpha('Z'));
    EXPECT_FALSE(IsAsciiAlpha('@') || IsAsciiAlpha('[') || IsAsciiAlpha('`') || IsAsciiAlpha('{'));
    EXPECT_FALSE(IsAsciiAlpha('\xC3'));
}

TEST(AsciiText, ComparisonsIgnoreAsciiCaseOnly) {
    struct Case {
        std::string_view a, b;
        bool equal;
    };
    const Case cases[] = {
        {"KamoMail.Tmp", "kamomail.tmp", true},
        {"abc", "abcd", false},
        {"@", "`", false},
        {"[", "{", false},
        {"Ａ", "ａ", false},
        {"", "", true},
        {"\xC3\x80", "\xC3\xA0", false},
        // A file name's extension, the tail of "a.TMP", "tmp" and "a.tmpx" beside ".tmp".
        {".TMP", ".tmp", true},
        {"tmp", ".tmp", false},
        {"tmpx", ".tmp", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(EqualsNoCase(c.a, c.b), c.equal) << c.a << " / " << c.b;
        EXPECT_EQ(CompareNoCase(c.a, c.b) == 0, c.equal) << c.a << " / " << c.b;
    }
    EXPECT_TRUE(StartsWithNoCase("RE: hi", "re:"));
    EXPECT_FALSE(StartsWithNoCase("R", "re:"));
    EXPECT_FALSE(StartsWithNoCase("xre:", "re:"));
}

// The order of the archive's NOCASE columns, which the subject list's merge must repeat.
TEST(AsciiText, CompareNoCaseSortsLikeSqliteNocase) {
    struct Case {
        std::string_view a, b;
        int sign;
    };
    const Case cases[] = {
        {"a", "B", -1},            // folded, not 'a' > 'B' as bytes
        {"_", "A", -1},            // 'A' compares as 'a' (0x61), above '_' (0x5F)
        {"ab", "ABC", -1},         // a prefix first
        {"z", "\xE3\x81\x82", -1}, // bytes compare unsigned: UTF-8 after ASCII
        {"B", "a", 1},
        {"Abc", "aBC", 0},
    };
    for (const auto& c : cases) {
        const int r = CompareNoCase(c.a, c.b);
        EXPECT_EQ((r > 0) - (r < 0), c.sign) << c.a << " / " << c.b;
        const int back = CompareNoCase(c.b, c.a);
        EXPECT_EQ((back > 0) - (back < 0), -c.sign) << c.b << " / " << c.a;
    }
}

TEST(AsciiText, TrimsStripOnlyTheirOwnBlanksAtTheEnds) {
    struct Case {
        std::string_view in, blanks, out;
    };
    const Case cases[] = {
        {"  a b  ", kSpace, "a b"},
        {"\t a \t", kSpace, "\t a \t"},
        {"\t a \t", kSpaceTab, "a"},
        {"\r\n a\r\n", kSpaceTab, "\r\n a\r\n"},
        {"\r\n a\t\r\n", kSpaceTabCrLf, "a"},
        {"\va\f", kSpaceTabCrLf, "\va\f"},
        {"\va\f", kAsciiWhitespace, "a"},
        {"   ", kSpace, ""},
        {"", kSpace, ""},
        {"　a　", kAsciiWhitespace, "　a　"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TrimAscii(c.in, c.blanks), c.out) << "[" << c.in << "]";
}

TEST(AsciiText, IdeographicSpaceTrimTakesBothKindsInAnyMix) {
    struct Case {
        std::string_view in, out;
    };
    const Case cases[] = {
        {"　 \t　件名　 x\r\n　", "件名　 x"},
        {"　", ""},
        {" \v\f", ""},
        {"\xE3\x80", "\xE3\x80"}, // a cut U+3000 is not a blank
        {"a\xE3\x80\x80\xE3\x80", "a\xE3\x80\x80\xE3\x80"},
        {"x", "x"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TrimAsciiAndIdeographicSpace(c.in), c.out) << "[" << c.in << "]";
}

} // namespace

TEST(AsciiText, OneLineTurnsEveryControlAndLineBreakIntoOneBlank) {
    using namespace std::string_literals;
    struct Case {
        std::string in, out;
    };
    const Case cases[] = {
        {"Mallory\r\nX-Evil: 1", "Mallory  X-Evil: 1"},
        {"a\0b\x01\x1B[2J\x1F\x7F"s, "a b  [2J  "},
        {"tab\there\vff\f", "tab here ff "},
        {"nel\xC2\x85|c1\xC2\x9F|nbsp\xC2\xA0", "nel |c1 |nbsp\xC2\xA0"},
        {"ls\xE2\x80\xA8ps\xE2\x80\xA9|dash\xE2\x80\x94", "ls ps |dash\xE2\x80\x94"},
        {"テスト①髙～", "テスト①髙～"},
        {"cut\xC2", "cut\xC2"}, // a cut sequence is kept, not read past the end
        {"cut\xE2\x80", "cut\xE2\x80"},
        {"\xFF\xFE", "\xFF\xFE"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(OneLine(c.in), c.out) << "[" << c.in << "]";
}
