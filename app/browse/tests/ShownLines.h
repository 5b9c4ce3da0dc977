#pragma once
// The whole right list as the window shows it: the row ids read in pieces, each line formatted by
// the reader the list's model keeps.
#include <cstdint>
#include <string>
#include <vector>

#include <SQLiteCpp/Database.h>

#include "browse/SubjectCursor.h"

namespace kamo::test {

inline std::vector<SubjectLine> ShownLines(SQLite::Database& db, SubjectRowStream& stream) {
    std::vector<int64_t> rowIds;
    while (stream.Read(rowIds, 100)) {
    }
    SubjectLineReader reader(db, stream.Source());
    std::vector<SubjectLine> lines;
    for (int64_t id : rowIds)
        lines.push_back(reader.Read(id));
    return lines;
}

// A key's lines: address, name or date mode.
inline std::vector<SubjectLine> ShownLines(SQLite::Database& db, ViewMode mode, const std::string& key) {
    SubjectRowStream stream(db, mode, key);
    return ShownLines(db, stream);
}

// A filter's lines.
inline std::vector<SubjectLine> ShownFilterLines(SQLite::Database& db, int64_t filterNo) {
    SubjectRowStream stream(db, filterNo);
    return ShownLines(db, stream);
}

} // namespace kamo::test
