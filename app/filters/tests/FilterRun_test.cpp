#include <gtest/gtest.h>

#include <set>
#include <tuple>

#include <SQLiteCpp/Statement.h>

#include "filters/FilterMatch.h"
#include "filters/FilterRun.h"
#include "filters/tests/FilterTestUtil.h"
#include "testsupport/TestSupport.h"

using namespace kamo;
using kamo::test::Filter;
using kamo::test::Mail;
using kamo::test::RecordingWait;
using kamo::test::SetFilters;

namespace {

struct Row {
    int64_t id;
    int no;
    std::string hms;
    std::string subject;
    std::string sndName;
    std::string rcvAdd;
    int flag;
    bool operator==(const Row&) const = default;
};

std::vector<Row> FilterRows(SQLite::Database& db) {
    std::vector<Row> rows;
    SQLite::Statement q(db, "SELECT tblFilterDt_Id, tblFilterDt_No, tblFilterDt_Time, tblFilterDt_Subject, "
                            "tblFilterDt_SendName, tblFilterDt_RecvAddr, tblFilterDt_SndRcvFlag FROM tblFilterData "
                            "ORDER BY tblFilterDt_Id");
    while (q.executeStep())
        rows.push_back({q.getColumn(0).getInt64(), q.getColumn(1).getInt(), q.getColumn(2).getString(),
                        q.getColumn(3).getString(), q.getColumn(4).getString(), q.getColumn(5).getString(),
                        q.getColumn(6).getInt()});
    return rows;
}

// The mail (by time) listed under each filter number.
std::set<std::pair<int, std::string>> Listed(SQLite::Database& db) {
    std::set<std::pair<int, std::string>> listed;
    for (const Row& r : FilterRows(db))
        listed.emplace(r.no, r.hms);
    return listed;
}

class FilterRunTest : public ::testing::Test {
protected:
    void Add(const MailRecord& m) {
        kamo::test::InsertTestMail(*db, m);
        mails.push_back(m);
    }
    std::unique_ptr<SQLite::Database> db = kamo::test::MemoryArchive();
    std::vector<MailRecord> mails;
    FilterTables tables;
    RecordingWait wait;
};

} // namespace

TEST_F(FilterRunTest, WithoutSortingFiltersTheTableIsOnlyEmptied) {
    Add(Mail("01:00:00", "広告です"));
    db->exec("INSERT INTO tblFilterData (tblFilterDt_Id, tblFilterDt_No, tblFilterDt_Subject) VALUES (7, 10, 'old')");
    SetFilters(tables, {Filter(10, 1, 1, "spam", "広告")}); // a read filter is not run here
    ASSERT_TRUE(RunFilters(*db, tables, wait));
    EXPECT_TRUE(FilterRows(*db).empty());
    EXPECT_EQ(wait.progress.back(), (std::pair<int64_t, int64_t>{0, 0}));
}

TEST_F(FilterRunTest, MailInTwoFiltersIsListedUnderBoth) {
    Add(Mail("01:00:00", "ポストペット通信", "Momo", "momo@pet.example", "花子", "hanako@example.jp"));
    Add(Mail("02:00:00", "別件", "太郎", "taro@example.jp", "花子", "hanako@example.jp"));
    SetFilters(tables, {Filter(10, 1, 0, "通信", "通信"), Filter(20, 3, 0, "pet", "PET.example"),
                        Filter(30, 4, 0, "花子", "花子"), Filter(40, 1, 1, "spam", "通信")});
    ASSERT_TRUE(RunFilters(*db, tables, wait));
    const std::set<std::pair<int, std::string>> expected = {
        {10, "01:00:00"}, {20, "01:00:00"}, {30, "01:00:00"}, {30, "02:00:00"}};
    EXPECT_EQ(Listed(*db), expected);
    // Progress counts the sorting filters only.
    EXPECT_EQ(wait.lines[0], "3 / 3  のフィルターデータを");
    EXPECT_EQ(wait.lines[1], "     処理中です。");
    EXPECT_EQ(wait.progress.back(), (std::pair<int64_t, int64_t>{3, 3}));
    EXPECT_EQ(wait.history[0], "1 / 3  のフィルターデータを");
}

