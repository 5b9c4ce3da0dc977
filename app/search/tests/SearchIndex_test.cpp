// The index as derived data: kept right by its triggers whoever writes the mail table, built again
// when missing or stale, resumed after a cut-short build, carried through compaction.
#include <gtest/gtest.h>

#include <random>
#include <stdexcept>

#include <SQLiteCpp/Transaction.h>

#include "db/Compaction.h"
#include "search/SearchIndex.h"
#include "search/SearchQuery.h"
#include "search/tests/FoundRows.h"
#include "search/tests/SearchReference.h"
#include "search/tests/SearchTestMails.h"
#include "testsupport/TestSupport.h"

using namespace kamo;

namespace {

struct CountingWait : WaitReporter {
    void SetLine(int index, const std::string& text) override {
        if (index == 0 && !text.empty())
            firstLine = text;
    }
    void SetProgress(int64_t done, int64_t total) override {
        lastDone = done;
        lastTotal = total;
    }
    void Pump() override {
        if (failAfterDone >= 0 && lastDone > failAfterDone)
            throw std::runtime_error("cut short");
    }
    void Begin() override { ++begins; }
    int begins = 0;
    int64_t failAfterDone = -1;
    int64_t lastDone = 0, lastTotal = 0;
    std::string firstLine;
};

void Insert(SQLite::Database& db, const std::vector<MailRecord>& mails, uint64_t seed) {
    std::mt19937_64 rng(seed);
    SQLite::Transaction tx(db);
    for (const auto& m : mails)
        test::InsertSpread(db, m, rng);
    tx.commit();
}

// Queries from the mails' own words and the renamed names; every one must give what a scan gives,
// by either way (the candidates come from the trigram index, the scan reads the folded text, so the
// two must agree), and FTS5 must find its own index sound.
void ExpectSameAsScan(SQLite::Database& db, const std::vector<std::string>& extra = {}) {
    db.exec("INSERT INTO tblSearchText (tblSearchText) VALUES ('integrity-check')");
    const auto folded = test::FoldArchive(db);
    std::vector<std::string> queries = {"ポ", "の", "ｐｏ", "例", "EXAMPLE", "お元気", "弓削", "ﾎﾟｽﾍﾟ", "会議　Re"};
    queries.insert(queries.end(), extra.begin(), extra.end());
    for (const auto& q : queries)
        for (const SearchLimits limits : {SearchLimits{}, SearchLimits{50}})
            ASSERT_EQ(test::FoundRows(db, q, limits), test::ReferenceSearch(folded, q))
                << q << " " << limits.maxCandidates;
}

std::vector<std::string> SchemaNames(SQLite::Database& db) {
    std::vector<std::string> names;
    SQLite::Statement st(db, "SELECT type || ' ' || name FROM sqlite_master ORDER BY 1");
    while (st.executeStep())
        names.push_back(st.getColumn(0).getString());
    return names;
}

} // namespace

TEST(SearchIndex, TriggersKeepItRightForAnyConnectionThatWritesTheMail) {
    test::TempDir dir;
    const auto path = dir / "KamoMail.Mdb";
    auto db = OpenArchive(path, true);
    CreateTables(*db);
    Insert(*db, test::GeneratedMails(300, 1), 1);
    NullWaitReporter quiet;
    UpdateSearchIndex(*db, quiet);
    EXPECT_EQ(PendingSearchRows(*db), 0);
    {
        // Another program on the same file: plain SQL, no function of ours.
        SQLite::Database other(path.string(), SQLite::OPEN_READWRITE);
        std::vector<MailRecord> more = test::GeneratedMails(20, 2);
        for (auto& m : more)
            m.subKey += 1000;
        Insert(other, more, 2);
        other.exec("UPDATE tblKamoMail SET tblKamoMail_SndName = 'リネーム　太郎' WHERE rowid % 10 = 3");
        other.exec("UPDATE tblKamoMail SET tblKamoMail_Mail1 = tblKamoMail_Mail1 || '追記ワード' WHERE rowid % 7 = 1");
        other.exec("DELETE FROM tblKamoMail WHERE rowid % 9 = 4");
    }
    EXPECT_GT(PendingSearchRows(*db), 0);
    UpdateSearchIndex(*db, quiet);
    EXPECT_EQ(InspectSearchIndex(*db), SearchIndexState::Ready);
    ExpectSameAsScan(*db, {"リネーム", "太郎", "追記ワード", "ワード ポ"});
}

