#include <gtest/gtest.h>

#include "common/CodePage.h"
#include "import/EncodedWords.h"

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
