#pragma once
// Names in SQL text, and what SQLite says about a table's columns. Values are always bound; only
// names of tables and columns (which cannot be bound) go into the text, and then quoted.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <SQLiteCpp/Database.h>

namespace kamo {

// `text` in double quotes, inner quotes doubled: an SQL identifier, or a string of FTS5's query syntax.
std::string DoubleQuoted(std::string_view text);

struct TableColumn {
    std::string name;
    std::string type;   // as declared
    int primaryKey = 0; // position in the primary key, 0 when not in it
};

// The columns of `table` in schema `schema` ("main", or an attached database's name), in creation
// order; empty when there is no such table.
std::vector<TableColumn> TableColumns(SQLite::Database& db, const std::string& table,
                                      const std::string& schema = "main");

// The CREATE statement SQLite keeps for the `type` ("table", "index", "trigger") named `name`, or
// nothing when there is none: what tells whether a table or trigger is there as it was defined.
std::optional<std::string> SchemaSql(SQLite::Database& db, std::string_view type, std::string_view name);

} // namespace kamo
