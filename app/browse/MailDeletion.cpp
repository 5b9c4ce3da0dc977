#include "browse/MailDeletion.h"

#include <SQLiteCpp/Transaction.h>
#include <exception>

#include "browse/KeyLists.h"
#include "common/ArchiveView.h"
#include "common/Messages.h"
#include "common/NumberText.h"
#include "common/Prompter.h"
#include "common/WaitReporter.h"
#include "db/ArchiveSession.h"
#include "db/Trash.h"
#include "upkeep/TableRegistry.h"
#include "upkeep/TrashActions.h"

namespace kamo {

DeletionTarget KeyTarget(ViewMode mode, const std::string& key, int64_t filterNo) {
    DeletionTarget t;
    t.key = key;
    switch (mode) {
    case ViewMode::Address:
        t.kind = DeletionTarget::Kind::Address;
        break;
    case ViewMode::Name:
        t.kind = DeletionTarget::Kind::Name;
        break;
    case ViewMode::Date:
        t.kind = DeletionTarget::Kind::Date;
        break;
    case ViewMode::Filter:
        t.kind = DeletionTarget::Kind::Filter;
        t.filterNo = filterNo;
        break;
    }
    return t;
}

int64_t CountTarget(SQLite::Database& db, const DeletionTarget& target) {
    return CountMailGroup(db, target);
}

DeletionAsk DeletionAskOf(const DeletionTarget& target, int64_t count) {
    const std::string n = WithSeparators(count);
    switch (target.kind) {
    case DeletionTarget::Kind::Mail:
        return {BrowseText::DeleteMailAsk, {target.mail.ymd, target.mail.hms, target.subject}};
    case DeletionTarget::Kind::Address:
        return {BrowseText::DeleteAddressAsk, {target.key, n}};
    case DeletionTarget::Kind::Name:
        return {BrowseText::DeleteNameAsk, {ShownName(target.key), n}};
    case DeletionTarget::Kind::Date:
        return {BrowseText::DeleteDateAsk, {target.key, n}};
    case DeletionTarget::Kind::Filter:
        break;
    }
    return {BrowseText::DeleteFilterAsk, {target.key, n}};
}

std::string DeletionQuestion(const DeletionTarget& target, int64_t count) {
    const DeletionAsk ask = DeletionAskOf(target, count);
    // Deleted mail goes to the trash, and the question says so.
    return Say(BrowseText::AskMovingToTrash, {Say(ask.what, ask.details)});
}

int64_t DeleteTarget(SQLite::Database& db, const DeletionTarget& target) {
    SQLite::Transaction transaction(db);
    const TrashMove move = TrashMailGroup(db, target);
    transaction.commit();
    return move.mails;
}

int64_t RunDeletion(ArchiveSession& session, Prompter& prompter, WaitReporter& wait, ArchiveView& view,
                    const DeletionTarget& target) {
    SQLite::Database& db = session.Database();
    const int64_t count = CountTarget(db, target);
    if (count == 0) {
        prompter.Message(Say(BrowseText::NothingToDelete));
        return 0;
    }
    if (!prompter.AskYesNo(DeletionQuestion(target, count), Say(BrowseText::DeletionTitle)))
        return 0;
    int64_t deleted = 0;
    bool filtered = true;
    try {
        WaitScope busy(wait);
        wait.ShowBusy(WaitPhase::TidyingArchive);
        deleted = DeleteTarget(db, target);
        filtered = RefreshDerivedData(db, session.Filters(), wait);
    } catch (const std::exception& e) {
        view.ShowViewMode();
        prompter.Error(Say(BrowseText::DeletionFailed, {e.what()}));
        return 0;
    }
    view.ShowViewMode();
    if (!filtered)
        prompter.Error(Say(BrowseText::DeletedNotFiltered));
    return deleted;
}

namespace {

// Restores `batch` (0: the last) under the wait window and refreshes; the keys restored.
std::vector<MailKey> RunRestore(ArchiveSession& session, Prompter& prompter, WaitReporter& wait, ArchiveView& view,
                                int64_t batch) {
    TrashOutcome outcome;
    try {
        WaitScope busy(wait);
        wait.ShowBusy(WaitPhase::TidyingArchive);
        outcome = batch == 0 ? RestoreLastBatch(session.Database(), session.Filters(), wait)
                             : RestoreChosenBatch(session.Database(), session.Filters(), wait, batch);
        if (outcome.refreshError)
            std::rethrow_exception(outcome.refreshError);
    } catch (const std::exception& e) {
        view.ShowViewMode();
        prompter.Error(Say(BrowseText::RestoreFailed, {e.what()}));
        return {};
    }
    if (outcome.restored.empty()) {
        prompter.Message(Say(BrowseText::NothingToRestore));
        return {};
    }
    view.ShowViewMode();
    if (!outcome.filtered)
        prompter.Error(Say(BrowseText::RestoredNotFiltered));
    return outcome.restored;
}

} // namespace

std::vector<MailKey> RunUndo(ArchiveSession& session, Prompter& prompter, WaitReporter& wait, ArchiveView& view) {
    return RunRestore(session, prompter, wait, view, 0);
}

std::vector<MailKey> RunRestoreBatch(ArchiveSession& session, Prompter& prompter, WaitReporter& wait, ArchiveView& view,
                                     int64_t batch) {
    return RunRestore(session, prompter, wait, view, batch);
}

std::string EmptyTrashQuestion(int64_t count) {
    return Say(BrowseText::EmptyTrashAsk, {WithSeparators(count)});
}

int64_t RunEmptyTrash(ArchiveSession& session, Prompter& prompter) {
    const int64_t count = TrashedMailCount(session.Database());
    if (count == 0) {
        prompter.Message(Say(BrowseText::TrashIsEmpty));
        return 0;
    }
    if (!prompter.AskYesNo(EmptyTrashQuestion(count), Say(BrowseText::EmptyTrashTitle)))
        return 0;
    try {
        return EmptyWholeTrash(session.Database()).removed;
    } catch (const std::exception& e) {
        prompter.Error(Say(BrowseText::EmptyTrashFailed, {e.what()}));
        return 0;
    }
}

} // namespace kamo