TEST_F(FilterRunTest, RulesCompareAsDescribed) {
    Add(Mail("01:00:00", "Ｈｅｌｌｏ　Ｗｏｒｌｄ", "ＡＢＣ商会", "Info@Shop.Example"));
    Add(Mail("02:00:00", "hello world", "ａｂｃ", "info@shop.example"));
    Add(Mail("03:00:00", "ガイドのご案内", "Ｍｏｍｏ", "momo@pet.example"));
    Add(Mail("04:00:00", "HELLO WORLD", "x", "x@y"));
    Add(Mail("05:00:00", "Re: ｈｅｌｌｏ　ｗｏｒｌｄ!", "y", "y@z"));
    Add(Mail("06:00:00", "z", "z", "z@z", "z", "ＡＢＣ＠ｅｘａｍｐｌｅ"));
    SetFilters(tables, {
                           Filter(10, 1, 0, "hello", "hello world"), // plain or full-width form, case counts
                           Filter(20, 1, 0, "guide", "ｶﾞｲﾄﾞ"),       // half-width katakana finds ガイド
                           Filter(30, 3, 0, "shop", "SHOP.example"), // address contains, case ignored
                           Filter(40, 5, 0, "abc", "ａｂｃ"),        // full-width letters folded: ＡＢＣ too
                           Filter(50, 0, 0, "exact", "HELLO world"), // subject equality, ASCII case ignored
                           Filter(60, 2, 0, "addr", "X@Y"),          // address equality
                           Filter(70, 4, 0, "name", "ｍｏｍｏ"),     // equality keeps full-width case
                           Filter(80, 3, 0, "wide", "ａｂｃ＠"),     // address contains folds non-ASCII too
                       });
    ASSERT_TRUE(RunFilters(*db, tables, wait));
    const std::set<std::pair<int, std::string>> expected = {
        {10, "02:00:00"}, {10, "05:00:00"}, {20, "03:00:00"}, {30, "01:00:00"}, {30, "02:00:00"}, {40, "01:00:00"},
        {40, "02:00:00"}, {50, "02:00:00"}, {50, "04:00:00"}, {60, "04:00:00"}, {80, "06:00:00"}};
    EXPECT_EQ(Listed(*db), expected);
}

TEST_F(FilterRunTest, RunningTwiceGivesTheSameRowsNumberedFromOne) {
    Add(Mail("01:00:00", "a1"));
    Add(Mail("02:00:00", "a2"));
    Add(Mail("03:00:00", "b"));
    SetFilters(tables, {Filter(10, 1, 0, "a", "a"), Filter(20, 2, 0, "all", "taro@example.jp")});
    ASSERT_TRUE(RunFilters(*db, tables, wait));
    const std::vector<Row> first = FilterRows(*db);
    ASSERT_EQ(first.size(), 5u);
    for (size_t i = 0; i < first.size(); ++i)
        EXPECT_EQ(first[i].id, static_cast<int64_t>(i + 1));
    ASSERT_TRUE(RunFilters(*db, tables, wait));
    EXPECT_EQ(FilterRows(*db), first);
}

TEST_F(FilterRunTest, QuotesInMailAndConditionAreJustText) {
    MailRecord m = Mail("01:00:00", "It's O'Brien's \"mail\"", "O'Brien", "o'brien@example.jp");
    m.sent = true;
    Add(m);
    Add(Mail("02:00:00", "other"));
    // A condition can only hold a quote if the file was edited outside the editor; it must still
    // match literally and not change the statement.
    SetFilters(tables, {Filter(10, 1, 0, "q", "O'Brien"), Filter(20, 0, 0, "inject", "x' OR '1'='1"),
                        Filter(30, 3, 0, "inject2", "') OR 1=1 --"), Filter(40, 4, 0, "name", "o'brien")});
    ASSERT_TRUE(RunFilters(*db, tables, wait));
    const std::vector<Row> rows = FilterRows(*db);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].no, 10);
    EXPECT_EQ(rows[0].subject, "It's O'Brien's \"mail\"");
    EXPECT_EQ(rows[0].sndName, "O'Brien");
    EXPECT_EQ(rows[0].flag, 1);
    EXPECT_EQ(rows[1].no, 40);
}

