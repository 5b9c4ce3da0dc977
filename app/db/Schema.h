#pragma once
// The archive's tables, held as data so that creation and the version upgrade share one definition.
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <SQLiteCpp/Database.h>

namespace kamo {

class Prompter;

struct ColumnDef {
    std::string name;
    std::string declaration; // type, collation and default, e.g. "TEXT COLLATE NOCASE NOT NULL DEFAULT ''"
};

struct IndexDef {
    std::string name;
    std::string columns; // "a, b"
};

struct TableDef {
    std::string name;
    std::vector<ColumnDef> columns; // creation order
    std::string primaryKeyName;     // empty: no named primary index
    std::vector<std::string> primaryKey;
    std::vector<IndexDef> indexes; // secondary indexes for browsing and filters
};

// The six tables in creation order: tblKamoMail, tblSearch_Addresses, tblSearch_Name, tblFriend,
// tblFilter, tblFilterData.
const std::vector<TableDef>& ArchiveTables();

// Number of body pieces (tblKamoMail_Mail1 .. tblKamoMail_Mail16).
constexpr int kBodyPieces = 16;

// CREATE TABLE statement of one table.
std::string CreateTableSql(const TableDef& table);

// Creates all six tables (and their indexes) in an open, empty database.
void CreateTables(SQLite::Database& db);

// Opens an existing archive (or creates the file when `create`), with the connection settings every
// part relies on. Throws SQLite::Exception on failure.
std::unique_ptr<SQLite::Database> OpenArchive(const std::filesystem::path& path, bool create = false);

} // namespace kamo
