#pragma once
// The archive's tables, each declared once with what it is: the user's data (mail, attachments, the
// names mail came with, friends, filters), which only the user's own commands change and which every
// copy keeps; or derived data (look-up lists, filter results, the search index), which is made from
// the user's data and may be thrown away and made again at any time. The CSV export and import, the
// recreation and every command that changes mail ask here; none decides for itself.
#include <string>
#include <string_view>
#include <vector>

#include <SQLiteCpp/Database.h>

#include "db/Schema.h"

namespace kamo {

class WaitReporter;
struct FilterTables;

// A table's name and kind (TableData, Rebuild and the rest in db/Schema.h), as its definition gives them.
using RegisteredTable = DeclaredTable;

// Every table this program creates in an archive, each as it is defined: the six first in creation
// order, then the added tables (db/Schema.h), then the search index's and the conversation index's.
const std::vector<RegisteredTable>& RegisteredTables();

// The entry of `name` (letter case ignored, as SQLite names are), or nothing for a table the
// program does not know (one the user added, or the shadow tables of the search index).
const RegisteredTable* FindRegisteredTable(std::string_view name);

// A table found in an archive, as the registry sees it.
struct FoundTable {
    std::string name;
    std::string sql;                        // its CREATE statement
    const RegisteredTable* entry = nullptr; // nothing for a table the program does not know
    // The program's own derived data, made again rather than copied: a registered derived table, a
    // virtual table or one of a virtual table's shadow tables (the search index's FTS5 tables).
    bool derived = false;
    // Written by the CSV export: a registered table marked so, or any table of the user's own.
    bool exported = false;
};

// The tables of `schema` ("main" or an attached database), in creation order; SQLite's own left out.
std::vector<FoundTable> FindTables(SQLite::Database& db, const std::string& schema = "main");

// Makes every derived table right after a change of the user's data has been committed: the filters
// run again (tblFilterData), the name and address look-ups rebuilt, the search and conversation
// indexes given the queued mails (a missing or stale index is built from scratch). Runs outside any transaction. A
// search index that cannot be updated keeps its queue for the next search and is not a failure.
// False when the filters could not be run; throws SQLite::Exception when a look-up cannot be rebuilt.
bool RefreshDerivedData(SQLite::Database& db, const FilterTables& filters, WaitReporter& wait);

// What a session does first when it opens the archive: the rebuilds a change left owed (db/Schema.h,
// TableKind::madeFrom), such as those of a command killed between its commit and its refresh; nothing
// when none is owed. The filters must be loaded. Never throws: false when something is still owed
// (another program's lock, say), and the next start tries again.
bool RefreshOwedDerivedData(SQLite::Database& db, const FilterTables& filters, WaitReporter& wait);

} // namespace kamo
