#pragma once
// The right list of the main window: a key's lines in display order, read a piece at a time, and
// the reader that formats single lines.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include <SQLiteCpp/Database.h>

#include "browse/SubjectLines.h"
#include "browse/ViewModes.h"
#include "db/BrowseQueries.h"

namespace kamo {

// The lines of a key as row ids, in display order. Large keys (the owner's own address is in every
// mail) must not cost a formatted string per line up front, so the list keeps ids and formats the
// lines it actually shows.
enum class SubjectSource { Mail, FilterData };
struct SubjectRows {
    SubjectSource source = SubjectSource::Mail;
    std::vector<int64_t> rowIds;
};

// Lines of the right list as row ids in display order, read a piece at a time so that a list of a
// million lines can show its first screen at once and take in the rest while the user reads: a
// key's lines (SubjectRowStream) or a search result (SearchRows.h).
class SubjectRowSource {
public:
    virtual ~SubjectRowSource() = default;
    virtual SubjectSource Source() const = 0;
    // Appends up to maxRows ids to `out` (fewer when a piece takes long); false once every row has
    // been read.
    virtual bool Read(std::vector<int64_t>& out, size_t maxRows) = 0;
    virtual bool Done() const = 0;
};

// The row ids of a key's lines in display order.
class SubjectRowStream : public SubjectRowSource {
public:
    // Address, name or date mode; `key` is the chosen left-list text. `month` ("yyyy/mm", address and
    // name mode) keeps the key's mail of that month only.
    SubjectRowStream(SQLite::Database& db, ViewMode mode, const std::string& key, const std::string& month = {});
    // Filter mode: the filter's rows of tblFilterData.
    SubjectRowStream(SQLite::Database& db, int64_t filterNo);
    SubjectRowStream(const SubjectRowStream&) = delete;
    SubjectRowStream& operator=(const SubjectRowStream&) = delete;

    SubjectSource Source() const override { return source_; }
    bool Read(std::vector<int64_t>& out, size_t maxRows) override;
    bool Done() const override;

private:
    SubjectSource source_ = SubjectSource::Mail;
    KeyRowStream rows_;
};

// A key's whole id list at once.
SubjectRows QuerySubjectRows(SQLite::Database& db, ViewMode mode, const std::string& key);

// Reads and formats single lines by row id; keeps its statement prepared.
class SubjectLineReader {
public:
    SubjectLineReader(SQLite::Database& db, SubjectSource source);
    // Throws std::out_of_range when the row is gone.
    SubjectLine Read(int64_t rowId);

private:
    MailHeadReader heads_;
};

} // namespace kamo
