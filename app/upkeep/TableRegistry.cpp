#include "upkeep/TableRegistry.h"

#include <SQLiteCpp/Statement.h>
#include <set>

#include "common/AsciiText.h"
#include "common/FilterTable.h"
#include "common/WaitReporter.h"
#include "db/LookupLists.h"
#include "db/Schema.h"
#include "filters/FilterRun.h"
#include "search/ConversationIndex.h"
#include "search/SearchIndex.h"

namespace kamo {
namespace {

// Read from the tables' own definitions, so a table cannot be made without being declared here.
std::vector<RegisteredTable> BuildRegistry() {
    std::vector<RegisteredTable> tables;
    for (const auto* defined : {&ArchiveTables(), &AddedTables()})
        for (const auto& table : *defined)
            tables.push_back({table.kind, table.name});
    for (const auto* declared : {&SearchIndexTables(), &ConversationIndexTables()})
        tables.insert(tables.end(), declared->begin(), declared->end());
    return tables;
}

} // namespace

const std::vector<RegisteredTable>& RegisteredTables() {
    static const std::vector<RegisteredTable> tables = BuildRegistry();
    return tables;
}

const RegisteredTable* FindRegisteredTable(std::string_view name) {
    for (const auto& table : RegisteredTables())
        if (EqualsNoCase(table.name, name))
            return &table;
    return nullptr;
}

std::vector<FoundTable> FindTables(SQLite::Database& db, const std::string& schema) {
    std::vector<FoundTable> found;
    std::vector<std::string> virtualTables;
    // The schema name is an identifier: only "main" or an attached database's name, never a value.
    SQLite::Statement q(db, "SELECT name, ifnull(sql, '') FROM \"" + schema +
                                "\".sqlite_master WHERE type = 'table' AND name NOT LIKE 'sqlite%' ORDER BY rowid");
    while (q.executeStep()) {
        FoundTable t;
        t.name = q.getColumn(0).getString();
        t.sql = q.getColumn(1).getString();
        t.entry = FindRegisteredTable(t.name);
        if (StartsWithNoCase(t.sql, "CREATE VIRTUAL"))
            virtualTables.push_back(t.name);
        found.push_back(std::move(t));
    }
    for (auto& t : found) {
        bool shadow = false;
        for (const auto& v : virtualTables)
            shadow = shadow || (t.name != v && StartsWithNoCase(t.name, v + "_"));
        const bool isVirtual = StartsWithNoCase(t.sql, "CREATE VIRTUAL");
        t.derived = isVirtual || shadow || (t.entry && t.entry->data == TableData::Derived);
        t.exported = t.entry ? t.entry->exported : !t.derived;
    }
    return found;
}

namespace {

// Runs `steps` in the enum's order.
bool RunRebuilds(SQLite::Database& db, const std::set<Rebuild>& steps, const FilterTables& filters,
                 WaitReporter& wait) {
    bool filtered = true;
    for (Rebuild step : steps) {
        switch (step) {
        case Rebuild::FilterResults:
            filtered = RunFilters(db, filters, wait);
            break;
        case Rebuild::NameList:
            RebuildNameList(db);
            break;
        case Rebuild::AddressList:
            RebuildAddressList(db);
            break;
        case Rebuild::SearchIndex:
            try {
                UpdateSearchIndex(db, wait);
            } catch (const SQLite::Exception&) {
                // The mail is stored; the queue keeps what is left and the next search indexes it.
            }
            break;
        case Rebuild::ConversationIndex:
            try {
                UpdateConversationIndex(db, wait);
            } catch (const SQLite::Exception&) {
                // As the search index: the queue keeps what is left for the next conversation.
            }
            break;
        case Rebuild::MonthCounts:
            try {
                EnsureMonthCounts(db);
            } catch (const SQLite::Exception&) {
                // (a read-only archive) the months are counted from the mail until it is made
            }
            break;
        case Rebuild::None:
            break;
        }
    }
    return filtered;
}

} // namespace

bool RefreshDerivedData(SQLite::Database& db, const FilterTables& filters, WaitReporter& wait) {
    std::set<Rebuild> steps;
    for (const auto& table : RegisteredTables())
        if (table.data == TableData::Derived)
            steps.insert(table.rebuild);
    return RunRebuilds(db, steps, filters, wait);
}

bool RefreshOwedDerivedData(SQLite::Database& db, const FilterTables& filters, WaitReporter& wait) {
    try {
        const std::vector<Rebuild> owed = OwedRebuilds(db);
        return owed.empty() || (RunRebuilds(db, {owed.begin(), owed.end()}, filters, wait) && OwedRebuilds(db).empty());
    } catch (const SQLite::Exception&) {
        return false; // (another program's lock, a read-only file) still owed, for the next start
    }
}

} // namespace kamo
