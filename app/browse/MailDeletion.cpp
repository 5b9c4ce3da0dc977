#include "browse/MailDeletion.h"

#include <SQLiteCpp/Statement.h>
#include <SQLiteCpp/Transaction.h>
#include <exception>

#include "browse/KeyLists.h"
#include "common/ArchiveView.h"
#include "common/NumberText.h"
#include "common/Prompter.h"
#include "common/WaitReporter.h"
#include "db/ArchiveSession.h"
#include "db/MailRows.h"
#include "db/Trash.h"
#include "upkeep/TableRegistry.h"

namespace kamo {
namespace {

// The rows of a target, as the view that lists them selects them.
std::string Where(const DeletionTarget& target) {
    using namespace MailColumn;
    switch (target.kind) {
    case DeletionTarget::Kind::Mail:
        return kYmd + " = :ymd AND " + kHms + " = :hms AND " + kSubKey + " = :sub AND " + kFlag + " = :flag AND " +
               kSndAdd + " = :snd AND " + kRcvAdd + " = :rcv";
    case DeletionTarget::Kind::Address:
        return MailAddressIs(":key");
    case DeletionTarget::Kind::Name:
        return MailNameIs(":key");
    case DeletionTarget::Kind::Date:
        return kYmd + " = :key";
    case DeletionTarget::Kind::Filter:
        return "EXISTS (SELECT 1 FROM tblFilterData WHERE tblFilterDt_No = :no AND tblFilterDt_Date = " + kYmd +
               " AND tblFilterDt_Time = " + kHms + " AND tblFilterDt_SubKey = " + kSubKey +
               " AND tblFilterDt_SndRcvFlag = " + kFlag + " AND tblFilterDt_SendAddr = " + kSndAdd +
               " AND tblFilterDt_RecvAddr = " + kRcvAdd + ")";
    }
    return "0";
}

void Bind(SQLite::Statement& st, const DeletionTarget& target) {
    switch (target.kind) {
    case DeletionTarget::Kind::Mail:
        st.bind(":ymd", target.mail.ymd);
        st.bind(":hms", target.mail.hms);
        st.bind(":sub", target.mail.subKey);
        st.bind(":flag", target.mail.sent ? 1 : 0);
        st.bind(":snd", target.mail.sndAdd);
        st.bind(":rcv", target.mail.rcvAdd);
        return;
    case DeletionTarget::Kind::Filter:
        st.bind(":no", target.filterNo);
        return;
    default:
        st.bind(":key", target.key);
        return;
    }
}

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
    SQLite::Statement st(db, "SELECT COUNT(*) FROM tblKamoMail WHERE " + Where(target));
    Bind(st, target);
    return st.executeStep() ? st.getColumn(0).getInt64() : 0;
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
    const TrashMove move = MoveToTrash(db, Where(target), [&](SQLite::Statement& st) { Bind(st, target); });
    transaction.commit();
    return move.mails;
}

std::vector<MailKey> UndoLastDeletion(SQLite::Database& db) {
    SQLite::Transaction transaction(db);
    const int64_t batch = LastTrashBatch(db);
    std::vector<MailKey> restored = batch > 0 ? RestoreTrashBatch(db, batch) : std::vector<MailKey>{};
    transaction.commit();
    return restored;
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
        wait.ShowBusy("　データベースを整理しています。");
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
    SQLite::Database& db = session.Database();
    std::vector<MailKey> restored;
    bool filtered = true;
    try {
        WaitScope busy(wait);
        wait.ShowBusy("　データベースを整理しています。");
        SQLite::Transaction transaction(db);
        if (batch == 0)
            batch = LastTrashBatch(db);
        if (batch > 0)
            restored = RestoreTrashBatch(db, batch);
        transaction.commit();
        if (!restored.empty())
            filtered = RefreshDerivedData(db, session.Filters(), wait);
    } catch (const std::exception& e) {
        view.ShowViewMode();
        prompter.Error(std::string("メールを元に戻せませんでした。\n") + e.what());
        return {};
    }
    if (restored.empty()) {
        prompter.Message("元に戻す削除がありません。");
        return {};
    }
    view.ShowViewMode();
    if (!filtered)
        prompter.Error("メールは元に戻しましたが、フィルターの実行に失敗しました。");
    return restored;
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
    SQLite::Database& db = session.Database();
    const int64_t count = db.execAndGet("SELECT count(*) FROM tblTrash").getInt64();
    if (count == 0) {
        prompter.Message("ゴミ箱は空です。");
        return 0;
    }
    if (!prompter.AskYesNo(EmptyTrashQuestion(count), "ゴミ箱を空にする"))
        return 0;
    try {
        SQLite::Transaction transaction(db);
        const int64_t removed = EmptyTrash(db);
        transaction.commit();
        return removed;
    } catch (const std::exception& e) {
        prompter.Error(std::string("ゴミ箱を空にできませんでした。\n") + e.what());
        return 0;
    }
}

} // namespace kamo
