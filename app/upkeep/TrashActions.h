#pragma once
// The trash's actions, each written once for the window (編集 → 元に戻す, the trash window) and the
// terminal (`kamomail trash`): restore the last batch, restore a chosen batch, empty the trash. Each
// runs its change in one transaction and, after a restore, makes the derived data right
// (RefreshDerivedData); the callers only word the outcome.
#include <cstdint>
#include <exception>
#include <vector>

#include <SQLiteCpp/Database.h>

#include "common/MailRecord.h"

namespace kamo {

class WaitReporter;
struct FilterTables;

struct TrashOutcome {
    std::vector<MailKey> restored; // the keys the mail got back; none when there was nothing to restore
    int64_t removed = 0;           // the mails an emptying removed for good
    // After a restore, the refresh: false when the filters could not be run. What stopped a
    // look-up's rebuild is kept in refreshError (the mail is back all the same, its rebuild owed to
    // the next start), for the caller to word where it words every error.
    bool filtered = true;
    std::exception_ptr refreshError;
};

// Restores the newest batch; nothing restored when the trash is empty. A database error of the
// restore itself throws SQLite::Exception, nothing restored.
TrashOutcome RestoreLastBatch(SQLite::Database& db, const FilterTables& filters, WaitReporter& wait);
// Restores the batch the trash window chose; nothing restored when the trash holds no such batch.
TrashOutcome RestoreChosenBatch(SQLite::Database& db, const FilterTables& filters, WaitReporter& wait, int64_t batch);
// Removes every mail from the trash for good (no derived data is made from the trash); throws
// SQLite::Exception, nothing removed, on a database error.
TrashOutcome EmptyWholeTrash(SQLite::Database& db);

// The restore's transaction alone, the derived data left to the caller: `batch`, or the last when
// it is 0. The keys restored. Throws SQLite::Exception (nothing restored) on a database error.
std::vector<MailKey> RestoreBatchAlone(SQLite::Database& db, int64_t batch);

} // namespace kamo
