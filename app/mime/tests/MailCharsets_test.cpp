#include <gtest/gtest.h>

#include <vector>

#include "common/CodePage.h"
#include "common/IcuConverter.h"
#include "mime/MailCharsets.h"

using namespace kamo;

TEST(MailCharsets, Cp932AndIso2022JpTextComeOutRight) {
    // Characters only CP932 has, from CP932 bytes (髙 in both of its CP932 spellings).
    EXPECT_EQ(DecodeMailText("\x81\x60\x87\x40\x87\x8a\xee\xe0\xfb\xfc"), "～①㈱髙髙");
    EXPECT_EQ(DecodeMailText("plain ascii"), "plain ascii");
    // ISO-2022-JP: 日本, then ① ㈱ (NEC row 13), 髙 (row 92) and ～ as Windows mailers send them.
    EXPECT_EQ(DecodeMailText("\x1b$BF|K\\\x1b(B"), "日本");
    EXPECT_EQ(DecodeMailText("a\x1b$B-!-j|b!A\x1b(Bz"), "a①㈱髙～z");
    // Half-width katakana by ESC ( I, and CP932 bytes beside an escape sequence stay CP932.
    EXPECT_EQ(DecodeMailText("\x1b(I12\x1b(B \x83\x7c"), "ｱｲ ポ");
    // Broken bytes never lose the rest of the text.
    const std::string broken = DecodeMailText(std::string("ok\x81\x1b$B\x01!", 8) + "\x1b(Btail");
    EXPECT_TRUE(IsValidUtf8(broken));
    EXPECT_EQ(broken.substr(0, 2), "ok");
    EXPECT_EQ(broken.substr(broken.size() - 4), "tail");
}

TEST(MailCharsets, CharsetNamesInAnyCaseAndWithALanguageSuffix) {
    struct Case {
        const char* charset;
        std::string bytes;
        const char* utf8;
    };
    const Case cases[] = {
        {"ISO-2022-JP*ja", "\x1b$BF|K\\\x1b(B", "日本"},
        {"CSISO2022JP", "\x1b$BF|K\\\x1b(B", "日本"},
        {"Windows-31J", "\x87\x40", "①"},
        {"SJIS*ja-JP", "\x87\x40", "①"},
        {"us-ascii", "a\x87\x40", "a①"}, // read as CP932, so 8-bit bytes under an ASCII label survive
        {"UTF8", "\xe2\x91\xa0", "①"},
        {"iso-8859-1", "caf\xe9", "café"},
        {"EUC-JP", "\xc6\xfc", "日"},
    };
    for (const auto& c : cases) {
        std::string out;
        EXPECT_TRUE(DecodeCharset(c.charset, c.bytes, out)) << c.charset;
        EXPECT_EQ(out, c.utf8) << c.charset;
    }
    std::string out;
    EXPECT_TRUE(DecodeCharset("utf-8", "a\xff", out));
    EXPECT_EQ(out, "a\xEF\xBF\xBD");
    EXPECT_FALSE(DecodeCharset("x-unknown-set", "abc", out));
}

TEST(MailCharsets, UndeclaredTextIsReadInWhicheverJapaneseSetItsBytesSpell) {
    struct Case {
        const char* what;
        std::string bytes;
        const char* utf8;
    };
    const Case cases[] = {
        // EUC-JP made only of bytes A1..DF: CP932 would take every byte for half-width katakana.
        {"euc kana only", "\xa5\xc6\xa5\xb9\xa5\xc8", "テスト"},
        {"euc hiragana", "\xa4\xb3\xa4\xf3\xa4\xcb\xa4\xc1\xa4\xcf", "こんにちは"},
        {"euc kana and punctuation", "\xa5\xe1\xa1\xbc\xa5\xeb\xa1\xa3", "メール。"},
        {"euc kanji and kana", "\xa5\xe1\xa1\xbc\xa5\xeb\xc1\xf7\xbf\xae", "メール送信"},
        // CP932 text with real half-width katakana stays CP932.
        {"cp932 halfwidth", "\xb1\xb2\xb3\xb4", "ｱｲｳｴ"},
        {"cp932 halfwidth and kana", "\xc3\xbd\xc4\x82\xc8\x82\xab", "ﾃｽﾄなき"},
        // Half-width katakana with a middle dot: EUC-JP would read mostly kanji and one katakana.
        {"cp932 halfwidth dot", "\xb6\xc0\xb6\xc5\xa5\xc3\xbd\xc4", "ｶﾀｶﾅ･ﾃｽﾄ"},
        {"cp932 kanji", "\x93\xfa\x96\x7b\x8c\xea", "日本語"},
        {"utf-8", "\xe3\x83\x86\xe3\x82\xb9\xe3\x83\x88", "テスト"},
        {"iso-2022-jp", "\x1b$B%F%9%H\x1b(B", "テスト"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DecodeUndeclaredText(c.bytes), c.utf8) << c.what;
}

// Every JIS X 0208 cell, NEC row 13 and the IBM rows 89..92 among them, against ICU's CP932 at
// the Shift_JIS code found by counting: each lead byte holds two rows, each row 94 trail bytes
// (0x40..0x7E, then 0x80..0xFC), so the n-th two-byte code in order is the n-th cell in order.
TEST(MailCharsets, EveryJisCellReadsAsIcusCp932AtItsShiftJisCode) {
    std::vector<unsigned> leads, trails;
    for (unsigned b = 0x81; b <= 0x9F; ++b)
        leads.push_back(b);
    for (unsigned b = 0xE0; b <= 0xEF; ++b)
        leads.push_back(b);
    for (unsigned b = 0x40; b <= 0xFC; ++b)
        if (b != 0x7F)
            trails.push_back(b);
    ASSERT_EQ(leads.size() * trails.size(), 94u * 94u);
    IcuConverter cp932("windows-31j");
    ASSERT_TRUE(cp932.IsOpen());
    int mismatches = 0;
    for (unsigned n = 0; n < 94 * 94; ++n) {
        const std::string jis = {static_cast<char>(0x21 + n / 94), static_cast<char>(0x21 + n % 94)};
        const std::string sjis = {static_cast<char>(leads[n / trails.size()]),
                                  static_cast<char>(trails[n % trails.size()])};
        const auto expected = cp932.ToUtf8(sjis);
        ASSERT_TRUE(expected);
        const std::string got = DecodeMailText("\x1b$B" + jis + "\x1b(B");
        if (got != *expected && ++mismatches <= 10)
            ADD_FAILURE() << "row " << n / 94 + 1 << " cell " << n % 94 + 1 << ": " << got << " != " << *expected;
    }
    EXPECT_EQ(mismatches, 0);
}
