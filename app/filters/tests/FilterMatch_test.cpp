#include <gtest/gtest.h>

#include "filters/FilterMatch.h"
#include "filters/FilterText.h"
#include "filters/tests/FilterTestUtil.h"

using namespace kamo;
using kamo::test::Filter;
using kamo::test::Mail;
using kamo::test::SetFilters;

TEST(FilterText, FoldCaseIsUnicodeAndLeavesJapaneseAlone) {
    EXPECT_EQ(FoldCase("Taro@Example.COM"), "taro@example.com");
    EXPECT_EQ(FoldCase("ＡＢＣ"), "ａｂｃ");             // full-width Latin folds too
    EXPECT_EQ(FoldCase("ΣΊΣΥΦΟΣ"), FoldCase("σίσυφοσ")); // Greek, not only ASCII
    EXPECT_EQ(FoldCase("Straße"), "strasse");            // full folding may change the length
    EXPECT_EQ(FoldCase("山田ﾀﾛｳ　カタカナ"), "山田ﾀﾛｳ　カタカナ");
    // Broken UTF-8 does not stop the fold or get lost.
    EXPECT_EQ(FoldCase(std::string("A\xFF"
                                   "B",
                                   3)),
              std::string("a\xFF"
                          "b",
                          3));
}

TEST(FilterText, FullWidthJoinsVoicedMarks) {
    EXPECT_EQ(ToFullWidth("Re: abc 1"), "Ｒｅ：　ａｂｃ　１");
    EXPECT_EQ(ToFullWidth("ｶﾞｷﾞﾊﾟ"), "ガギパ");
    EXPECT_EQ(ToFullWidth("全角のまま"), "全角のまま");
}

TEST(FilterText, ArchiveEqualityIgnoresOnlyAsciiCase) {
    // Mirrors SQLite's NOCASE, which the exact rules run on inside the database.
    EXPECT_TRUE(ArchiveTextEqual("Hello", "hELLO"));
    EXPECT_FALSE(ArchiveTextEqual("Ａ", "ａ"));
    EXPECT_FALSE(ArchiveTextEqual("abc", "abcd"));
    EXPECT_FALSE(TextContains("anything", ""));
}

TEST(ReadFilters, EachRuleExcludesTheMailItDescribes) {
    FilterTables tables;
    const MailRecord m =
        Mail("10:00:00", "ＰｏｓｔＰｅｔ通信 ガイド", "Ｍｏｍｏ", "Momo@Pet.example", "花子", "hanako@example.jp");
    struct Case {
        int16_t rule;
        std::string condition;
        bool excluded;
    };
    const Case cases[] = {
        {0, "ｐｏｓｔｐｅｔ通信 ガイド", false}, // equality ignores ASCII case only
        {0, "ＰｏｓｔＰｅｔ通信 ガイド", true},
        {1, "PostPet", true},         // half-width condition, full-width subject
        {1, "ｶﾞｲﾄﾞ", true},           // half-width katakana with voiced marks
        {1, "ｐｏｓｔｐｅｔ", false}, // character exact: case counts
        {2, "HANAKO@EXAMPLE.JP", true},
        {2, "hanako@example", false},
        {3, "pet.EXAMPLE", true},
        {3, "nobody", false},
        {4, "花子", true},
        {4, "ｍｏｍｏ", false}, // full-width letters are not ASCII: the database keeps their case
        {5, "ｍｏ", true},      // ...but the contains rule folds them
        {5, "太郎", false},
        {1, "", false}, // an empty condition refuses nothing
        {3, "", false},
        {7, "Momo", false}, // unknown rule
    };
    for (const auto& c : cases) {
        SetFilters(tables, {Filter(10, c.rule, 1, "t", c.condition)});
        EXPECT_EQ(ReadFilterMatcher(tables).Excludes(m), c.excluded)
            << "rule " << c.rule << " condition " << c.condition;
    }
}

TEST(ReadFilters, OnlyTheReadFilterTableCounts) {
    FilterTables tables;
    SetFilters(tables, {Filter(10, 2, 0, "view", "taro@example.jp"), Filter(20, 1, 1, "spam", "広告")});
    // The action-0 filter sorts, it does not refuse; any read filter refuses.
    EXPECT_FALSE(ReadFilterMatcher(tables).Excludes(Mail("1", "hello")));
    EXPECT_TRUE(ReadFilterMatcher(tables).Excludes(Mail("2", "【広告】お知らせ")));
    ReadFilterMatcher matcher(tables);
    EXPECT_FALSE(matcher.Empty());
    EXPECT_TRUE(matcher.Excludes(Mail("3", "広告")));
    EXPECT_TRUE(ReadFilterMatcher(FilterTables{}).Empty());
}
