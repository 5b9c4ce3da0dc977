#include "upkeep/TrashActions.h"

#include <SQLiteCpp/Transaction.h>

#include "db/Trash.h"
#include "upkeep/TableRegistry.h"

namespace kamo {
namespace {

TrashOutcome Restore(SQLite::Database& db, const FilterTables& filters, WaitReporter& wait, int64_t batch) {
    TrashOutcome outcome;
    outcome.restored = RestoreBatchAlone(db, batch);
    if (outcome.restored.empty())
        return outcome;
    try {
        outcome.filtered = RefreshDerivedData(db, filters, wait);
    } catch (const std::exception&) {
        outcome.refreshError = std::current_exception();
    }
    return outcome;
}

} // namespace

std::vector<MailKey> RestoreBatchAlone(SQLite::Database& db, int64_t batch) {
    SQLite::Transaction transaction(db);
    if (batch == 0)
        batch = LastTrashBatch(db);
    std::vector<MailKey> restored = batch > 0 ? RestoreTrashBatch(db, batch) : std::vector<MailKey>{};
    transaction.commit();
    return restored;
}

TrashOutcome RestoreLastBatch(SQLite::Database& db, const FilterTables& filters, WaitReporter& wait) {
    return Restore(db, filters, wait, 0);
}

TrashOutcome RestoreChosenBatch(SQLite::Database& db, const FilterTables& filters, WaitReporter& wait, int64_t batch) {
    return Restore(db, filters, wait, batch);
}

TrashOutcome EmptyWholeTrash(SQLite::Database& db) {
    TrashOutcome outcome;
    SQLite::Transaction transaction(db);
    outcome.removed = EmptyTrash(db);
    transaction.commit();
    return outcome;
}

} // namespace kamo
