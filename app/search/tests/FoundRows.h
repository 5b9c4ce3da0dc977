#pragma once
// A search read to its end as `kamomail search` reads it: the query's stream taken in pieces,
// newest first.
#include <chrono>
#include <cstdint>
#include <string_view>
#include <vector>

#include <SQLiteCpp/Database.h>

#include "search/SearchQuery.h"

namespace kamo::test {

// The rows of every mail the query finds. Throws SearchSyntaxException for a malformed query.
inline std::vector<int64_t> FoundRows(SQLite::Database& db, std::string_view query, SearchLimits limits = {}) {
    SearchStream stream(db, query, limits);
    stream.SetSliceTime(std::chrono::milliseconds(0));
    std::vector<int64_t> rows;
    while (stream.Read(rows, 1024)) {
    }
    return rows;
}

} // namespace kamo::test
