// The trash's actions, as the window and the terminal both run them: what each gives back, and the
// derived data made right after a restore.
#include <gtest/gtest.h>

#include <functional>

#include <SQLiteCpp/Statement.h>

#include "common/FilterTable.h"
#include "common/WaitReporter.h"
#include "db/Schema.h"
#include "db/Trash.h"
#include "testsupport/TestSupport.h"
#include "upkeep/TableRegistry.h"
#include "upkeep/TrashActions.h"

namespace kamo {
namespace {

const char* const kDays[] = {"2002/03/01", "2002/03/02", "2002/03/03"};

// One filter, sorting taro's mail (the first day's) into its view.
FilterTables TaroFilter() {
    FilterTables filters;
    FilterEntry& taro = filters.filters[0];
    taro.number = 10;
    taro.termsCode = 2; // the address is
    taro.actionCode = 0;
    taro.header = "太郎";
    taro.data = "taro@example.jp";
    filters.count = 1;
    return filters;
}

// A mail on each of the three days; the first `deletions` days deleted, a batch each; the derived
// data made afterwards, as every command leaves it.
std::unique_ptr<SQLite::Database> Archive(int deletions, const FilterTables& filters) {
    auto db = test::MemoryArchive();
    const char* const friends[] = {"taro@example.jp", "hana@example.jp", "jiro@example.jp"};
    for (int i = 0; i < 3; ++i)
        test::InsertTestMail(*db, test::Mail(kDays[i], "09:00:00", false, "友", friends[i], "件名", "本文"));
    for (int i = 0; i < deletions; ++i)
        MoveToTrash(*db, "tblKamoMail_YMD = :day", [&](SQLite::Statement& st) { st.bind(":day", kDays[i]); });
    NullWaitReporter quiet;
    EXPECT_TRUE(RefreshDerivedData(*db, filters, quiet));
    return db;
}

int64_t Count(SQLite::Database& db, const std::string& table) {
    return db.execAndGet("SELECT count(*) FROM " + table).getInt64();
}

using Action = std::function<TrashOutcome(SQLite::Database&, const FilterTables&, WaitReporter&)>;

Action Chosen(int64_t batch) {
    return [batch](SQLite::Database& db, const FilterTables& filters, WaitReporter& wait) {
        return RestoreChosenBatch(db, filters, wait, batch);
    };
}

TEST(TrashActions, EachActionSaysWhatItDidAndLeavesNoDerivedDataOwed) {
    const Action last = RestoreLastBatch;
    const Action empty = [](SQLite::Database& db, const FilterTables&, WaitReporter&) { return EmptyWholeTrash(db); };
    const struct {
        const char* name;
        int deletions;
        Action act;
        std::vector<std::string> restored; // the days of the mail put back
        int64_t removed;
        int64_t mails;      // in tblKamoMail afterwards
        int64_t trashed;    // in the trash afterwards
        int64_t filterRows; // taro's mail in the filter's view afterwards
    } cases[] = {
        {"restore the last of two batches", 2, last, {kDays[1]}, 0, 2, 1, 0},
        {"restore the first batch, chosen", 2, Chosen(1), {kDays[0]}, 0, 2, 1, 1},
        {"restore the last from an empty trash", 0, last, {}, 0, 3, 0, 1},
        {"restore a batch the trash does not hold", 2, Chosen(3), {}, 0, 1, 2, 0},
        {"empty a trash of two batches", 2, empty, {}, 2, 1, 0, 0},
        {"empty an empty trash", 0, empty, {}, 0, 3, 0, 1},
    };
    const FilterTables filters = TaroFilter();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto db = Archive(c.deletions, filters);
        NullWaitReporter quiet;
        const TrashOutcome outcome = c.act(*db, filters, quiet);
        std::vector<std::string> days;
        for (const MailKey& key : outcome.restored)
            days.push_back(key.ymd);
        EXPECT_EQ(days, c.restored);
        EXPECT_EQ(outcome.removed, c.removed);
        EXPECT_TRUE(outcome.filtered);
        EXPECT_FALSE(outcome.refreshError);
        EXPECT_EQ(Count(*db, "tblKamoMail"), c.mails);
        EXPECT_EQ(Count(*db, "tblTrash"), c.trashed);
        EXPECT_EQ(Count(*db, "tblFilterData"), c.filterRows);
        EXPECT_TRUE(OwedRebuilds(*db).empty());
    }
}

// The mail is back even when what is made from it cannot be made: the outcome says which part failed.
TEST(TrashActions, ARestoreWhoseRefreshFailsKeepsTheMailAndSaysSo) {
    const struct {
        const char* name;
        const char* breaks; // a trigger that makes one rebuild fail
        bool filtered;
        bool refreshError;
    } cases[] = {
        {"the filters cannot run", "BEFORE INSERT ON tblFilterData", false, false},
        {"the address list cannot be made", "BEFORE INSERT ON tblSearch_Addresses", true, true},
    };
    const FilterTables filters = TaroFilter();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto db = Archive(1, filters);
        db->exec(std::string("CREATE TRIGGER breaks ") + c.breaks + " BEGIN SELECT RAISE(ABORT, 'broken'); END");
        NullWaitReporter quiet;
        const TrashOutcome outcome = RestoreLastBatch(*db, filters, quiet);
        ASSERT_EQ(outcome.restored.size(), 1u);
        EXPECT_EQ(outcome.restored[0].ymd, kDays[0]);
        EXPECT_EQ(outcome.filtered, c.filtered);
        EXPECT_EQ(static_cast<bool>(outcome.refreshError), c.refreshError);
        EXPECT_EQ(Count(*db, "tblKamoMail"), 3);
        EXPECT_EQ(Count(*db, "tblTrash"), 0);
        EXPECT_FALSE(OwedRebuilds(*db).empty()); // left to the next start
    }
}

} // namespace
} // namespace kamo
