#pragma once
// A search result as the right list's lines: ordinary mail lines (row ids of tblKamoMail), so that
// showing, replying to and deleting a found mail work as on any list.
#include <vector>

#include "browse/SubjectCursor.h"
#include "search/SearchQuery.h"

namespace kamo {

class SearchRows : public SubjectRowSource {
public:
    // The search index must be up to date (UpdateSearchIndex).
    SearchRows(SQLite::Database& db, std::vector<SearchTerm> terms) : stream_(db, std::move(terms)) {}
    SubjectSource Source() const override { return SubjectSource::Mail; }
    bool Read(std::vector<int64_t>& out, size_t maxRows) override { return stream_.Read(out, maxRows); }
    bool Done() const override { return stream_.Done(); }

private:
    SearchStream stream_;
};

} // namespace kamo
