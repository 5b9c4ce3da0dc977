#include "db/BrowseQueries.h"

#include <string_view>

#include <sqlite3.h>

#include "common/AsciiText.h"
#include "db/MailRows.h"
#include "db/Schema.h"

namespace kamo {
namespace {

std::vector<std::string> SingleColumn(SQLite::Database& db, const std::string& sql) {
    std::vector<std::string> values;
    SQLite::Statement st(db, sql);
    while (st.executeStep())
        values.push_back(st.getColumn(0).getString());
    return values;
}

} // namespace

std::vector<std::string> AddressKeys(SQLite::Database& db) {
    return SingleColumn(db, "SELECT tblSearch_Addr_Data FROM tblSearch_Addresses ORDER BY tblSearch_Addr_Data ASC");
}

std::vector<std::string> NameKeys(SQLite::Database& db) {
    return SingleColumn(db, "SELECT tblSearch_Name_Data FROM tblSearch_Name ORDER BY tblSearch_Name_Data ASC");
}

std::vector<std::string> DateKeys(SQLite::Database& db) {
    // Jumps from date to date down the primary index instead of reading every mail: the same dates
    // in the same order as a scan, at a cost that grows with the number of dates only.
    const std::string latest = "SELECT MAX(" + MailColumn::kYmd + ") FROM tblKamoMail";
    return SingleColumn(db, "WITH RECURSIVE d(ymd) AS ( " + latest + " UNION ALL SELECT (" + latest + " WHERE " +
                                MailColumn::kYmd +
                                " < d.ymd) FROM d WHERE d.ymd IS NOT NULL) SELECT ymd FROM d WHERE ymd IS NOT NULL");
}

std::vector<FilterKey> FilterKeys(SQLite::Database& db) {
    std::vector<FilterKey> keys;
    SQLite::Statement st(db, "SELECT tblFilter_No, tblFilter_Header, tblFilter_ActionCode FROM tblFilter"
                             " ORDER BY tblFilter_No ASC");
    while (st.executeStep())
        keys.push_back({st.getColumn(0).getInt64(), st.getColumn(1).getString(), st.getColumn(2).getInt64()});
    return keys;
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

void KeyRowStream::StatementFinalizer::operator()(sqlite3_stmt* statement) const {
    sqlite3_finalize(statement);
}

void KeyRowStream::Cursor::Prepare(SQLite::Database& db, const char* sql) {
    sqlite3_stmt* raw = nullptr;
    int rc = sqlite3_prepare_v2(db.getHandle(), sql, -1, &raw, nullptr);
    statement.reset(raw);
    if (rc != SQLITE_OK)
        throw SQLite::Exception(db.getHandle(), rc);
}

KeyRowStream::KeyRowStream(SQLite::Database& db, By by, const std::string& key, const std::string& month) {
    using namespace MailColumn;
    // The key's two columns, the sender's and the receiver's.
    const std::string* halves = nullptr;
    const std::string addresses[2] = {kSndAdd, kRcvAdd};
    const std::string names[2] = {kSndName, kRcvName};
    switch (by) {
    case By::Address:
        halves = addresses;
        break;
    case By::Name:
        halves = names;
        break;
    case By::Date:
        first_.Prepare(
            db, ("SELECT rowid FROM tblKamoMail WHERE " + kYmd + " = ?1 ORDER BY " + kHms + " ASC, " + kSubKey + " ASC")
                    .c_str());
        break;
    }
    const bool narrowed = halves && !month.empty();
    if (halves) {
        const bool byName = by == By::Name;
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

KeyRowStream::KeyRowStream(SQLite::Database& db, int64_t filterNo) {
    first_.Prepare(db, "SELECT rowid FROM tblFilterData WHERE tblFilterDt_No = ?1"
                       " ORDER BY tblFilterDt_Date ASC, tblFilterDt_Time ASC");
    sqlite3_bind_int64(first_.statement.get(), 1, filterNo);
    first_.Step();
}

KeyRowStream::~KeyRowStream() = default;

void KeyRowStream::Cursor::Step() {
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

int64_t KeyRowStream::Cursor::Id() const {
    return sqlite3_column_int64(statement.get(), 0);
}

int KeyRowStream::Compare(const Cursor& a, const Cursor& b) const {
    for (int column = 1; column <= 3; ++column)
        if (int c = CompareValues(a.statement.get(), b.statement.get(), column))
            return c;
    int64_t ix = a.Id(), iy = b.Id();
    return ix < iy ? -1 : (ix > iy ? 1 : 0);
}

bool KeyRowStream::Done() const {
    return !first_.hasRow && !second_.hasRow;
}

bool KeyRowStream::Read(std::vector<int64_t>& out, size_t maxRows) {
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

// A filter's row holds a copy of its mail's head; selected in the same order, one reader reads both.
MailHeadReader::MailHeadReader(SQLite::Database& db, bool filterRows)
    : statement_(db, !filterRows
                         ? "SELECT " + MailHeadColumns() + " FROM tblKamoMail WHERE rowid = ?1"
                         : "SELECT tblFilterDt_Date, tblFilterDt_Time, tblFilterDt_SubKey, tblFilterDt_SndRcvFlag,"
                           " tblFilterDt_SendName, tblFilterDt_SendAddr, tblFilterDt_RecvName, tblFilterDt_RecvAddr,"
                           " tblFilterDt_Subject FROM tblFilterData WHERE rowid = ?1") {}

bool MailHeadReader::Read(int64_t rowId, MailKey& key, std::string& subject) {
    statement_.reset();
    statement_.bind(1, rowId);
    if (!statement_.executeStep())
        return false;
    ReadMailHead(statement_, 0, key, subject);
    statement_.reset();
    return true;
}

std::optional<MailRecord> ReadMailOfKey(SQLite::Database& db, const MailKey& key) {
    using namespace MailColumn;
    SQLite::Statement st(db, "SELECT " + MailColumns() + " FROM tblKamoMail WHERE " + kYmd + " = ?1 AND " + kHms +
                                 " = ?2 AND " + kSubKey + " = ?3 AND " + kSndAdd + " = ?4 AND " + kRcvAdd +
                                 " = ?5 AND (" + kFlag + " <> 0) = ?6");
    st.bind(1, key.ymd);
    st.bind(2, key.hms);
    st.bind(3, key.subKey);
    st.bind(4, key.sndAdd);
    st.bind(5, key.rcvAdd);
    st.bind(6, key.sent ? 1 : 0);
    if (!st.executeStep())
        return std::nullopt;
    return ReadMailRow(st);
}

MailRowFinder::MailRowFinder(SQLite::Database& db)
    : statement_(db, "SELECT rowid FROM tblKamoMail WHERE " + MailKeyCondition("tblKamoMail")) {}

std::optional<int64_t> MailRowFinder::Find(const MailKey& key) {
    statement_.reset();
    BindMailKey(statement_, 1, key);
    if (!statement_.executeStep())
        return std::nullopt;
    return statement_.getColumn(0).getInt64();
}

namespace {

// The first `n` characters of UTF-8 text, as substr() counts them; false when it has fewer.
bool FirstCharacters(const std::string& text, size_t n, std::string& first) {
    size_t i = 0, chars = 0;
    for (; i < text.size() && chars < n; ++chars) {
        ++i;
        while (i < text.size() && (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80)
            ++i;
    }
    first = text.substr(0, i);
    return chars == n;
}

// No byte of UTF-8 text is 0xFF: every text that starts with a prefix sorts below prefix + "\xFF".
const std::string kAfterPrefix = "\xFF";

// The months are walked down the primary index, whose first columns are the date and the direction:
// one jump to each month's first date, then one counted index range per month. The cost is a pass
// over the index entries without reading a mail or sorting, and nothing at all for empty months.
class MonthWalker {
    static std::string FirstDateSql(const char* comparison) {
        return "SELECT MIN(" + MailColumn::kYmd + ") FROM tblKamoMail WHERE " + MailColumn::kYmd + " " + comparison +
               " ?1";
    }
    static std::string CountSql() { return "SELECT COUNT(*), TOTAL(" + MailColumn::kFlag + " <> 0) FROM tblKamoMail"; }

public:
    MonthWalker(SQLite::Database& db, const std::string& condition)
        : from_(db, FirstDateSql(">=")), after_(db, FirstDateSql(">")),
          range_(db,
                 CountSql() + " WHERE " + MailColumn::kYmd + " >= ?1 AND " + MailColumn::kYmd + " < ?2" + condition),
          exact_(db, CountSql() + " WHERE " + MailColumn::kYmd + " = ?1" + condition) {}

    void BindKey(const std::string& key) {
        range_.bind(3, key);
        exact_.bind(3, key);
    }

    std::vector<MonthCount> Walk() {
        std::vector<MonthCount> months;
        std::optional<std::string> ymd = First(from_, "");
        while (ymd) {
            std::string month;
            const bool whole = FirstCharacters(*ymd, 7, month);
            MonthCount count{month, 0, 0};
            if (whole) {
                Count(range_, count, month, month + kAfterPrefix);
                ymd = First(from_, month + kAfterPrefix);
            } else {
                // A date shorter than a month is a group of its own; longer dates that start
                // with it belong to theirs.
                Count(exact_, count, *ymd, {});
                ymd = First(after_, *ymd);
            }
            if (count.received + count.sent > 0)
                months.push_back(std::move(count));
        }
        return months;
    }

private:
    static std::optional<std::string> First(SQLite::Statement& st, const std::string& bound) {
        st.reset();
        st.bind(1, bound);
        std::optional<std::string> value;
        if (st.executeStep() && !st.getColumn(0).isNull())
            value = st.getColumn(0).getString();
        st.reset();
        return value;
    }

    static void Count(SQLite::Statement& st, MonthCount& count, const std::string& from,
                      const std::optional<std::string>& below) {
        st.reset();
        st.bind(1, from);
        if (below)
            st.bind(2, *below);
        if (st.executeStep()) {
            const int64_t all = st.getColumn(0).getInt64();
            count.sent = static_cast<int64_t>(st.getColumn(1).getDouble());
            count.received = all - count.sent;
        }
        st.reset();
    }

    SQLite::Statement from_;
    SQLite::Statement after_;
    SQLite::Statement range_;
    SQLite::Statement exact_;
};

int64_t CountOf(SQLite::Database& db, const std::string& sql, const std::string& key) {
    SQLite::Statement st(db, sql);
    st.bind(1, key);
    return st.executeStep() ? st.getColumn(0).getInt64() : 0;
}

std::vector<MonthCount> WalkMonths(SQLite::Database& db, const std::string& condition, const std::string& key) {
    MonthWalker walker(db, condition);
    walker.BindKey(key);
    return walker.Walk();
}

} // namespace

std::vector<MonthCount> CountMonths(SQLite::Database& db) {
    // The counts the archive keeps; an archive without them (a backup of an older one, on display
    // read-only, or one whose counts were emptied and are not made again yet) is walked.
    if (MonthCountsMissing(db))
        return MonthWalker(db, "").Walk();
    std::vector<MonthCount> months;
    SQLite::Statement st(db, "SELECT tblMonthCount_Month, tblMonthCount_Received, tblMonthCount_Sent FROM "
                             "tblMonthCount WHERE tblMonthCount_Received + tblMonthCount_Sent > 0 ORDER BY "
                             "tblMonthCount_Month");
    while (st.executeStep())
        months.push_back({st.getColumn(0).getString(), st.getColumn(1).getInt64(), st.getColumn(2).getInt64()});
    return months;
}

std::vector<MonthCount> CountMonthsOfAddress(SQLite::Database& db, const std::string& address) {
    using namespace MailColumn;
    // The subject list's condition. A key in a small part of the archive is read through its own two
    // indexes (each mail then looked up for its direction); a key in much of it (the owner's own
    // address) costs less as a pass over the primary index, which holds both addresses: the unary +
    // keeps the planner off the address indexes.
    const int64_t keyMails = CountOf(db,
                                     "SELECT (SELECT COUNT(*) FROM tblKamoMail WHERE " + kSndAdd +
                                         " = ?1) + (SELECT COUNT(*) FROM tblKamoMail WHERE " + kRcvAdd + " = ?1)",
                                     address);
    // The archive's size by its highest row id: exact enough to choose a way, without a count.
    const int64_t allMails = db.execAndGet("SELECT IFNULL(MAX(rowid), 0) FROM tblKamoMail").getInt64();
    const std::string plus = keyMails * 3 > allMails ? "+" : "";
    return WalkMonths(db, " AND (" + plus + kSndAdd + " = ?3 OR " + plus + kRcvAdd + " = ?3)", address);
}

std::vector<MonthCount> CountMonthsOfName(SQLite::Database& db, const std::string& name) {
    using namespace MailColumn;
    return WalkMonths(db, " AND (" + kSndName + " = ?3 OR " + kRcvName + " = ?3)", name);
}

} // namespace kamo
