#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "common/CodePage.h"
#include "common/QuoteSafe.h"

using namespace kamo;

namespace {

// Stands in for the library where only the wrapper is under test: keeps the library's contract
// (reads at most 8182 bytes, widens specials into an 8192-byte area, blank-pads the result area)
// and records the largest input it was given.
std::size_t largestInput = 0;
bool overflowed = false;
bool cutCharacter = false;

int16_t FakeStrChange(const char* source, char* result, int32_t* length) {
    const std::size_t n = std::strlen(source);
    largestInput = std::max(largestInput, n);
    for (std::size_t i = 0; i < n; ++i) {
        const auto b = static_cast<unsigned char>(source[i]);
        if ((b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC)) {
            cutCharacter = cutCharacter || i + 1 == n;
            ++i;
        }
    }
    std::string out;
    for (std::size_t i = 0; i < n && i < 8182; ++i) {
        const char c = source[i];
        if (c == '"' || c == '\'')
            out += "\x81\x66";
        else if (c == ',')
            out += "\x81\x43";
        else if (c == '|')
            out += "\x81\x62";
        else
            out += c;
    }
    overflowed = overflowed || out.size() > 8192 || n > 8182;
    std::memset(result, ' ', 8192);
    std::memcpy(result, out.data(), std::min<std::size_t>(out.size(), 8192));
    *length = static_cast<int32_t>(std::min<std::size_t>(out.size(), 8192));
    return 0;
}

} // namespace

TEST(QuoteSafe, ReturnsExactlyTheConvertedText) {
    // Japanese names used to gain pad blanks: the length counts bytes, not characters.
    EXPECT_EQ(QuoteSafe(FakeStrChange, "山田'太郎"), "山田’太郎");
    EXPECT_EQ(QuoteSafe(FakeStrChange, "a,b|\"c\""), "a，b｜’c’");
    EXPECT_EQ(QuoteSafe(FakeStrChange, "trailing  "), "trailing  ");
    EXPECT_EQ(QuoteSafe(FakeStrChange, ""), "");
    EXPECT_EQ(QuoteSafe(FakeStrChange, "    "), "");
    EXPECT_EQ(QuoteSafe(FakeStrChange, "\r\n"), "\r\n");
    EXPECT_EQ(QuoteSafe(FakeStrChange, " \r\n "), " \r\n ");
    EXPECT_EQ(QuoteSafe(nullptr, "a'b"), "a'b");
}

TEST(QuoteSafe, LongTextsGoInPiecesAndComeBackWhole) {
    largestInput = 0;
    overflowed = false;
    // 30,000 characters of mixed widths, quotes everywhere: far beyond the 8192-byte area.
    std::string text;
    std::string expected;
    for (int i = 0; i < 6000; ++i) {
        text += "あ'b,ｱ";
        expected += "あ’b，ｱ";
    }
    EXPECT_EQ(QuoteSafe(FakeStrChange, text), expected);
    EXPECT_FALSE(overflowed);
    EXPECT_LE(largestInput, kQuoteSafePieceBytes);
    EXPECT_GT(largestInput, kQuoteSafePieceBytes - 4);
    // Only delimiters: every byte widens, still no overflow.
    const std::string quotes(20000, '\'');
    std::string allWide;
    for (int i = 0; i < 20000; ++i)
        allWide += "’";
    EXPECT_EQ(QuoteSafe(FakeStrChange, quotes), allWide);
    EXPECT_FALSE(overflowed);
}

TEST(QuoteSafe, CharactersOutsideCp932AndNulPassUntouched) {
    const std::string text = std::string("😀'x\xe2\x82", 8) + std::string("\0'", 2) + "€,";
    const std::string out = QuoteSafe(FakeStrChange, text);
    EXPECT_EQ(out, std::string("😀’x\xe2\x82", 10) + std::string("\0’", 4) + "€，");
    // The CP932 form: a double-byte character on a piece boundary moves to the next piece; NUL
    // passes by the library.
    cutCharacter = false;
    largestInput = 0;
    std::string cp = "aa" + std::string(1, '\0') + Utf8ToCp932(std::string(4089, 'a') + "あ|");
    const std::string changed = QuoteSafeCp932(FakeStrChange, cp);
    EXPECT_FALSE(cutCharacter);
    EXPECT_EQ(largestInput, 4089u);
    EXPECT_EQ(Cp932ToUtf8(changed), std::string("aa\0", 3) + std::string(4089, 'a') + "あ｜");
}
