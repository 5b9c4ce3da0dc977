#include "browse/MailDeletion.h"

#include <SQLiteCpp/Transaction.h>
#include <exception>

#include "browse/KeyLists.h"
#include "common/ArchiveView.h"
#include "common/NumberText.h"
#include "common/Prompter.h"
#include "common/WaitReporter.h"
#include "db/ArchiveSession.h"
#include "db/Trash.h"
#include "upkeep/TableRegistry.h"
#include "upkeep/TrashActions.h"

namespace kamo {
namespace {

// Deleted mail goes to the trash, and the question says so.
constexpr std::string_view kAskTail = "\n     メールはゴミ箱に移り、あとで元に戻せます。\n     よろしいでしょうか？";

} // namespace

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

std::string DeletionQuestion(const DeletionTarget& target, int64_t count) {
    const std::string n = WithSeparators(count);
    switch (target.kind) {
    case DeletionTarget::Kind::Mail:
        return target.mail.ymd + " " + target.mail.hms + " のメール「" + target.subject + "」を削除します。" +
               std::string(kAskTail);
    case DeletionTarget::Kind::Address:
        return "アドレス「" + target.key + "」の送受信メール " + n + " 件を削除します。" + std::string(kAskTail);
    case DeletionTarget::Kind::Name:
        return "名前「" + ShownName(target.key) + "」の送受信メール " + n + " 件を削除します。" + std::string(kAskTail);
    case DeletionTarget::Kind::Date:
        return target.key + " のメール " + n + " 件を削除します。" + std::string(kAskTail);
    case DeletionTarget::Kind::Filter:
        return "フィルター「" + target.key + "」のメール " + n + " 件を削除します。" + std::string(kAskTail);
    }
    return {};
}

int64_t DeleteTarget(SQLite::Database& db, const DeletionTarget& target) {
    SQLite::Transaction transaction(db);
    const TrashMove move = TrashMailGroup(db, target);
    transaction.commit();
    return move.mails;
}

std::vector<MailKey> UndoLastDeletion(SQLite::Database& db) {
    return RestoreBatchAlone(db, 0);
}

int64_t RunDeletion(ArchiveSession& session, Prompter& prompter, WaitReporter& wait, ArchiveView& view,
                    const DeletionTarget& target) {
    SQLite::Database& db = session.Database();
    const int64_t count = CountTarget(db, target);
    if (count == 0) {
        prompter.Message("削除するメールがありません。");
        return 0;
    }
    if (!prompter.AskYesNo(DeletionQuestion(target, count), "メールの削除"))
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
        prompter.Error(std::string("メールを削除できませんでした。何も削除していません。\n") + e.what());
        return 0;
    }
    view.ShowViewMode();
    if (!filtered)
        prompter.Error("メールは削除しましたが、フィルターの実行に失敗しました。");
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
        prompter.Error(std::string("メールを元に戻せませんでした。\n") + e.what());
        return {};
    }
    if (outcome.restored.empty()) {
        prompter.Message("元に戻す削除がありません。");
        return {};
    }
    view.ShowViewMode();
    if (!outcome.filtered)
        prompter.Error("メールは元に戻しましたが、フィルターの実行に失敗しました。");
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
    return "ゴミ箱のメール " + WithSeparators(count) +
           " 件を完全に削除します。元に戻すことはできません。\n"
           "PostPet のフォルダにこれらのメールが残っていると、次の読み込みで再び保存されます。" +
           std::string(kAskTail.substr(kAskTail.rfind('\n')));
}

int64_t RunEmptyTrash(ArchiveSession& session, Prompter& prompter) {
    const int64_t count = TrashedMailCount(session.Database());
    if (count == 0) {
        prompter.Message("ゴミ箱は空です。");
        return 0;
    }
    if (!prompter.AskYesNo(EmptyTrashQuestion(count), "ゴミ箱を空にする"))
        return 0;
    try {
        return EmptyWholeTrash(session.Database()).removed;
    } catch (const std::exception& e) {
        prompter.Error(std::string("ゴミ箱を空にできませんでした。\n") + e.what());
        return 0;
    }
}

} // namespace kamo
