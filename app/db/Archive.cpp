#include "db/Archive.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include <SQLiteCpp/Statement.h>
#include <SQLiteCpp/Transaction.h>

#include "common/AsciiText.h"
#include "common/Messages.h"
#include "common/MessagesArchive.h"
#include "common/Prompter.h"
#include "db/Attachments.h"
#include "db/Schema.h"
#include "db/SqlNames.h"
#include "platform/FileUtil.h"

namespace kamo {
namespace fs = std::filesystem;

namespace {

bool IndexExists(SQLite::Database& db, const std::string& name) {
    SQLite::Statement q(db, "SELECT 1 FROM sqlite_master WHERE type = 'index' AND name = ? COLLATE NOCASE");
    q.bind(1, name);
    return q.executeStep();
}

void CreateIndexes(SQLite::Database& db, const TableDef& table) {
    for (const auto& index : table.indexes) {
        if (!IndexExists(db, index.name))
            db.exec(CreateIndexSql(table, index));
    }
}

// The table under its current definition, rows copied over; columns it had beyond the definition
// stay at the end so that no stored text is dropped.
void RebuildTable(SQLite::Database& db, const TableDef& table, const std::vector<TableColumn>& existing) {
    TableDef rebuilt = table;
    rebuilt.name = table.name + "_Upgrade";
    std::string targetCols, sourceCols;
    auto add = [&](const std::string& target, const std::string& source) {
        targetCols += (targetCols.empty() ? "" : ", ") + target;
        sourceCols += (sourceCols.empty() ? "" : ", ") + source;
    };
    for (const auto& c : table.columns) {
        auto found =
            std::find_if(existing.begin(), existing.end(), [&](const auto& e) { return EqualsNoCase(e.name, c.name); });
        if (found == existing.end())
            continue;
        // Old rows may hold NULL where the column now refuses it.
        bool notNull = c.declaration.find("NOT NULL") != std::string::npos;
        add(c.name, notNull ? "COALESCE(" + DoubleQuoted(found->name) + ", '')" : DoubleQuoted(found->name));
    }
    for (const auto& e : existing) {
        bool known = std::any_of(table.columns.begin(), table.columns.end(),
                                 [&](const auto& c) { return EqualsNoCase(e.name, c.name); });
        if (!known) {
            rebuilt.columns.push_back({DoubleQuoted(e.name), e.type});
            add(DoubleQuoted(e.name), DoubleQuoted(e.name));
        }
    }
    db.exec("DROP TABLE IF EXISTS " + rebuilt.name);
    db.exec(CreateTableSql(rebuilt));
    db.exec("INSERT INTO " + rebuilt.name + " (" + targetCols + ") SELECT " + sourceCols + " FROM " + table.name);
    db.exec("DROP TABLE " + table.name);
    db.exec("ALTER TABLE " + rebuilt.name + " RENAME TO " + table.name);
}

void RemoveJournals(const fs::path& path) {
    std::error_code ec;
    for (const char* suffix : {"-journal", "-wal", "-shm"})
        fs::remove(fs::path(path.string() + suffix), ec);
}

} // namespace

bool CreateDatabase(const fs::path& path, Prompter& prompter) {
    const bool replacing = fs::exists(path);
    if (replacing &&
        !prompter.AskYesNo(Say(ArchiveText::ReplaceArchiveQuestion), Say(ArchiveText::ReplaceArchiveTitle)))
        return false;

    const fs::path building = path.string() + ".Create";
    std::error_code ec;
    fs::remove(building, ec);
    RemoveJournals(building);
    try {
        // The user's mail is theirs alone: the file (and so its journals) is made 0600 before SQLite
        // writes the first page.
        if (!CreateEmptyFile(building, 0600))
            throw fs::filesystem_error("cannot create", building, std::make_error_code(std::errc::file_exists));
        auto db = OpenArchive(building, true);
        CreateTables(*db);
    } catch (...) {
        fs::remove(building, ec);
        RemoveJournals(building);
        throw;
    }
    if (!SyncFile(building)) {
        fs::remove(building, ec);
        throw fs::filesystem_error("cannot write", building, std::make_error_code(std::errc::io_error));
    }
    // A journal of the old file must not be played into the new one.
    if (replacing)
        RemoveJournals(path);
    fs::rename(building, path);
    SyncFolder(path.parent_path().empty() ? fs::path(".") : path.parent_path());
    return true;
}

bool UpgradeArchive(SQLite::Database& db) {
    bool changed = false;
    SQLite::Transaction tx(db);
    // The picture mark is added in place and its rows marked, not left to a rebuild that copies every
    // attachment and marks none.
    changed = AddPictureMarks(db);
    std::vector<const TableDef*> tables;
    for (const auto& table : ArchiveTables())
        tables.push_back(&table);
    for (const auto& table : AddedTables())
        tables.push_back(&table);
    auto complete = [](const TableDef& table, const std::vector<TableColumn>& existing) {
        return std::all_of(table.columns.begin(), table.columns.end(), [&](const auto& c) {
            return std::any_of(existing.begin(), existing.end(),
                               [&](const auto& e) { return EqualsNoCase(e.name, c.name); });
        });
    };
    // A rebuilt table is dropped and renamed, and SQLite refuses a rename while a trigger names a
    // missing table: the triggers go first and are created again at the end.
    const bool rebuilding = std::any_of(tables.begin(), tables.end(), [&](const TableDef* table) {
        const auto existing = TableColumns(db, table->name);
        return !existing.empty() && !complete(*table, existing);
    });
    if (rebuilding)
        for (const auto& trigger : ArchiveTriggers())
            db.exec("DROP TRIGGER IF EXISTS " + trigger.name);
    for (const TableDef* table : tables) {
        const auto existing = TableColumns(db, table->name);
        if (existing.empty()) {
            db.exec(CreateTableSql(*table));
            changed = true;
        } else if (!complete(*table, existing)) {
            RebuildTable(db, *table, existing);
            changed = true;
        }
        for (const auto& index : table->indexes) {
            if (!IndexExists(db, index.name))
                changed = true;
        }
        CreateIndexes(db, *table);
    }
    for (const auto& trigger : ArchiveTriggers()) {
        SQLite::Statement q(db, "SELECT 1 FROM sqlite_master WHERE type = 'trigger' AND name = ?");
        q.bind(1, trigger.name);
        if (!q.executeStep()) {
            db.exec(trigger.sql);
            changed = true;
        }
    }
    tx.commit();
    return changed;
}

} // namespace kamo
