#include "browse/SubjectCursor.h"

#include <stdexcept>
#include <string>
#include <string_view>

#include <sqlite3.h>

#include "common/AsciiText.h"
#include "db/MailRows.h"

namespace kamo {
namespace {

int CompareValues(sqlite3_stmt* a, sqlite3_stmt* b, int column) {
    // SQLite's order across types: NULL, numbers, text.
    auto rank = [](int t) { return t == SQLITE_NULL ? 0 : (t == SQLITE_INTEGER || t == SQLITE_FLOAT) ? 1 : 2; };
    int ra = rank(sqlite3_column_type(a, column));
    int rb = rank(sqlite3_column_type(b, column));
    if (ra != rb)
        return ra < rb ? -1 : 1;
    if (ra == 0)
        return 0;
    if (ra == 1) {
        double x = sqlite3_column_double(a, column), y = sqlite3_column_double(b, column);
        return x < y ? -1 : (x > y ? 1 : 0);
    }
    // The columns' collation is NOCASE.
    auto text = [](sqlite3_stmt* s, int c) {
        const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(s, c));
        return std::string_view(p, static_cast<size_t>(sqlite3_column_bytes(s, c)));
    };
    return CompareNoCase(text(a, column), text(b, column));
}

// Each half of a key walks its own (key, sort columns) index, already in display order; the halves
// are merged here. Selecting the sort columns lets the merge compare without reading the rows. A
// month narrows each half to its range of the index's date column.
// The address indexes sort by date, time and sub-key; the name indexes by date, sub-key and time.
std::string HalfSql(const std::string& keyColumn, bool byName, bool narrowed) {
    using namespace MailColumn;
    const std::string& second = byName ? kSubKey : kHms;
    const std::string& third = byName ? kHms : kSubKey;
    return "SELECT rowid, " + kYmd + ", " + second + ", " + third + " FROM tblKamoMail WHERE " + keyColumn + " = ?1" +
           (narrowed ? " AND " + kYmd + " >= ?2 AND " + kYmd + " < ?3" : std::string()) + " ORDER BY " + kYmd +
           " ASC, " + second + " ASC, " + third + " ASC";
}

} // namespace

void SubjectRowStream::StatementFinalizer::operator()(sqlite3_stmt* statement) const {
    sqlite3_finalize(statement);
}

void SubjectRowStream::Cursor::Prepare(SQLite::Database& db, const char* sql) {
    sqlite3_stmt* raw = nullptr;
    int rc = sqlite3_prepare_v2(db.getHandle(), sql, -1, &raw, nullptr);
    statement.reset(raw);
    if (rc != SQLITE_OK)
        throw SQLite::Exception(db.getHandle(), rc);
}

SubjectRowStream::SubjectRowStream(SQLite::Database& db, ViewMode mode, const std::string& key,
                                   const std::string& month) {
    using namespace MailColumn;
    // The key's two columns, the sender's and the receiver's.
    const std::string* halves = nullptr;
    const std::string addresses[2] = {kSndAdd, kRcvAdd};
    const std::string names[2] = {kSndName, kRcvName};
    switch (mode) {
    case ViewMode::Address:
        halves = addresses;
        break;
    case ViewMode::Name:
        halves = names;
        break;
    case ViewMode::Date:
        first_.Prepare(
            db, ("SELECT rowid FROM tblKamoMail WHERE " + kYmd + " = ?1 ORDER BY " + kHms + " ASC, " + kSubKey + " ASC")
                    .c_str());
        break;
    case ViewMode::Filter:
        throw std::invalid_argument("filter mode lists by filter number");
    }
    const bool narrowed = halves && !month.empty();
    if (halves) {
        const bool byName = mode == ViewMode::Name;
        first_.Prepare(db, HalfSql(halves[0], byName, narrowed).c_str());
        second_.Prepare(db, HalfSql(halves[1], byName, narrowed).c_str());
    }
    // "yyyy/mm" takes the dates from "yyyy/mm" up to "yyyy/mm" followed by the next character after '/'.
    const std::string from = month + "/";
    const std::string to = month + "0";
    for (Cursor* c : {&first_, &second_})
        if (c->statement) {
            sqlite3_bind_text(c->statement.get(), 1, key.data(), static_cast<int>(key.size()), SQLITE_TRANSIENT);
            if (narrowed) {
                sqlite3_bind_text(c->statement.get(), 2, from.data(), static_cast<int>(from.size()), SQLITE_TRANSIENT);
                sqlite3_bind_text(c->statement.get(), 3, to.data(), static_cast<int>(to.size()), SQLITE_TRANSIENT);
            }
        }
    first_.Step();
    second_.Step();
}

