#include "browse/SubjectCursor.h"

#include <stdexcept>
#include <string>

namespace kamo {
namespace {

KeyRowStream::By ByOf(ViewMode mode) {
    switch (mode) {
    case ViewMode::Address:
        return KeyRowStream::By::Address;
    case ViewMode::Name:
        return KeyRowStream::By::Name;
    case ViewMode::Date:
        return KeyRowStream::By::Date;
    case ViewMode::Filter:
        break;
    }
    throw std::invalid_argument("filter mode lists by filter number");
}

} // namespace

SubjectRowStream::SubjectRowStream(SQLite::Database& db, ViewMode mode, const std::string& key,
                                   const std::string& month)
    : rows_(db, ByOf(mode), key, month) {}

SubjectRowStream::SubjectRowStream(SQLite::Database& db, int64_t filterNo)
    : source_(SubjectSource::FilterData), rows_(db, filterNo) {}

bool SubjectRowStream::Done() const {
    return rows_.Done();
}

bool SubjectRowStream::Read(std::vector<int64_t>& out, size_t maxRows) {
    return rows_.Read(out, maxRows);
}

namespace {
SubjectRows ReadWhole(SubjectRowStream& stream) {
    SubjectRows rows{stream.Source(), {}};
    while (stream.Read(rows.rowIds, 65536)) {
    }
    return rows;
}
} // namespace

SubjectRows QuerySubjectRows(SQLite::Database& db, ViewMode mode, const std::string& key) {
    SubjectRowStream stream(db, mode, key);
    return ReadWhole(stream);
}

SubjectLineReader::SubjectLineReader(SQLite::Database& db, SubjectSource source)
    : heads_(db, source == SubjectSource::FilterData) {}

SubjectLine SubjectLineReader::Read(int64_t rowId) {
    SubjectLine line;
    if (!heads_.Read(rowId, line.key, line.subject))
        throw std::out_of_range("the mail is no longer in the archive");
    line.text = FormatSubjectLine(line.key, line.subject);
    return line;
}

} // namespace kamo
