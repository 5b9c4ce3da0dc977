// The read's bulk settings hold only for their scope, leave a caller's transaction alone, and a mail
// store under them that is rolled back (as a kill or a failure leaves it) keeps what was committed.
#include "db/PieceTransaction.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include <unistd.h>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>

namespace kamo {
namespace {

struct Settings {
    int cacheSize;
    int tempStore;
};

Settings Read(SQLite::Database& db) {
    return {db.execAndGet("PRAGMA cache_size").getInt(), db.execAndGet("PRAGMA temp_store").getInt()};
}

TEST(BulkWriteSettings, HoldForTheirScopeOnlyAndNeverInsideATransaction) {
    SQLite::Database db(":memory:", SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE);
    db.exec("PRAGMA cache_size = -1000");
    const Settings before = Read(db);
    {
        const BulkWriteSettings bulk(db);
        const Settings during = Read(db);
        EXPECT_EQ(during.cacheSize, -BulkWriteSettings::kBulkCacheKiB);
        EXPECT_EQ(during.tempStore, 2); // MEMORY
    }
    EXPECT_EQ(Read(db).cacheSize, before.cacheSize);
    EXPECT_EQ(Read(db).tempStore, before.tempStore);

    // Inside a caller's transaction nothing changes, and the transaction stays open and usable.
    db.exec("CREATE TABLE t (x)");
    db.exec("BEGIN");
    {
        const BulkWriteSettings bulk(db);
        EXPECT_EQ(Read(db).cacheSize, before.cacheSize);
        db.exec("INSERT INTO t VALUES (1)");
    }
    EXPECT_TRUE(InTransaction(db));
    db.exec("COMMIT");
    EXPECT_EQ(db.execAndGet("SELECT count(*) FROM t").getInt(), 1);
}

TEST(BulkWriteSettings, AStatementThatFailsUnderThemUndoesOnlyItself) {
    const auto path = std::filesystem::temp_directory_path() / ("bulk-" + std::to_string(::getpid()) + ".db");
    std::filesystem::remove(path);
    SQLite::Database db(path.string(), SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE);
    db.exec("PRAGMA journal_mode = DELETE");
    db.exec("CREATE TABLE t (x UNIQUE, pad)");
    db.exec("INSERT INTO t VALUES (1, zeroblob(10000))");
    const BulkWriteSettings bulk(db);
    db.exec("BEGIN");
    // One statement that changes many pages, then fails on its last row: its journal, kept in memory,
    // undoes it alone; the transaction's earlier row stays.
    db.exec("INSERT INTO t VALUES (2, zeroblob(10000))");
    EXPECT_THROW(db.exec("WITH RECURSIVE n(v) AS (SELECT 1 UNION ALL SELECT v + 1 FROM n WHERE v < 200) "
                         "INSERT INTO t SELECT v + 10, zeroblob(10000) FROM n UNION ALL SELECT 1, NULL"),
                 SQLite::Exception);
    db.exec("COMMIT");
    EXPECT_EQ(db.execAndGet("SELECT count(*) FROM t").getInt(), 2);
    std::filesystem::remove(path);
}

} // namespace
} // namespace kamo