TEST(SearchIndex, AMissingOrStaleIndexIsBuiltAgainAndDroppingItLeavesTheSixTables) {
    auto db = test::MemoryArchive();
    const std::vector<std::string> bare = SchemaNames(*db);
    Insert(*db, test::GeneratedMails(200, 3), 3);
    NullWaitReporter quiet;
    EXPECT_EQ(InspectSearchIndex(*db), SearchIndexState::Missing);
    UpdateSearchIndex(*db, quiet);
    EXPECT_EQ(InspectSearchIndex(*db), SearchIndexState::Ready);
    ExpectSameAsScan(*db);

    struct Case {
        const char* what;
        const char* damage;
        bool mailArrives; // a table gone under its triggers stops writes until the next update
    };
    const Case cases[] = {
        {"a trigger gone", "DROP TRIGGER trgSearch_Insert", true},
        {"another folding", "UPDATE tblSearchInfo SET Value = 'older' WHERE Name = 'Folding'", true},
        {"the queue gone", "DROP TABLE tblSearchQueue", false},
        {"the index gone", "DROP TABLE tblSearchText", false},
        {"the folded text gone", "DROP TABLE tblSearchFolded", false},
    };
    int64_t subKey = 5000;
    for (const auto& c : cases) {
        db->exec(c.damage);
        EXPECT_NE(InspectSearchIndex(*db), SearchIndexState::Ready) << c.what;
        // Mail that arrives while the index is broken is found after the rebuild.
        std::vector<MailRecord> more = test::GeneratedMails(5, static_cast<uint64_t>(subKey));
        for (auto& m : more) {
            m.subKey = subKey++;
            m.subject = std::string("壊れた間の") + c.what;
        }
        if (!c.mailArrives) {
            UpdateSearchIndex(*db, quiet);
            EXPECT_EQ(PendingSearchRows(*db), 0);
        }
        Insert(*db, more, 4);
        UpdateSearchIndex(*db, quiet);
        EXPECT_EQ(InspectSearchIndex(*db), SearchIndexState::Ready) << c.what;
        ExpectSameAsScan(*db, {"壊れた間の", c.what});
    }

    DropSearchIndex(*db);
    EXPECT_EQ(SchemaNames(*db), bare);
    EXPECT_EQ(InspectSearchIndex(*db), SearchIndexState::Missing);
}

TEST(SearchIndex, ACutShortBuildGoesOnWhereItStoppedAndLargeWorkShowsTheWaitWindow) {
    // More mails than one committed piece of the build (16,384), short ones to keep the test quick.
    auto db = test::MemoryArchive();
    constexpr int kMails = 20000;
    {
        SQLite::Transaction tx(*db);
        for (int i = 0; i < kMails; ++i) {
            MailRecord m;
            m.ymd = "2001/01/01";
            m.hms = "12:00:00";
            m.subKey = i;
            m.sndName = "送り主" + std::to_string(i % 97);
            m.sndAdd = "a" + std::to_string(i % 89) + "@example.jp";
            m.rcvName = "かも";
            m.rcvAdd = "kamo@example.jp";
            m.subject = "件名 No." + std::to_string(i);
            m.body = "本文 " + std::to_string(i * 7919 % 100003) + " ﾎﾟｽﾄﾍﾟｯﾄ";
            test::InsertTestMail(*db, m);
        }
        tx.commit();
    }
    CountingWait failing;
    failing.failAfterDone = 16384; // in the second piece, the first one committed
    EXPECT_THROW(UpdateSearchIndex(*db, failing), std::runtime_error);
    const int64_t left = PendingSearchRows(*db);
    EXPECT_EQ(left, kMails - 16384);
    EXPECT_EQ(InspectSearchIndex(*db), SearchIndexState::Ready); // what was done stays done

    CountingWait wait;
    UpdateSearchIndex(*db, wait);
    EXPECT_EQ(PendingSearchRows(*db), 0);
    EXPECT_EQ(wait.begins, 1);
    EXPECT_EQ(wait.firstLine, "　検索用の索引を作っています。");
    EXPECT_EQ(wait.lastDone, left);
    EXPECT_EQ(wait.lastTotal, left);
    // Every mail once, folded as the search folds it.
    SQLite::Statement check(*db, "SELECT COUNT(*), SUM(f.Subject = ?1) FROM tblKamoMail AS m JOIN tblSearchFolded AS f"
                                 " ON f.MailRow = m.rowid");
    check.bind(1, "件名　ｎｏ．１９９９９\x01\x01");
    ASSERT_TRUE(check.executeStep());
    EXPECT_EQ(check.getColumn(0).getInt64(), kMails);
    EXPECT_EQ(check.getColumn(1).getInt64(), 1);
    EXPECT_EQ(test::FoundRows(*db, "ポストペット No.1999").size(), 11u); // 1999 and 19990 to 19999

    // A few new mails are indexed without a wait window of their own.
    std::vector<MailRecord> few = test::GeneratedMails(10, 6);
    for (auto& m : few)
        m.subKey += 50000;
    Insert(*db, few, 6);
    CountingWait small;
    UpdateSearchIndex(*db, small);
    EXPECT_EQ(small.begins, 0);
    EXPECT_EQ(PendingSearchRows(*db), 0);
    ExpectSameAsScan(*db, {"ポストペット", "No.1"});
}

TEST(SearchIndex, CompactionKeepsTheRowidsTheIndexPointsAt) {
    test::TempDir dir;
    const auto path = dir / "KamoMail.Mdb";
    {
        auto db = OpenArchive(path, true);
        CreateTables(*db);
        Insert(*db, test::GeneratedMails(400, 8), 8);
        NullWaitReporter quiet;
        UpdateSearchIndex(*db, quiet);
        db->exec("DELETE FROM tblKamoMail WHERE rowid % 3 = 0"); // gaps a renumbering would close
    }
    // The start's compaction: VACUUM INTO a copy, verified, renamed over the archive.
    ASSERT_TRUE(CompactDatabase(path));
    auto db = OpenArchive(path);
    EXPECT_EQ(InspectSearchIndex(*db), SearchIndexState::Ready);
    EXPECT_EQ(PendingSearchRows(*db), 0);
    ExpectSameAsScan(*db);
}
