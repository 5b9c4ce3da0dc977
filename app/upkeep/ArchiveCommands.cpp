#include "upkeep/ArchiveCommands.h"

#include <exception>

#include "common/ArchiveView.h"
#include "common/Messages.h"
#include "common/NumberText.h"
#include "common/Prompter.h"
#include "common/WaitReporter.h"
#include "db/ArchiveSession.h"
#include "db/Backups.h"
#include "upkeep/TableExchange.h"
#include "upkeep/TableRegistry.h"

namespace kamo {

std::optional<std::filesystem::path> BackupCommand(ArchiveSession& session, Prompter& prompter, WaitReporter& wait) {
    try {
        WaitScope busy(wait);
        wait.ShowBusy(WaitPhase::MakingBackup);
        return MakeBackup(session.Archive(), session.Folders().dataDir, TodayText());
    } catch (const std::exception& e) {
        prompter.Error(std::string("バックアップを作成できませんでした。\n") + ErrorText(e), "バックアップ");
        return std::nullopt;
    }
}

bool RecreateCommand(ArchiveSession& session, Prompter& prompter, WaitReporter& wait, ArchiveView& view,
                     const RecreateStepHook& hook) {
    if (!prompter.AskYesNo(
            "データベースを再作成します。先に今日のバックアップを作成します。\n     よろしいでしょうか？",
            "データベースの再作成"))
        return false;
    bool ok = true;
    view.LetGoOfArchive();
    try {
        WaitScope busy(wait);
        wait.ShowBusy(WaitPhase::RecreatingArchive);
        RecreateArchive(
            session, [&](SQLite::Database& db) { return RefreshDerivedData(db, session.Filters(), wait); }, hook);
    } catch (const std::exception& e) {
        ok = false;
        prompter.Error(std::string("データベースを再作成できませんでした。元のデータベースはそのままです。\n") +
                           ErrorText(e),
                       "データベースの再作成");
    }
    view.ShowViewMode();
    if (ok)
        prompter.Message("データベースを再作成しました。", "データベースの再作成");
    return ok;
}

namespace {

// What a table holds, in the user's words, before the table's own name (it names the file).
std::string TableCaption(const std::string& table) {
    static const std::pair<const char*, const char*> kCaptions[] = {
        {"tblKamoMail", "メール"},         {"tblSearch_Addresses", "アドレスの一覧"},
        {"tblSearch_Name", "名前の一覧"},  {"tblFriend", "おともだち帳"},
        {"tblFilter", "フィルター"},       {"tblFilterData", "フィルターの振り分け結果"},
        {"tblAttachment", "添付ファイル"}, {"tblOriginalNames", "メールのもとの名前"},
    };
    for (const auto& [name, caption] : kCaptions)
        if (table == name)
            return std::string(caption) + "　" + table;
    return table;
}

} // namespace

bool ExportCsvCommand(ArchiveSession& session, Prompter& prompter, WaitReporter& wait,
                      const std::filesystem::path& folder) {
    std::vector<TableCount> counts;
    try {
        WaitScope busy(wait);
        wait.ShowBusy(WaitPhase::WritingTables);
        counts = ExportTables(session.Database(), folder, [&](const std::string& table) {
            wait.ShowNote(WaitNote::Table, table);
            wait.Pump();
        });
    } catch (const std::exception& e) {
        prompter.Error(std::string("書き出せませんでした。\n") + ErrorText(e), "エクスポート");
        return false;
    }
    std::string text = "書き出しました。\n" + folder.string() +
                       "\n"
                       "KamoMail のデータすべてを、表ごとの CSV ファイルにしました（「インポート」で取り込めます。"
                       "メールソフトで読む形式は「メールを書き出す」です）。\n";
    for (const auto& c : counts)
        text += TableCaption(c.table) + " → " + c.table + ".csv: " + WithSeparators(c.rows) + " 行\n";
    prompter.Message(text, "エクスポート");
    return true;
}

bool ImportCsvCommand(ArchiveSession& session, Prompter& prompter, WaitReporter& wait, ArchiveView& view,
                      const std::filesystem::path& folder) {
    std::vector<TableCount> counts;
    bool refreshed = true;
    view.LetGoOfArchive();
    try {
        WaitScope busy(wait);
        wait.ShowBusy(WaitPhase::ReadingTables);
        counts = ImportTables(session.Database(), folder, [&](const std::string& table) {
            wait.ShowNote(WaitNote::Table, table);
            wait.Pump();
        });
        refreshed = RefreshDerivedData(session.Database(), session.Filters(), wait);
    } catch (const std::exception& e) {
        view.ShowViewMode();
        prompter.Error(std::string("取り込めませんでした。\n") + ErrorText(e), "インポート");
        return false;
    }
    view.ShowViewMode();
    std::string text = "取り込みました。\n" + folder.string() + "\n";
    for (const auto& c : counts)
        text += c.rebuilt ? TableCaption(c.table) + ": 取り込まず作り直しました（メールから作るデータです）\n"
                          : TableCaption(c.table) + ": 追加 " + WithSeparators(c.rows) + " 行 / 保存済み " +
                                WithSeparators(c.skipped) + " 行\n";
    if (!refreshed)
        prompter.Error("取り込みましたが、フィルターの実行に失敗しました。", "インポート");
    prompter.Message(text, "インポート");
    return refreshed;
}

} // namespace kamo
