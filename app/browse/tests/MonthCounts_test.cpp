#include <gtest/gtest.h>

#include <set>

#include <SQLiteCpp/Statement.h>

#include "browse/MonthCounts.h"
#include "db/Schema.h"
#include "search/tests/SearchTestMails.h"
#include "testsupport/TestSupport.h"

namespace kamo {
namespace {

// What a plain GROUP BY over the archive says, with the subject list's condition for a key.
std::vector<MonthCount> Grouped(SQLite::Database& db, const std::string& condition = "", const std::string& key = "") {
    SQLite::Statement st(db, "SELECT substr(tblKamoMail_YMD, 1, 7) AS m, SUM(tblKamoMail_SndRcvFlag = 0),"
                             " SUM(tblKamoMail_SndRcvFlag <> 0) FROM tblKamoMail WHERE tblKamoMail_YMD IS NOT NULL" +
                                 condition + " GROUP BY m ORDER BY m");
    if (!key.empty())
        st.bind(1, key);
    std::vector<MonthCount> months;
    while (st.executeStep())
        months.push_back({st.getColumn(0).getString(), st.getColumn(1).getInt64(), st.getColumn(2).getInt64()});
    return months;
}

std::set<std::string> Distinct(SQLite::Database& db, const char* a, const char* b) {
    SQLite::Statement st(db, std::string("SELECT ") + a + " FROM tblKamoMail UNION SELECT " + b + " FROM tblKamoMail");
    std::set<std::string> keys;
    while (st.executeStep())
        keys.insert(st.getColumn(0).getString());
    return keys;
}

class MonthCountsTest : public ::testing::Test {
protected:
    void SetUp() override {
        db_ = test::MemoryArchive();
        std::mt19937_64 rng(7);
        for (const MailRecord& m : test::GeneratedMails(700, 20240501))
            test::InsertSpread(*db_, m, rng);
        // The owner's own address in most mail (its months are counted along the primary index),
        // and dates that are no month: a short one, one of exactly a month's length, and an empty one.
        int subKey = 100000;
        for (const char* ymd : {"2003", "2003/04", "2003/04/01", "2003/04/30", "", "2003/0", "2003/05/01"})
            for (bool sent : {false, true}) {
                MailRecord m = test::GeneratedMails(1, static_cast<uint64_t>(subKey)).front();
                m.ymd = ymd;
                m.subKey = subKey++;
                m.sent = sent;
                (sent ? m.sndAdd : m.rcvAdd) = "owner@example.jp";
                test::InsertSpread(*db_, m, rng);
            }
        db_->exec("UPDATE tblKamoMail SET tblKamoMail_RcvAdd = 'OWNER@example.jp'"
                  " WHERE rowid % 3 <> 0 AND tblKamoMail_SndRcvFlag = 0");
        db_->exec("UPDATE tblKamoMail SET tblKamoMail_SndAdd = 'owner@example.jp'"
                  " WHERE rowid % 3 <> 0 AND tblKamoMail_SndRcvFlag <> 0");
    }
    std::unique_ptr<SQLite::Database> db_;
};

TEST_F(MonthCountsTest, TheWholeArchiveCountsAsAPlainGroupBy) {
    const std::vector<MonthCount> months = CountMailByMonth(*db_);
    EXPECT_EQ(months, Grouped(*db_));
    int64_t all = 0;
    for (const MonthCount& m : months)
        all += m.received + m.sent;
    EXPECT_EQ(all, db_->execAndGet("SELECT COUNT(*) FROM tblKamoMail").getInt64());
    EXPECT_GT(months.size(), 40u); // four years of months, and the odd dates
}

// Every address and every name of the archive, small keys and the owner's (in most mail, letter
// case ignored as the subject list ignores it).
TEST_F(MonthCountsTest, AKeyCountsTheMailItsSubjectListShows) {
    const auto addresses = Distinct(*db_, "tblKamoMail_SndAdd", "tblKamoMail_RcvAdd");
    ASSERT_GT(addresses.size(), 5u);
    for (const std::string& key : addresses)
        EXPECT_EQ(CountMailByMonth(*db_, ViewMode::Address, key),
                  Grouped(*db_, " AND (tblKamoMail_SndAdd = ?1 OR tblKamoMail_RcvAdd = ?1)", key))
            << key;
    EXPECT_EQ(CountMailByMonth(*db_, ViewMode::Address, "Owner@Example.JP"),
              Grouped(*db_, " AND (tblKamoMail_SndAdd = ?1 OR tblKamoMail_RcvAdd = ?1)", "owner@example.jp"));
    const auto names = Distinct(*db_, "tblKamoMail_SndName", "tblKamoMail_RcvName");
    ASSERT_GT(names.size(), 5u);
    for (const std::string& key : names)
        EXPECT_EQ(CountMailByMonth(*db_, ViewMode::Name, key),
                  Grouped(*db_, " AND (tblKamoMail_SndName = ?1 OR tblKamoMail_RcvName = ?1)", key))
            << key;
    EXPECT_TRUE(CountMailByMonth(*db_, ViewMode::Address, "nobody@example.jp").empty());
    EXPECT_EQ(CountMailByMonth(*db_, ViewMode::Date, "2003/04/01"), Grouped(*db_));
}

int64_t KeptMonths(SQLite::Database& db) {
    return db.execAndGet("SELECT COUNT(*) FROM tblMonthCount").getInt64();
}

// The archive keeps the counts by triggers: after each change, whoever makes it, they are what a
// count of the mail says, and a month left without mail is gone.
TEST_F(MonthCountsTest, TheKeptCountsFollowEveryChangeOfTheMail) {
    struct Change {
        const char* what;
        const char* sql;
    };
    for (const Change& c : {
             Change{"dates moved to another month",
                    "UPDATE tblKamoMail SET tblKamoMail_YMD = '1999/12/31' WHERE rowid % 5 = 0"},
             Change{"directions turned", "UPDATE tblKamoMail SET tblKamoMail_SndRcvFlag = 1 - tblKamoMail_SndRcvFlag"
                                         " WHERE rowid % 7 = 0"},
             Change{"dates cut below a month", "UPDATE tblKamoMail SET tblKamoMail_YMD = substr(tblKamoMail_YMD, 1, 4)"
                                               " WHERE rowid % 11 = 0"},
             Change{"dates taken away", "UPDATE tblKamoMail SET tblKamoMail_YMD = NULL WHERE rowid % 13 = 0"},
             Change{"a month's mail deleted", "DELETE FROM tblKamoMail WHERE tblKamoMail_YMD = '1999/12/31'"},
             Change{"mail added", "INSERT INTO tblKamoMail (tblKamoMail_YMD, tblKamoMail_HMS, tblKamoMail_SubKey,"
                                  " tblKamoMail_SndRcvFlag, tblKamoMail_SndAdd, tblKamoMail_RcvAdd) SELECT"
                                  " tblKamoMail_YMD, tblKamoMail_HMS, tblKamoMail_SubKey + 1000000,"
                                  " tblKamoMail_SndRcvFlag, tblKamoMail_SndAdd, tblKamoMail_RcvAdd FROM tblKamoMail"
                                  " WHERE rowid % 3 = 0"},
             Change{"every mail deleted", "DELETE FROM tblKamoMail"},
         }) {
        db_->exec(c.sql);
        const std::vector<MonthCount> months = CountMailByMonth(*db_);
        EXPECT_EQ(months, Grouped(*db_)) << c.what;
        EXPECT_EQ(KeptMonths(*db_), static_cast<int64_t>(months.size())) << c.what;
    }
}

// An archive without the counts, or whose counts a missing trigger let fall behind, is counted again
// from its mail when it is opened; counts emptied are made again by the refresh.
TEST_F(MonthCountsTest, CountsMissingOrBehindAreMadeAgainFromTheMail) {
    struct Case {
        const char* what;
        const char* before; // what an older program or another one left
        bool byRefresh;     // made again by the refresh's step, else by the opening
    };
    for (const Case& c : {
             Case{"an archive from before the counts",
                  "DROP TRIGGER trgMonthCount_Insert; DROP TRIGGER"
                  " trgMonthCount_Delete; DROP TRIGGER trgMonthCount_Update;"
                  " DROP TABLE tblMonthCount",
                  false},
             Case{"a trigger gone while mail was deleted",
                  "DROP TRIGGER trgMonthCount_Delete; DELETE FROM tblKamoMail"
                  " WHERE rowid % 2 = 0",
                  false},
             Case{"the counts emptied", "DELETE FROM tblMonthCount", true},
         }) {
        SetUp();
        db_->exec(c.before);
        if (c.byRefresh) {
            // until then the months are counted from the mail
            EXPECT_EQ(CountMailByMonth(*db_), Grouped(*db_)) << c.what;
            EnsureMonthCounts(*db_);
        } else {
            EXPECT_TRUE(AddMissingTables(*db_)) << c.what;
        }
        EXPECT_EQ(CountMailByMonth(*db_), Grouped(*db_)) << c.what;
        db_->exec("DELETE FROM tblKamoMail WHERE rowid % 5 = 0"); // and the triggers count on from there
        EXPECT_EQ(CountMailByMonth(*db_), Grouped(*db_)) << c.what;
    }
}

// Dates that differ in letter case only are one month, as the date view compares them: counting an
// older archive's months again must not find two.
TEST(MonthCounts, DatesDifferingInLetterCaseAreOneMonth) {
    auto db = test::MemoryArchive();
    std::mt19937_64 rng(3);
    int subKey = 0;
    for (const char* ymd : {"abcd/efg", "ABCD/EFG/01"}) {
        MailRecord m = test::GeneratedMails(1, 99).front();
        m.ymd = ymd;
        m.subKey = subKey++;
        test::InsertSpread(*db, m, rng);
    }
    db->exec("DROP TRIGGER trgMonthCount_Insert; DROP TRIGGER trgMonthCount_Delete; DROP TRIGGER"
             " trgMonthCount_Update; DROP TABLE tblMonthCount");
    ASSERT_TRUE(AddMissingTables(*db));
    const std::vector<MonthCount> months = CountMailByMonth(*db);
    ASSERT_EQ(months.size(), 1u);
    EXPECT_EQ(months[0].received + months[0].sent, 2);
}

TEST(MonthCounts, AnEmptyArchiveHasNoMonths) {
    auto db = test::MemoryArchive();
    EXPECT_TRUE(CountMailByMonth(*db).empty());
    EXPECT_TRUE(CountMailByMonth(*db, ViewMode::Name, "かも").empty());
}

TEST(MonthCounts, MonthsAndTheirToolTips) {
    struct Case {
        const char* month;
        bool valid;
        int year, monthOfYear;
    };
    for (const Case& c : {Case{"2003/04", true, 2003, 4}, Case{"1999/12", true, 1999, 12}, Case{"0000/00", false, 0, 0},
                          Case{"2003/13", false, 0, 0}, Case{"2003-04", false, 0, 0}, Case{"2003/4", false, 0, 0},
                          Case{"2003/04/01", false, 0, 0}, Case{"", false, 0, 0}}) {
        int year = 0, month = 0;
        EXPECT_EQ(ParseMonth(c.month, year, month), c.valid) << c.month;
        if (c.valid) {
            EXPECT_EQ(year, c.year);
            EXPECT_EQ(month, c.monthOfYear);
        }
    }
    EXPECT_EQ(MonthTip({"2003/04", 12, 3}), "2003年4月 受信 12 通 / 送信 3 通");
    EXPECT_EQ(MonthTip({"2010/11", 1234567, 1000}), "2010年11月 受信 1,234,567 通 / 送信 1,000 通");
    EXPECT_EQ(MonthTip({"0000/00", 0, 999}), "0000/00 受信 0 通 / 送信 999 通");
}

TEST(MonthCounts, TheBusiestMonthCountsOnlyMonthsThatAreDates) {
    struct Case {
        std::vector<MonthCount> counts;
        int64_t received, sent;
    };
    for (const Case& c : {Case{{}, 0, 0}, Case{{{"0000/00", 3, 5}}, 0, 0},
                          Case{{{"0000/00", 3, 0}, {"2001/01", 1, 0}, {"2001/02", 1, 1}}, 1, 1},
                          Case{{{"2001/01", 4, 2}, {"2001/13", 9, 9}, {"2002/07", 2, 7}}, 4, 7}}) {
        const BusiestMonth most = BusiestMonthOf(c.counts);
        EXPECT_EQ(most.received, c.received) << c.counts.size();
        EXPECT_EQ(most.sent, c.sent) << c.counts.size();
    }
}

} // namespace
} // namespace kamo
