#pragma once
// One piece of a long job over the archive (an index made or brought up to date a few thousand rows
// at a time), which may also run inside a transaction of its caller: it commits when it began the
// transaction itself, and inside the caller's transaction it only joins. And one step inside such a
// transaction that may fail alone (SavepointGuard).
#include <functional>
#include <optional>
#include <string>
#include <utility>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Transaction.h>
#include <sqlite3.h>

namespace kamo {

// Whether a transaction is open on the connection.
inline bool InTransaction(SQLite::Database& db) {
    return sqlite3_get_autocommit(db.getHandle()) == 0;
}

class PieceTransaction {
public:
    explicit PieceTransaction(SQLite::Database& db) {
        if (!InTransaction(db))
            tx_.emplace(db);
    }
    void Commit() {
        if (tx_)
            tx_->commit();
    }

private:
    std::optional<SQLite::Transaction> tx_;
};

// Rolls back unless released; nests inside a caller's transaction, which a plain BEGIN cannot.
class SavepointGuard {
public:
    SavepointGuard(SQLite::Database& db, std::string name)
        : db_(db), name_(std::move(name)), outermost_(!InTransaction(db)) {
        db_.exec("SAVEPOINT " + name_);
    }
    ~SavepointGuard() {
        if (released_)
            return;
        try {
            db_.exec("ROLLBACK TO " + name_);
            db_.exec("RELEASE " + name_);
        } catch (...) {
        }
        // Outermost, the savepoint is the transaction: a release that failed (another program's
        // lock) leaves it open, and nothing may stay open after the guard.
        if (outermost_ && InTransaction(db_)) {
            try {
                db_.exec("ROLLBACK");
            } catch (...) {
            }
        }
    }
    SavepointGuard(const SavepointGuard&) = delete;
    SavepointGuard& operator=(const SavepointGuard&) = delete;
    void Release() {
        db_.exec("RELEASE " + name_);
        released_ = true;
    }

private:
    SQLite::Database& db_;
    std::string name_;
    bool outermost_;
    bool released_ = false;
};

// The connection's settings while a bulk write (the read's store) runs, put back afterwards:
// - SQLite's temporary files in memory: each statement of a mail's store (its row, its original, the
//   triggers that index it) journals the pages it changes so that it can be undone alone, and that
//   journal otherwise goes to a temporary file once it outgrows 64 KiB, a write through the kernel per
//   page. It holds one statement's pages, so memory does not grow with the mail count.
// - a page cache of kBulkCacheKiB, so that the pages a transaction changes stay in memory until its
//   commit instead of being written out and read back on the way.
// The archive's journal and durability are untouched. Only outside a transaction (the temporary
// store cannot change inside one); where a setting cannot be made, the work runs as it would have.
class BulkWriteSettings {
public:
    static constexpr int kBulkCacheKiB = 64 * 1024;

    explicit BulkWriteSettings(SQLite::Database& db) : db_(db) {
        if (InTransaction(db_))
            return;
        try {
            cacheSize_ = db_.execAndGet("PRAGMA cache_size").getInt();
            db_.exec("PRAGMA cache_size = -" + std::to_string(kBulkCacheKiB));
            db_.exec("PRAGMA temp_store = MEMORY");
            set_ = true;
        } catch (...) {
        }
    }
    ~BulkWriteSettings() {
        if (!set_ || InTransaction(db_))
            return;
        try {
            db_.exec("PRAGMA temp_store = DEFAULT");
            db_.exec("PRAGMA cache_size = " + std::to_string(cacheSize_));
        } catch (...) {
        }
    }
    BulkWriteSettings(const BulkWriteSettings&) = delete;
    BulkWriteSettings& operator=(const BulkWriteSettings&) = delete;

private:
    SQLite::Database& db_;
    int cacheSize_ = 0;
    bool set_ = false;
};

// While it lives, `pump` runs every kSteps steps of SQLite's machine on the connection: a long
// statement (an index made over every mail, a check of the whole file) lets the window paint. The
// pump may not use the connection.
class PumpDuringStatements {
public:
    static constexpr int kSteps = 20000;

    PumpDuringStatements(SQLite::Database& db, const std::function<void()>& pump) : db_(db), pump_(pump) {
        sqlite3_progress_handler(db_.getHandle(), kSteps, &PumpDuringStatements::Step, this);
    }
    ~PumpDuringStatements() { sqlite3_progress_handler(db_.getHandle(), 0, nullptr, nullptr); }
    PumpDuringStatements(const PumpDuringStatements&) = delete;
    PumpDuringStatements& operator=(const PumpDuringStatements&) = delete;

private:
    static int Step(void* self) {
        try {
            static_cast<PumpDuringStatements*>(self)->pump_();
        } catch (...) {
            // nothing may leave SQLite's call; the statement goes on
        }
        return 0;
    }
    SQLite::Database& db_;
    const std::function<void()>& pump_;
};

} // namespace kamo
