#include "upkeep/ArchiveCommands.h"

#include <exception>

#include "common/ArchiveView.h"
#include "common/Messages.h"
#include "common/MessagesArchive.h"
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
        prompter.Error(Say(ArchiveText::BackupFailed, {ErrorText(e)}), Say(ArchiveText::BackupTitle));
        return std::nullopt;
    }
}

bool RecreateCommand(ArchiveSession& session, Prompter& prompter, WaitReporter& wait, ArchiveView& view,
                     const RecreateStepHook& hook) {
    if (!prompter.AskYesNo(Say(ArchiveText::RecreateQuestion), Say(ArchiveText::RecreateTitle)))
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
        prompter.Error(Say(ArchiveText::RecreateFailed, {ErrorText(e)}), Say(ArchiveText::RecreateTitle));
    }
    view.ShowViewMode();
    if (ok)
        prompter.Message(Say(ArchiveText::Recreated), Say(ArchiveText::RecreateTitle));
    return ok;
}

namespace {

// What a table holds, in the user's words, before the table's own name (it names the file).
std::string TableCaption(const std::string& table) {
    static const std::pair<const char*, ArchiveText> kCaptions[] = {
        {"tblKamoMail", ArchiveText::TableMail},          {"tblSearch_Addresses", ArchiveText::TableAddresses},
        {"tblSearch_Name", ArchiveText::TableNames},      {"tblFriend", ArchiveText::TableFriends},
        {"tblFilter", ArchiveText::TableFilters},         {"tblFilterData", ArchiveText::TableFilterResults},
        {"tblAttachment", ArchiveText::TableAttachments}, {"tblOriginalNames", ArchiveText::TableOriginalNames},
    };
    for (const auto& [name, caption] : kCaptions)
        if (table == name)
            return Say(ArchiveText::TableCaption, {Say(caption), table});
    return table;
}

} // namespace

std::string TablesExportedText(const std::filesystem::path& folder, const std::vector<TableCount>& counts) {
    std::string text = Say(ArchiveText::TablesExported, {folder.string()});
    for (const auto& c : counts)
        text += Say(ArchiveText::TableExported, {TableCaption(c.table), c.table, WithSeparators(c.rows)});
    return text;
}

std::string TablesImportedText(const std::filesystem::path& folder, const std::vector<TableCount>& counts) {
    std::string text = Say(ArchiveText::TablesImported, {folder.string()});
    for (const auto& c : counts)
        text += c.rebuilt ? Say(ArchiveText::TableRebuilt, {TableCaption(c.table)})
                          : Say(ArchiveText::TableImported,
                                {TableCaption(c.table), WithSeparators(c.rows), WithSeparators(c.skipped)});
    return text;
}

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
        prompter.Error(Say(ArchiveText::TablesExportFailed, {ErrorText(e)}), Say(ArchiveText::TablesExportTitle));
        return false;
    }
    prompter.Message(TablesExportedText(folder, counts), Say(ArchiveText::TablesExportTitle));
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
        prompter.Error(Say(ArchiveText::TablesImportFailed, {ErrorText(e)}), Say(ArchiveText::TablesImportTitle));
        return false;
    }
    view.ShowViewMode();
    if (!refreshed)
        prompter.Error(Say(ArchiveText::TablesImportedUnfiltered), Say(ArchiveText::TablesImportTitle));
    prompter.Message(TablesImportedText(folder, counts), Say(ArchiveText::TablesImportTitle));
    return refreshed;
}

} // namespace kamo
