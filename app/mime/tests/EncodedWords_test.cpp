#include <gtest/gtest.h>

#include "common/CodePage.h"
#include "mime/EncodedWords.h"

using namespace kamo;

TEST(EncodedWords, CharsetsEncodingsBlanksAndBadWords) {
    EXPECT_EQ(DecodeEncodedWords("=?ISO-2022-JP?B?GyRCRnxLXBsoQg==?="), "日本");
    EXPECT_EQ(DecodeEncodedWords("=?iso-2022-jp?b?GyRCRnxLXBsoQg?="), "日本"); // no padding, lower case
    EXPECT_EQ(DecodeEncodedWords("=?Shift_JIS?B?k/qWew==?="), "日本");
    EXPECT_EQ(DecodeEncodedWords("=?shift_jis?Q?=8E=52=93=63_san?="), "山田 san");
    EXPECT_EQ(DecodeEncodedWords("=?UTF-8?B?4pGg6auZ?="), "①髙");
    EXPECT_EQ(DecodeEncodedWords("=?utf-8?q?=E2=91=A0?="), "①");
    // Blanks between adjacent words go; other text stays as it is.
    EXPECT_EQ(DecodeEncodedWords("Re: =?UTF-8?B?4pGg?= \t =?UTF-8?B?6auZ?= end"), "Re: ①髙 end");
    // Malformed or unknown words are left alone.
    EXPECT_EQ(DecodeEncodedWords("=?x-unknown-set?B?AAAA?="), "=?x-unknown-set?B?AAAA?=");
    EXPECT_EQ(DecodeEncodedWords("price =?5"), "price =?5");
    EXPECT_EQ(DecodeEncodedWords("=?UTF-8?X?abc?="), "=?UTF-8?X?abc?=");
    // Bad UTF-8 inside a word still yields well-formed text.
    EXPECT_TRUE(IsValidUtf8(DecodeEncodedWords("=?UTF-8?Q?=FF=FEa?=")));
}

TEST(EncodedWords, BlanksInsideAQWordAreTextAndInsideABWordAFold) {
    struct Case {
        const char* raw;
        const char* expected;
    };
    const Case cases[] = {
        // Raw blanks where "_" belongs: the writer's blanks.
        {"=?UTF-8?Q?Test a special character =E3=83=BC?=", "Test a special character ー"},
        {"=?iso-2022-jp?q?=1B$B%F%9%H=1B(B no ken?=", "テスト no ken"},
        {"=?Shift_JIS?Q?=95=5C calc.xls?=", "表 calc.xls"},
        // A fold inside a Q word: its line break goes, its blank stays.
        {"=?UTF-8?Q?one\r\n two?=", "one two"},
        // Two adjacent Q words: the blanks between them still go.
        {"=?UTF-8?Q?a b?= =?UTF-8?Q?c?=", "a bc"},
        // A B word folded in the wrong place still joins up.
        {"=?UTF-8?B?5pel5pys\r\n 6Kqe?=", "日本語"},
        {"=?UTF-8?B?5pel 5pys 6Kqe?=", "日本語"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DecodeEncodedWords(c.raw), c.expected) << c.raw;
}
