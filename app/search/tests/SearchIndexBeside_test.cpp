// The index a first read makes beside it is the one the refresh would have made, it gives way to an
// index that appeared meanwhile, and the read's own connection searches it at once.
#include "search/SearchIndexBeside.h"

#include <gtest/gtest.h>

#include <random>

#include <SQLiteCpp/Transaction.h>

#include "db/Schema.h"
#include "search/SearchIndex.h"
#include "search/tests/FoundRows.h"
#include "search/tests/SearchReference.h"
#include "search/tests/SearchTestMails.h"
#include "testsupport/TestSupport.h"

using namespace kamo;

namespace {

struct Archive {
    test::TempDir dir;
    std::unique_ptr<SQLite::Database> db;
    std::mt19937_64 rng{7};
    Archive() : db(OpenArchive(dir / "KamoMail.Mdb", true)) { CreateTables(*db); }

    // Stores the mails as the read does, each handed to `beside` when there is one.
    void Store(const std::vector<MailRecord>& mails, SearchIndexBeside* beside) {
        SQLite::Transaction tx(*db);
        for (const auto& m : mails) {
            const int64_t row = test::InsertSpread(*db, m, rng);
            if (beside)
                beside->Add(row, m);
        }
        tx.commit();
    }
    std::vector<std::vector<std::string>> Folded() {
        std::vector<std::vector<std::string>> rows;
        SQLite::Statement q(*db, "SELECT * FROM tblSearchFolded ORDER BY MailRow");
        while (q.executeStep()) {
            rows.emplace_back();
            for (int c = 0; c < q.getColumnCount(); ++c)
                rows.back().push_back(q.getColumn(c).getString());
        }
        return rows;
    }
};

TEST(SearchIndexBeside, MakesWhatTheRefreshMakes) {
    struct Case {
        const char* what;
        int olderMails;  // in the archive before the read, without an index
        int readMails;   // stored by the read and handed over
        bool deleteSome; // rows handed over and gone before the end
        bool storeEnded; // told so before the end, as the read tells it
    };
    const Case cases[] = {
        {"a first read", 0, 300, false, true},
        {"an older archive without an index", 120, 200, false, false},
        {"rows gone before the end", 0, 150, true, true},
        {"a read that stored nothing", 40, 0, false, true},
    };
    NullWaitReporter quiet;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const auto older = test::GeneratedMails(c.olderMails, 11);
        auto read = test::GeneratedMails(c.readMails, 12);
        for (auto& m : read)
            m.subKey += 10000;

        Archive beside, refreshed;
        for (Archive* a : {&beside, &refreshed})
            a->Store(older, nullptr);
        auto made = SearchIndexBeside::Begin(*beside.db);
        ASSERT_TRUE(made);
        beside.Store(read, made.get());
        refreshed.Store(read, nullptr);
        for (Archive* a : {&beside, &refreshed})
            if (c.deleteSome)
                a->db->exec("DELETE FROM tblKamoMail WHERE rowid % 4 = 1");
        if (c.storeEnded)
            made->StoreEnded();
        ASSERT_TRUE(made->Finish(quiet));
        made.reset();

        // Through the read's own connection, as the refresh that follows finds it.
        EXPECT_EQ(PendingSearchRows(*beside.db), c.olderMails);
        for (Archive* a : {&beside, &refreshed})
            UpdateSearchIndex(*a->db, quiet);
        EXPECT_EQ(InspectSearchIndex(*beside.db), SearchIndexState::Ready);
        EXPECT_EQ(PendingSearchRows(*beside.db), 0);
        EXPECT_EQ(beside.Folded(), refreshed.Folded());
        beside.db->exec("INSERT INTO tblSearchText (tblSearchText) VALUES ('integrity-check')");
        const auto folded = test::FoldArchive(*beside.db);
        for (const std::string q : {"ポ", "お元気", "EXAMPLE", "会議　Re"})
            EXPECT_EQ(test::FoundRows(*beside.db, q, SearchLimits{20}), test::ReferenceSearch(folded, q)) << q;
    }
}

TEST(SearchIndexBeside, GivesWayToAnIndexMadeMeanwhile) {
    NullWaitReporter quiet;
    Archive archive;
    archive.Store(test::GeneratedMails(50, 3), nullptr);
    auto made = SearchIndexBeside::Begin(*archive.db);
    ASSERT_TRUE(made);
    archive.Store(test::GeneratedMails(60, 4), made.get());
    UpdateSearchIndex(*archive.db, quiet); // another refresh got there first
    EXPECT_FALSE(made->Finish(quiet));
    EXPECT_EQ(PendingSearchRows(*archive.db), 0);
    archive.db->exec("INSERT INTO tblSearchText (tblSearchText) VALUES ('integrity-check')");
    EXPECT_EQ(archive.Folded().size(), 110u);

    // With an index there, a read adds to it the usual way.
    EXPECT_FALSE(SearchIndexBeside::Begin(*archive.db));
    // Dropped before its end (the read broke off): nothing is put in.
    DropSearchIndex(*archive.db);
    made = SearchIndexBeside::Begin(*archive.db);
    ASSERT_TRUE(made);
    archive.Store(test::GeneratedMails(10, 5), made.get());
    made.reset();
    EXPECT_EQ(InspectSearchIndex(*archive.db), SearchIndexState::Missing);

    // A mail handed over after the store was told ended is never left out: it is queued.
    made = SearchIndexBeside::Begin(*archive.db);
    ASSERT_TRUE(made);
    archive.Store(test::GeneratedMails(10, 6), made.get());
    made->StoreEnded();
    archive.Store(test::GeneratedMails(1, 7), made.get());
    EXPECT_TRUE(made->Finish(quiet));
    EXPECT_EQ(archive.Folded().size(), 10u);        // the ten handed over
    EXPECT_EQ(PendingSearchRows(*archive.db), 121); // the older mail, and the one after the end
    UpdateSearchIndex(*archive.db, quiet);
    EXPECT_EQ(archive.Folded().size(), 131u);
}

} // namespace
