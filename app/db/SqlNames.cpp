#include "db/SqlNames.h"

#include <SQLiteCpp/Statement.h>

namespace kamo {

std::string DoubleQuoted(std::string_view text) {
    std::string quoted;
    quoted.reserve(text.size() + 2);
    quoted += '"';
    for (char c : text) {
        if (c == '"')
            quoted += '"';
        quoted += c;
    }
    quoted += '"';
    return quoted;
}

std::vector<TableColumn> TableColumns(SQLite::Database& db, const std::string& table, const std::string& schema) {
    std::vector<TableColumn> columns;
    SQLite::Statement q(db, "SELECT name, type, pk FROM pragma_table_info(?1, ?2) ORDER BY cid");
    q.bind(1, table);
    q.bind(2, schema);
    while (q.executeStep())
        columns.push_back({q.getColumn(0).getString(), q.getColumn(1).getString(), q.getColumn(2).getInt()});
    return columns;
}

std::optional<std::string> SchemaSql(SQLite::Database& db, std::string_view type, std::string_view name) {
    SQLite::Statement st(db, "SELECT sql FROM sqlite_master WHERE type = ?1 AND name = ?2");
    st.bind(1, std::string(type));
    st.bind(2, std::string(name));
    if (!st.executeStep())
        return std::nullopt;
    return st.getColumn(0).getString();
}

} // namespace kamo
