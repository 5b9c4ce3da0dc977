#pragma once
// One piece of a long job over the archive (an index made or brought up to date a few thousand rows
// at a time), which may also run inside a transaction of its caller: it commits when it began the
// transaction itself, and inside the caller's transaction it only joins.
#include <optional>

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

} // namespace kamo
