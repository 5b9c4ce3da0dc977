#include "upkeep/Recreation.h"

#include <SQLiteCpp/Statement.h>
#include <SQLiteCpp/Transaction.h>
#include <algorithm>
#include <cstdio>
#include <optional>
#include <set>
#include <stdexcept>
#include <system_error>
#include <vector>

#include "common/Failure.h"
#include "db/ArchiveSession.h"
#include "db/Backups.h"
#include "db/Compaction.h"
#include "db/Schema.h"
#include "db/SqlNames.h"
#include "platform/FileUtil.h"
#include "upkeep/TableRegistry.h"

namespace kamo {
namespace fs = std::filesystem;

namespace {

std::vector<std::string> ColumnNames(SQLite::Database& db, const std::string& schema, const std::string& table) {
    std::vector<std::string> names;
    for (const auto& c : TableColumns(db, table, schema))
        names.push_back(c.name);
    return names;
}

int64_t Rows(SQLite::Database& db, const std::string& schema, const std::string& table) {
    return db.execAndGet("SELECT COUNT(*) FROM " + schema + "." + DoubleQuoted(table)).getInt64();
}

// Copies the user's data of `src` into the fresh file: the program's tables by the columns both
// sides have, a table of the user's own with its definition, indexes and triggers. Derived tables
// are not copied; the fresh file has them empty (or not at all) and the refresh makes them. Returns
// the tables copied.
std::vector<std::string> CopyRows(SQLite::Database& fresh) {
    std::set<std::string> present;
    for (const auto& t : FindTables(fresh, "main"))
        present.insert(t.name);
    std::vector<std::string> copied;
    SQLite::Transaction transaction(fresh);
    for (const auto& t : FindTables(fresh, "src")) {
        if (t.derived)
            continue;
        if (!present.count(t.name))
            fresh.exec(t.sql);
        const auto freshColumns = ColumnNames(fresh, "main", t.name);
        const auto srcColumns = ColumnNames(fresh, "src", t.name);
        const std::set<std::string> have(srcColumns.begin(), srcColumns.end());
        std::string list;
        for (const auto& c : freshColumns)
            if (have.count(c))
                list += (list.empty() ? "" : ", ") + DoubleQuoted(c);
        if (list.empty())
            continue;
        fresh.exec("INSERT INTO main." + DoubleQuoted(t.name) + " (" + list + ") SELECT " + list + " FROM src." +
                   DoubleQuoted(t.name) + " ORDER BY rowid");
        copied.push_back(t.name);
    }
    // The user's own tables keep their indexes and triggers; the program's come with CreateTables, and
    // a derived table's owner makes its own (the search index its triggers) when it is made again.
    SQLite::Statement objects(fresh, "SELECT name, tbl_name, sql FROM src.sqlite_master WHERE type IN ('index', "
                                     "'trigger') AND sql IS NOT NULL AND name NOT LIKE 'sqlite%' ORDER BY rowid");
    while (objects.executeStep()) {
        const std::string table = objects.getColumn(1).getString();
        if (FindRegisteredTable(table) || std::find(copied.begin(), copied.end(), table) == copied.end())
            continue;
        SQLite::Statement exists(fresh, "SELECT 1 FROM main.sqlite_master WHERE name = ?");
        exists.bind(1, objects.getColumn(0).getString());
        if (!exists.executeStep())
            fresh.exec(objects.getColumn(2).getString());
    }
    transaction.commit();
    return copied;
}

} // namespace

void RecreateArchive(ArchiveSession& session, const std::function<bool(SQLite::Database&)>& refresh,
                     const RecreateStepHook& hook) {
    auto step = [&](RecreateStep s, FailureCode failed) {
        if (hook && !hook(s))
            throw Failure(failed);
    };
    std::error_code ec;
    const fs::path archive =
        fs::is_symlink(session.ArchivePath(), ec) ? fs::canonical(session.ArchivePath(), ec) : session.ArchivePath();
    const fs::path fresh = archive.string() + ".New";
    auto removeFresh = [&] {
        for (const char* suffix : {"", "-journal", "-wal", "-shm"})
            fs::remove(fresh.string() + suffix, ec);
    };

    // The start's upkeep works beside the archive under the same names: it stops first.
    session.StopUpkeep();
    step(RecreateStep::Backup, FailureCode::RecreationBackupFailed);
    MakeBackup(session.Archive(), session.Folders().dataDir, TodayText());

    removeFresh();
    try {
        std::vector<std::string> copied;
        {
            step(RecreateStep::Build, FailureCode::RecreationBuildFailed);
            // Made as narrow as the archive before SQLite writes to it: it becomes the archive.
            if (!CreateEmptyFile(fresh, PrivateModeOf(archive)))
                throw Failure(FailureCode::NewArchiveNotMade, {fresh.string()});
            auto db = OpenArchive(fresh, true);
            CreateTables(*db);
            step(RecreateStep::Copy, FailureCode::RecreationCopyFailed);
            SQLite::Statement attach(*db, "ATTACH DATABASE ? AS src");
            attach.bind(1, archive.string());
            attach.exec();
            copied = CopyRows(*db);
            step(RecreateStep::Refresh, FailureCode::RecreationRefreshFailed);
            if (refresh && !refresh(*db))
                throw Failure(FailureCode::RecreationRefreshFailed);
            step(RecreateStep::Verify, FailureCode::RecreationVerifyFailed);
            for (const auto& table : copied)
                if (Rows(*db, "main", table) != Rows(*db, "src", table))
                    throw Failure(FailureCode::NewArchiveRowsDiffer, {table});
            db->exec("DETACH DATABASE src");
        }
        std::optional<Failure> why;
        if (!IsCompleteArchive(fresh, &why))
            throw Failure(FailureCode::NewArchiveNotComplete, {}, *why);
        step(RecreateStep::Replace, FailureCode::RecreationReplaceFailed);
        if (!SyncFile(fresh))
            throw Failure(FailureCode::NewArchiveNotWritten);
    } catch (...) {
        removeFresh();
        throw;
    }
    // From here the archive itself changes: closed, replaced in one rename, opened again.
    session.CloseArchive();
    if (::rename(fresh.c_str(), archive.c_str()) != 0) {
        removeFresh();
        session.ReopenArchive();
        throw Failure(FailureCode::ArchiveNotReplaced);
    }
    SyncFolder(archive.parent_path().empty() ? fs::path(".") : archive.parent_path());
    session.ReopenArchive();
}

} // namespace kamo
