#include <gtest/gtest.h>

#include "common/CodePage.h"
#include "import/MailCharsets.h"

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
