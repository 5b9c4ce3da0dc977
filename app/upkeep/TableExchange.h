#pragma once
// Text export and import of the archive's tables: one UTF-8 CSV file per table ("<table>.csv": a
// header row of the column names, then every row in the order of its primary key, every column;
// texts quoted, numbers bare, no value (NULL) as an empty bare field, bytes as hexadecimal text).
// An import adds the rows that are not stored yet and skips those that are, for every file at once
// in one transaction; a file that is not such an export is refused, naming the file and the line,
// and then nothing is imported.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <SQLiteCpp/Database.h>

namespace kamo {

// The tables exported: those the registry marks so (the six, the tables kept beside each mail and the
// trash's; never the search or conversation index) and any table of the user's own, in that order.
std::vector<std::string> ExportedTables(SQLite::Database& db);

struct TableCount {
    std::string table;
    int64_t rows = 0;     // exported, or added by the import
    int64_t skipped = 0;  // import: already stored
    bool rebuilt = false; // import: a file of derived data, not read; the table is made again instead
};

// Writes the files into `folder` (created when missing; files of the same name are replaced, each
// atomically). `progress` gets the table being written. Throws Failure or
// SQLite::Exception.
std::vector<TableCount> ExportTables(SQLite::Database& db, const std::filesystem::path& folder,
                                     const std::function<void(const std::string&)>& progress = {});

// Reads every "<table>.csv" in `folder` whose table the archive has and holds the user's data; the
// files of derived tables are listed (rebuilt) after the others, unread. Throws Failure naming
// the file and line of the first problem, before anything is stored; a database error rolls back.
std::vector<TableCount> ImportTables(SQLite::Database& db, const std::filesystem::path& folder,
                                     const std::function<void(const std::string&)>& progress = {});

} // namespace kamo
