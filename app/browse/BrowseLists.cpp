#include "browse/BrowseLists.h"

#include <algorithm>
#include <stdexcept>

#include <sqlite3.h>

#include "common/AsciiText.h"
#include "common/CodePage.h"

namespace kamo {
namespace {

// Rolls back unless released; nests inside a caller's transaction, which a plain BEGIN cannot.
class SavepointGuard {
public:
    SavepointGuard(SQLite::Database& db, std::string name) : db_(db), name_(std::move(name)) {
        db_.exec("SAVEPOINT " + name_);
    }
    ~SavepointGuard() {
        if (released_)
            return;
        try {
            db_.exec("ROLLBACK TO " + name_);
            db_.exec("RELEASE " + name_);
        } catch (...) {
        }
    }
    SavepointGuard(const SavepointGuard&) = delete;
    SavepointGuard& operator=(const SavepointGuard&) = delete;
    void Release() {
        db_.exec("RELEASE " + name_);
        released_ = true;
    }

private:
    SQLite::Database& db_;
    std::string name_;
    bool released_ = false;
};

std::vector<KeyItem> SingleColumnKeys(SQLite::Database& db, const char* sql) {
    std::vector<KeyItem> items;
    SQLite::Statement st(db, sql);
    while (st.executeStep())
        items.push_back({st.getColumn(0).getString(), 0});
    return items;
}

// VB's Mid: whatever of the range exists.
std::string_view Mid(std::string_view s, size_t start, size_t length) {
    if (start >= s.size())
        return {};
    return s.substr(start, length);
}

std::string DigitsOf(std::string_view s) {
    std::string d;
    for (char c : s)
        if (c >= '0' && c <= '9')
            d += c;
    return d;
}

constexpr size_t kSubjectColumn = 55;

} // namespace

std::vector<KeyItem> FillAddressList(SQLite::Database& db) {
    return SingleColumnKeys(db, "SELECT tblSearch_Addr_Data FROM tblSearch_Addresses ORDER BY tblSearch_Addr_Data ASC");
}

std::vector<KeyItem> FillNameList(SQLite::Database& db) {
    return SingleColumnKeys(db, "SELECT tblSearch_Name_Data FROM tblSearch_Name ORDER BY tblSearch_Name_Data ASC");
}

std::vector<KeyItem> FillDateList(SQLite::Database& db) {
    // Jumps from date to date down the primary index instead of reading every mail: the same dates
    // in the same order as a scan, at a cost that grows with the number of dates only.
    return SingleColumnKeys(db, "WITH RECURSIVE d(ymd) AS ("
                                " SELECT MAX(tblKamoMail_YMD) FROM tblKamoMail"
                                " UNION ALL"
                                " SELECT (SELECT MAX(tblKamoMail_YMD) FROM tblKamoMail WHERE tblKamoMail_YMD < d.ymd)"
                                " FROM d WHERE d.ymd IS NOT NULL)"
                                " SELECT ymd FROM d WHERE ymd IS NOT NULL");
}

std::vector<KeyItem> FillFilterList(SQLite::Database& db) {
    std::vector<KeyItem> items;
    SQLite::Statement st(db, "SELECT tblFilter_No, tblFilter_Header, tblFilter_ActionCode FROM tblFilter"
                             " ORDER BY tblFilter_No ASC");
    while (st.executeStep()) {
        KeyItem item;
        item.filterNo = st.getColumn(0).getInt64();
        item.text = st.getColumn(1).getString();
        // Read-time filters hold no mail of their own; say so instead of showing an empty view.
        if (st.getColumn(2).getInt64() != 0)
            item.text += "　（１）メールを読み込まない";
        items.push_back(std::move(item));
    }
    return items;
}

std::vector<KeyItem> FillKeyList(SQLite::Database& db, ViewMode mode) {
    switch (mode) {
    case ViewMode::Address:
        return FillAddressList(db);
    case ViewMode::Name:
        return FillNameList(db);
    case ViewMode::Date:
        return FillDateList(db);
    case ViewMode::Filter:
        break;
    }
    return FillFilterList(db);
}

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
// are merged here. Selecting the sort columns lets the merge compare without reading the rows.
const char* const kAddressHalves[2] = {
    "SELECT rowid, tblKamoMail_YMD, tblKamoMail_HMS, tblKamoMail_SubKey FROM tblKamoMail"
    " WHERE tblKamoMail_SndAdd = ?1 ORDER BY tblKamoMail_YMD ASC, tblKamoMail_HMS ASC, tblKamoMail_SubKey ASC",
    "SELECT rowid, tblKamoMail_YMD, tblKamoMail_HMS, tblKamoMail_SubKey FROM tblKamoMail"
    " WHERE tblKamoMail_RcvAdd = ?1 ORDER BY tblKamoMail_YMD ASC, tblKamoMail_HMS ASC, tblKamoMail_SubKey ASC"};
const char* const kNameHalves[2] = {
    "SELECT rowid, tblKamoMail_YMD, tblKamoMail_SubKey, tblKamoMail_HMS FROM tblKamoMail"
    " WHERE tblKamoMail_SndName = ?1 ORDER BY tblKamoMail_YMD ASC, tblKamoMail_SubKey ASC, tblKamoMail_HMS ASC",
    "SELECT rowid, tblKamoMail_YMD, tblKamoMail_SubKey, tblKamoMail_HMS FROM tblKamoMail"
    " WHERE tblKamoMail_RcvName = ?1 ORDER BY tblKamoMail_YMD ASC, tblKamoMail_SubKey ASC, tblKamoMail_HMS ASC"};

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

SubjectRowStream::SubjectRowStream(SQLite::Database& db, ViewMode mode, const std::string& key) {
    const char* const* halves = nullptr;
    switch (mode) {
    case ViewMode::Address:
        halves = kAddressHalves;
        break;
    case ViewMode::Name:
        halves = kNameHalves;
        break;
    case ViewMode::Date:
        first_.Prepare(db, "SELECT rowid FROM tblKamoMail WHERE tblKamoMail_YMD = ?1"
                           " ORDER BY tblKamoMail_HMS ASC, tblKamoMail_SubKey ASC");
        break;
    case ViewMode::Filter:
        throw std::invalid_argument("filter mode lists by filter number");
    }
    if (halves) {
        first_.Prepare(db, halves[0]);
        second_.Prepare(db, halves[1]);
    }
    for (Cursor* c : {&first_, &second_})
        if (c->statement)
            sqlite3_bind_text(c->statement.get(), 1, key.data(), static_cast<int>(key.size()), SQLITE_TRANSIENT);
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

SubjectLineReader::SubjectLineReader(SQLite::Database& db, SubjectSource source)
    : statement_(db, source == SubjectSource::Mail
                         ? "SELECT tblKamoMail_YMD, tblKamoMail_HMS, tblKamoMail_SubKey, tblKamoMail_SndRcvFlag,"
                           " tblKamoMail_SndName, tblKamoMail_RcvName, tblKamoMail_SndAdd, tblKamoMail_RcvAdd,"
                           " tblKamoMail_Subject FROM tblKamoMail WHERE rowid = ?1"
                         : "SELECT tblFilterDt_Date, tblFilterDt_Time, tblFilterDt_SubKey, tblFilterDt_SndRcvFlag,"
                           " tblFilterDt_SendName, tblFilterDt_RecvName, tblFilterDt_SendAddr, tblFilterDt_RecvAddr,"
                           " tblFilterDt_Subject FROM tblFilterData WHERE rowid = ?1") {}

SubjectLine SubjectLineReader::Read(int64_t rowId) {
    statement_.reset();
    statement_.bind(1, rowId);
    if (!statement_.executeStep())
        throw std::out_of_range("the mail is no longer in the archive");
    SubjectLine line;
    line.key.ymd = statement_.getColumn(0).getString();
    line.key.hms = statement_.getColumn(1).getString();
    line.key.subKey = statement_.getColumn(2).getInt64();
    line.key.sent = statement_.getColumn(3).getInt64() != 0;
    line.key.sndName = statement_.getColumn(4).getString();
    line.key.rcvName = statement_.getColumn(5).getString();
    line.key.sndAdd = statement_.getColumn(6).getString();
    line.key.rcvAdd = statement_.getColumn(7).getString();
    line.subject = statement_.getColumn(8).getString();
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

std::string RecCountText(size_t count) {
    return "表示件数　：　" + std::to_string(count) + " 件";
}

std::string FormatSubjectLine(std::string_view date8, std::string_view time6, bool sent, std::string_view sndName,
                              std::string_view rcvName, std::string_view subject) {
    std::string s;
    s.reserve(96);
    s.append(Mid(date8, 0, 4)).append("/").append(Mid(date8, 4, 2)).append("/").append(Mid(date8, 6, 2));
    s.append(" ");
    s.append(Mid(time6, 0, 2)).append(":").append(Mid(time6, 2, 2)).append(":").append(Mid(time6, 4, 2));
    s.append(" ");
    if (sent)
        s.append("　送　受取人：").append(TrimAscii(rcvName, kSpace));
    else
        s.append("受　　差出人：").append(TrimAscii(sndName, kSpace));
    s.append(" ");
    size_t width = Cp932Length(s);
    if (width <= kSubjectColumn)
        s.append(kSubjectColumn - width, ' ');
    s.append(TrimAscii(subject, kSpace));
    return s;
}

std::string FormatSubjectLine(const MailKey& key, std::string_view subject) {
    return FormatSubjectLine(DigitsOf(key.ymd), DigitsOf(key.hms), key.sent, key.sndName, key.rcvName, subject);
}

namespace {
void RebuildLookup(SQLite::Database& db, const std::string& table, const std::string& column,
                   const std::string& sndColumn, const std::string& rcvColumn) {
    SavepointGuard sp(db, "rebuild_lookup");
    db.exec("DELETE FROM " + table);
    // A missing value is stored as the empty text, as the look-up always did. The primary index
    // ignores letter case, so names differing only in case land once.
    db.exec("INSERT OR IGNORE INTO " + table + " (" + column + ")" + " SELECT IFNULL(" + sndColumn +
            ", '') FROM tblKamoMail UNION SELECT IFNULL(" + rcvColumn + ", '') FROM tblKamoMail");
    sp.Release();
}
} // namespace

void RebuildNameList(SQLite::Database& db) {
    RebuildLookup(db, "tblSearch_Name", "tblSearch_Name_Data", "tblKamoMail_SndName", "tblKamoMail_RcvName");
}

void RebuildAddressList(SQLite::Database& db) {
    RebuildLookup(db, "tblSearch_Addresses", "tblSearch_Addr_Data", "tblKamoMail_SndAdd", "tblKamoMail_RcvAdd");
}

} // namespace kamo
