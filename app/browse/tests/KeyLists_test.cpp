#include <gtest/gtest.h>

#include <cctype>

#include "browse/KeyLists.h"
#include "browse/SubjectCursor.h"
#include "browse/tests/ShownLines.h"
#include "db/tests/OwnerMail.h"
#include "testsupport/TestSupport.h"

namespace kamo {
namespace {

using test::OwnerMailTest;

std::vector<std::string> Texts(const std::vector<KeyItem>& items) {
    std::vector<std::string> t;
    for (const auto& i : items)
        t.push_back(i.text);
    return t;
}

std::vector<std::string> Lower(std::vector<KeyItem> items) {
    std::vector<std::string> t;
    for (auto& i : items) {
        for (char& c : i.text)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        t.push_back(i.text);
    }
    return t;
}

std::vector<std::string> Subjects(const std::vector<SubjectLine>& lines) {
    std::vector<std::string> s;
    for (const auto& l : lines)
        s.push_back(l.subject);
    return s;
}

// The first two modes list the look-up tables, in order and each entry once.
TEST_F(OwnerMailTest, AddressAndNameListsShowTheLookUpTables) {
    EXPECT_EQ(Lower(FillAddressList(*db_)),
              (std::vector<std::string>{"hana@example.jp", "kamo@example.jp", "taro@example.jp"}));
    EXPECT_EQ(Texts(FillNameList(*db_)), (std::vector<std::string>{"かも", "太郎", "花子"}));
}

TEST_F(OwnerMailTest, DateListHoldsEachDateOnceNewestFirstAndADaysMailOldestFirst) {
    EXPECT_EQ(Texts(FillDateList(*db_)), (std::vector<std::string>{"2003/01/01", "2002/03/01", "2001/12/24"}));
    auto lines = test::ShownLines(*db_, ViewMode::Date, "2002/03/01");
    EXPECT_EQ(Subjects(lines), (std::vector<std::string>{"早起き", "同じ時刻の二通目", "おはよう"}));
}

TEST(EmptyArchive, GivesEmptyListsInEveryMode) {
    auto db = test::MemoryArchive();
    RebuildAddressList(*db);
    RebuildNameList(*db);
    for (ViewMode m : {ViewMode::Address, ViewMode::Name, ViewMode::Date, ViewMode::Filter})
        EXPECT_TRUE(FillKeyList(*db, m).empty());
    EXPECT_TRUE(test::ShownLines(*db, ViewMode::Date, "2002/03/01").empty());
    EXPECT_TRUE(test::ShownFilterLines(*db, 10).empty());
}

TEST(FilterLists, FiltersInNumberOrderAndAFiltersMailByDateAndTime) {
    auto db = test::MemoryArchive();
    db->exec("INSERT INTO tblFilter VALUES (20, 1, 0, '旅行', '旅'), (10, 2, 0, 'たろう', 'taro'),"
             " (30, 0, 1, '広告', '広告')");
    auto filters = FillFilterList(*db);
    ASSERT_EQ(filters.size(), 3u);
    EXPECT_EQ(filters[0].text, "たろう");
    EXPECT_EQ(filters[0].filterNo, 10);
    EXPECT_EQ(filters[1].filterNo, 20);
    EXPECT_NE(filters[2].text.find("メールを読み込まない"), std::string::npos);
    db->exec("INSERT INTO tblFilterData VALUES"
             " (1, 10, '2002/03/02', '10:00:00', 0, '太郎', 'taro@x', 'かも', 'kamo@x', 0, '二番目'),"
             " (2, 10, '2002/03/01', '23:00:00', 0, 'かも', 'kamo@x', '太郎', 'taro@x', 1, '一番目'),"
             " (3, 20, '2002/03/01', '01:00:00', 0, 'かも', 'kamo@x', '花子', 'hana@x', 1, '別のフィルター')");
    auto lines = test::ShownFilterLines(*db, 10);
    EXPECT_EQ(Subjects(lines), (std::vector<std::string>{"一番目", "二番目"}));
    EXPECT_TRUE(lines[0].key.sent);
    EXPECT_NE(lines[0].text.find("受取人：太郎"), std::string::npos);
    EXPECT_EQ(lines[1].key.sndAdd, "taro@x");
}

} // namespace
} // namespace kamo
