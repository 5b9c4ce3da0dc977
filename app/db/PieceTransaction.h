#pragma once
// One piece of a long job over the archive (an index made or brought up to date a few thousand rows
// at a time), which may also run inside a transaction of its caller: it commits when it began the
// transaction itself, and inside the caller's transaction it only joins. And one step inside such a
// transaction that may fail alone (SavepointGuard).
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

} // namespace kamo
