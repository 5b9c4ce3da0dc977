#include <gtest/gtest.h>

#include "browse/MailView.h"
#include "browse/RunTables.h"

namespace kamo {
namespace {

TEST(SmallTables, MonthsDrawersAndFontFlags) {
    RunTables t;
    FillMonthTable(t);
    FillDrawerTable(t);
    EXPECT_EQ(t.months[0], "Jan");
    EXPECT_EQ(t.months[11], "Dec");
    EXPECT_TRUE(t.months[12].empty());
    EXPECT_EQ(MonthNumber(t, "Feb"), "02");
    EXPECT_EQ(MonthNumber(t, "Oct"), "10");
    EXPECT_EQ(MonthNumber(t, "feb"), "");
    EXPECT_EQ(t.drawerColours[0], "ピンク");
    EXPECT_EQ(t.drawerColours[8], "橙色");

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
