#include <gtest/gtest.h>

#include "browse/MailView.h"

namespace kamo {
namespace {

TEST(MailFontStyle, FlagsReadAndWrittenAsTheSettingsHoldThem) {
    EXPECT_FALSE(ParseFontStyle("0,0").bold);
    EXPECT_TRUE(ParseFontStyle("1,0").bold);
    EXPECT_FALSE(ParseFontStyle("1,0").italic);
    EXPECT_TRUE(ParseFontStyle("0,1").italic);
    EXPECT_FALSE(ParseFontStyle("x,y").bold);
    EXPECT_FALSE(ParseFontStyle("").italic);
    EXPECT_EQ(FormatFontStyle({true, false}), "1,0");
    EXPECT_EQ(FormatFontStyle(ParseFontStyle("0,1")), "0,1");
}

} // namespace
} // namespace kamo
