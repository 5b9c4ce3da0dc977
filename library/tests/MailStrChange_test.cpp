#include <cstring>
#include <gtest/gtest.h>
#include <vector>

#include "LibTestSupport.h"

namespace {

// Converts through the export; the area is followed by a guard that must stay untouched.
struct Converted {
    std::string text;    // the first `length` bytes
    std::string padding; // the rest of the 8192-byte area
    bool guardIntact = true;
};

Converted Change(const std::string& source) {
    constexpr size_t kGuard = 64;
    std::vector<char> area(KAMOMAIL_STRCHANGE_AREA + kGuard, '\x5a');
    int32_t length = -1;
    EXPECT_EQ(Mail_StrChange(source.c_str(), area.data(), &length), 0);
    Converted c;
    EXPECT_GE(length, 0);
    EXPECT_LE(length, KAMOMAIL_STRCHANGE_AREA);
    c.text.assign(area.data(), static_cast<size_t>(length));
    c.padding.assign(area.data() + length, area.data() + KAMOMAIL_STRCHANGE_AREA);
    for (size_t i = KAMOMAIL_STRCHANGE_AREA; i < area.size(); ++i)
        c.guardIntact = c.guardIntact && area[i] == '\x5a';
    return c;
}

std::string Text(const std::string& source) {
    return Change(source).text;
}

} // namespace

TEST(MailStrChange, ReplacesTheDelimiters) {
    EXPECT_EQ(Text("a,b"), "a\x81\x43"
                           "b");
    EXPECT_EQ(Text("\"word\""), "\x81\x66word\x81\x66");
    EXPECT_EQ(Text("it's"), "it\x81\x66s");
    EXPECT_EQ(Text("a|b"), "a\x81\x62"
                           "b");
    // The full-width double quotes become the right single quote.
    EXPECT_EQ(Text("\x81\x67x\x81\x68"), "\x81\x66x\x81\x66");
    // A blank that was there already stays after the replacement.
    EXPECT_EQ(Text("\" a"), "\x81\x66 a");
}

TEST(MailStrChange, PlainTextComesBackUnchangedAndBlankPadded) {
    auto c = Change("Hello World 123");
    EXPECT_EQ(c.text, "Hello World 123");
    EXPECT_EQ(c.padding, std::string(KAMOMAIL_STRCHANGE_AREA - 15, ' '));
    EXPECT_TRUE(c.guardIntact);
    auto empty = Change("");
    EXPECT_EQ(empty.text, "");
    EXPECT_EQ(empty.padding, std::string(KAMOMAIL_STRCHANGE_AREA, ' '));

    std::vector<char> area(KAMOMAIL_STRCHANGE_AREA, 'x');
    int32_t length = -1;
    EXPECT_EQ(Mail_StrChange(nullptr, area.data(), &length), 0);
    EXPECT_EQ(length, 0);
    EXPECT_EQ(std::string(area.begin(), area.end()), std::string(KAMOMAIL_STRCHANGE_AREA, ' '));
    EXPECT_EQ(Mail_StrChange("a", nullptr, &length), 0);
    EXPECT_EQ(length, 0);
}

// Characters whose second byte is 0x7C or 0x5C come through untouched, and nothing that merely looks
// like a once-damaged sequence is changed.
TEST(MailStrChange, DoubleByteCharactersAreNeverDamaged) {
    // ポ followed by a bar: the katakana survives, the bar becomes the full-width line.
    EXPECT_EQ(Text("\x83\x7C\x7C"), "\x83\x7C\x81\x62");
    const std::string trail7c[] = {
        "\x83\x7C", // ポ
        "\x8B\x7C", // 弓 (missing from the old repair table)
        "\x8D\x7C", // 鋼
        "\x90\x7C", // 酢
        "\x81\x7C", // full-width minus
        "\x8A\x7C", // 掛
        "\x9D\x7C", // 掟
        "\x95\x5C", // 表 (second byte 0x5C)
        "\x94\x5C", // 能
        "\xFB\xFC", // 髙
        "\x87\x40", // ①
    };
    for (const auto& ch : trail7c) {
        EXPECT_EQ(Text(ch), ch);
        EXPECT_EQ(Text("x" + ch + "y" + ch + ch), "x" + ch + "y" + ch + ch);
    }
    // メb is 0x83 0x81 0x62: a byte-wise repair would have turned it into ポ.
    EXPECT_EQ(Text("\x83\x81\x62"), "\x83\x81\x62");
    EXPECT_EQ(Text("\x81\x81\x62"), "\x81\x81\x62");
    // メg (0x83 0x81 0x67): the trail byte 0x81 does not start a full-width quote.
    EXPECT_EQ(Text("\x83\x81\x67"), "\x83\x81\x67");
    // 0x7C-trail kanji right next to real delimiters.
    EXPECT_EQ(Text("\x8B\x7C,\x8D\x7C|\"\x90\x7C\""), "\x8B\x7C\x81\x43\x8D\x7C\x81\x62\x81\x66\x90\x7C\x81\x66");
    // A lead byte without a valid trail byte stands alone; the delimiter after it is still replaced.
    EXPECT_EQ(Text("\x83\""), "\x83\x81\x66");
    EXPECT_EQ(Text("\x83"), "\x83");
}

TEST(MailStrChange, JapaneseTextWithDelimiters) {
    const std::string in = ppw::ToCp932("\"ポスペ\", 'モモ' | 弓と鋼と酢");
    const std::string out = ppw::ToCp932("’ポスペ’， ’モモ’ ｜ 弓と鋼と酢");
    EXPECT_EQ(Text(in), out);
}

TEST(MailStrChange, ReadsAtMostTheInputLimit) {
    EXPECT_EQ(Text(std::string(9000, 'a')), std::string(8182, 'a'));
    EXPECT_EQ(Text(std::string(8181, 'a') + "\x83\x7C"), std::string(8181, 'a') + "\x83");
}

// Widening can outgrow the area: it is never overrun and the text stops at the last whole character.
TEST(MailStrChange, WidenedTextNeverOverrunsTheArea) {
    auto full = Change(std::string(5000, ','));
    EXPECT_TRUE(full.guardIntact);
    ASSERT_EQ(full.text.size(), 8192u);
    for (size_t i = 0; i < full.text.size(); i += 2)
        ASSERT_EQ(full.text.substr(i, 2), "\x81\x43");

    auto odd = Change("a" + std::string(5000, '|'));
    EXPECT_TRUE(odd.guardIntact);
    ASSERT_EQ(odd.text.size(), 8191u);
    EXPECT_EQ(odd.text.substr(8189), "\x81\x62");
    EXPECT_EQ(odd.padding, " ");

    // A double-byte character that would straddle the end is left out whole.
    auto kanji = Change("a" + std::string(3000, '"') + std::string(2190, 'b') + "\x83\x7Czz");
    EXPECT_TRUE(kanji.guardIntact);
    EXPECT_EQ(kanji.text.size(), 8191u);
    EXPECT_EQ(kanji.text.back(), 'b');
    EXPECT_EQ(kanji.padding, " ");
}