TEST_F(FilterRunTest, FailedRunKeepsThePreviousFilterData) {
    Add(Mail("01:00:00", "good"));
    Add(Mail("02:00:00", "bad"));
    SetFilters(tables, {Filter(10, 1, 0, "good", "good")});
    ASSERT_TRUE(RunFilters(*db, tables, wait));
    db->exec("CREATE TRIGGER refuse BEFORE INSERT ON tblFilterData WHEN NEW.tblFilterDt_Subject = 'bad' "
             "BEGIN SELECT RAISE(ABORT, 'refused'); END");
    SetFilters(tables, {Filter(10, 1, 0, "any", "d")}); // lists "good", then fails on "bad"
    EXPECT_FALSE(RunFilters(*db, tables, wait));
    const std::vector<Row> rows = FilterRows(*db);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].subject, "good");
    // The helper functions do not outlive the run.
    EXPECT_THROW(db->exec("SELECT kamo_contains('a', 'a')"), SQLite::Exception);
}

TEST_F(FilterRunTest, DatabaseAndReadTimeMatchingAgree) {
    // The same rules run in SQL (filter views) and in the program (read filters); they must agree.
    const std::vector<std::string> texts = {"PostPet",  "ｐｏｓｔｐｅｔ", "ＰＯＳＴＰＥＴ", "ガイド", "ｶﾞｲﾄﾞ",
                                            "Straße",   "STRASSE",        "ΣΟΦΙΑ",          "σοφια",  "",
                                            "mix Ａbc", "a'b|c"};
    int n = 0;
    for (const auto& subject : texts)
        for (const auto& other : texts) {
            const std::string hms = std::to_string(100 + n / 60) + ":" + std::to_string(100 + n % 60);
            ++n;
            Add(Mail(hms, subject, other, other + "@x", subject, "r@" + other));
        }
    std::vector<FilterEntry> entries;
    int16_t no = 10;
    for (int16_t rule = 0; rule <= 5; ++rule)
        for (const auto& condition : texts) {
            entries.push_back(Filter(no, rule, 0, "f", condition));
            no = static_cast<int16_t>(no + 10);
        }
    std::set<std::pair<int, std::string>> expected;
    for (const auto& e : entries) {
        FilterEntry asRead = e;
        asRead.actionCode = 1;
        FilterTables one;
        SetFilters(one, {asRead});
        ReadFilterMatcher matcher(one);
        for (const auto& m : mails)
            if (matcher.Excludes(m))
                expected.emplace(e.number, m.hms);
    }
    ASSERT_LE(entries.size(), static_cast<size_t>(kFilterSlots));
    SetFilters(tables, entries);
    ASSERT_TRUE(RunFilters(*db, tables, wait));
    EXPECT_EQ(Listed(*db), expected);
    EXPECT_GT(expected.size(), mails.size()); // the corpus does exercise matches
}

TEST(FilterCondition, ExactRulesUseTheIndexes) {
    auto db = kamo::test::MemoryArchive();
    for (int16_t rule : {0, 2, 4}) {
        const FilterCondition c = BuildFilterCondition(Filter(10, rule, 0, "t", "x"));
        SQLite::Statement plan(*db, "EXPLAIN QUERY PLAN SELECT * FROM tblKamoMail WHERE " + c.where);
        for (const auto& [name, value] : c.params)
            plan.bind(name, value);
        std::string detail;
        while (plan.executeStep())
            detail += plan.getColumn(3).getString() + "\n";
        EXPECT_NE(detail.find("USING INDEX"), std::string::npos) << "rule " << rule << ":\n" << detail;
        EXPECT_EQ(detail.find("SCAN tblKamoMail"), std::string::npos) << "rule " << rule << ":\n" << detail;
    }
    EXPECT_TRUE(BuildFilterCondition(Filter(10, 99, 0, "t", "x")).where.empty());
}