SubjectRowStream::SubjectRowStream(SQLite::Database& db, int64_t filterNo) : source_(SubjectSource::FilterData) {
    first_.Prepare(db, "SELECT rowid FROM tblFilterData WHERE tblFilterDt_No = ?1"
                       " ORDER BY tblFilterDt_Date ASC, tblFilterDt_Time ASC");
    sqlite3_bind_int64(first_.statement.get(), 1, filterNo);
    first_.Step();
}

SubjectRowStream::~SubjectRowStream() = default;

void SubjectRowStream::Cursor::Step() {
    if (!statement) {
        hasRow = false;
        return;
    }
    int rc = sqlite3_step(statement.get());
    if (rc == SQLITE_ROW) {
        hasRow = true;
        return;
    }
    hasRow = false;
    if (rc != SQLITE_DONE)
        throw SQLite::Exception(sqlite3_db_handle(statement.get()), rc);
}

int64_t SubjectRowStream::Cursor::Id() const {
    return sqlite3_column_int64(statement.get(), 0);
}

int SubjectRowStream::Compare(const Cursor& a, const Cursor& b) const {
    for (int column = 1; column <= 3; ++column)
        if (int c = CompareValues(a.statement.get(), b.statement.get(), column))
            return c;
    int64_t ix = a.Id(), iy = b.Id();
    return ix < iy ? -1 : (ix > iy ? 1 : 0);
}

bool SubjectRowStream::Done() const {
    return !first_.hasRow && !second_.hasRow;
}

bool SubjectRowStream::Read(std::vector<int64_t>& out, size_t maxRows) {
    for (size_t n = 0; n < maxRows && !Done(); ++n) {
        if (!second_.hasRow) {
            out.push_back(first_.Id());
            first_.Step();
        } else if (!first_.hasRow) {
            out.push_back(second_.Id());
            second_.Step();
        } else {
            int c = Compare(first_, second_);
            if (c <= 0) {
                out.push_back(first_.Id());
                first_.Step();
                if (c == 0)
                    second_.Step(); // a mail to oneself is in both halves: list it once
            } else {
                out.push_back(second_.Id());
                second_.Step();
            }
        }
    }
    return !Done();
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

SubjectRows QueryFilterSubjectRows(SQLite::Database& db, int64_t filterNo) {
    SubjectRowStream stream(db, filterNo);
    return ReadWhole(stream);
}

// A filter's row holds a copy of its mail's head; selected in the same order, one reader reads both.
SubjectLineReader::SubjectLineReader(SQLite::Database& db, SubjectSource source)
    : statement_(db, source == SubjectSource::Mail
                         ? "SELECT " + MailHeadColumns() + " FROM tblKamoMail WHERE rowid = ?1"
                         : "SELECT tblFilterDt_Date, tblFilterDt_Time, tblFilterDt_SubKey, tblFilterDt_SndRcvFlag,"
                           " tblFilterDt_SendName, tblFilterDt_SendAddr, tblFilterDt_RecvName, tblFilterDt_RecvAddr,"
                           " tblFilterDt_Subject FROM tblFilterData WHERE rowid = ?1") {}

SubjectLine SubjectLineReader::Read(int64_t rowId) {
    statement_.reset();
    statement_.bind(1, rowId);
    if (!statement_.executeStep())
        throw std::out_of_range("the mail is no longer in the archive");
    SubjectLine line;
    ReadMailHead(statement_, 0, line.key, line.subject);
    line.text = FormatSubjectLine(line.key, line.subject);
    statement_.reset();
    return line;
}

namespace {
std::vector<SubjectLine> ReadAll(SQLite::Database& db, const SubjectRows& rows) {
    SubjectLineReader reader(db, rows.source);
    std::vector<SubjectLine> lines;
    lines.reserve(rows.rowIds.size());
    for (int64_t id : rows.rowIds)
        lines.push_back(reader.Read(id));
    return lines;
}
} // namespace

std::vector<SubjectLine> FillSubjectList(SQLite::Database& db, ViewMode mode, const std::string& key) {
    return ReadAll(db, QuerySubjectRows(db, mode, key));
}

std::vector<SubjectLine> FillFilterSubjectList(SQLite::Database& db, int64_t filterNo) {
    return ReadAll(db, QueryFilterSubjectRows(db, filterNo));
}

} // namespace kamo
