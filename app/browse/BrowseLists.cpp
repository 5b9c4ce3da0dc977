#include "browse/BrowseLists.h"

#include <stdexcept>

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

std::vector<int64_t> RowIds(SQLite::Statement& st) {
    std::vector<int64_t> ids;
    while (st.executeStep())
        ids.push_back(st.getColumn(0).getInt64());
    return ids;
}

std::string_view TrimBlanks(std::string_view s) {
    while (!s.empty() && s.front() == ' ')
        s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ')
        s.remove_suffix(1);
    return s;
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

SubjectRows QuerySubjectRows(SQLite::Database& db, ViewMode mode, const std::string& key) {
    // Each half walks its own (key, order columns) index; SQLite merges the two ordered halves.
    const char* sql = nullptr;
    switch (mode) {
    case ViewMode::Address:
        sql = "SELECT rowid, tblKamoMail_YMD, tblKamoMail_HMS, tblKamoMail_SubKey FROM tblKamoMail"
              " WHERE tblKamoMail_SndAdd = ?1"
              " UNION SELECT rowid, tblKamoMail_YMD, tblKamoMail_HMS, tblKamoMail_SubKey FROM tblKamoMail"
              " WHERE tblKamoMail_RcvAdd = ?1"
              " ORDER BY 2 ASC, 3 ASC, 4 ASC";
        break;
    case ViewMode::Name:
        sql = "SELECT rowid, tblKamoMail_YMD, tblKamoMail_SubKey, tblKamoMail_HMS FROM tblKamoMail"
              " WHERE tblKamoMail_SndName = ?1"
              " UNION SELECT rowid, tblKamoMail_YMD, tblKamoMail_SubKey, tblKamoMail_HMS FROM tblKamoMail"
              " WHERE tblKamoMail_RcvName = ?1"
              " ORDER BY 2 ASC, 3 ASC, 4 ASC";
        break;
    case ViewMode::Date:
        sql = "SELECT rowid FROM tblKamoMail WHERE tblKamoMail_YMD = ?1"
              " ORDER BY tblKamoMail_HMS ASC, tblKamoMail_SubKey ASC";
        break;
    case ViewMode::Filter:
        throw std::invalid_argument("filter mode lists by filter number");
    }
    SQLite::Statement st(db, sql);
    st.bind(1, key);
    return {SubjectSource::Mail, RowIds(st)};
}

SubjectRows QueryFilterSubjectRows(SQLite::Database& db, int64_t filterNo) {
    SQLite::Statement st(db, "SELECT rowid FROM tblFilterData WHERE tblFilterDt_No = ?1"
                             " ORDER BY tblFilterDt_Date ASC, tblFilterDt_Time ASC");
    st.bind(1, filterNo);
    return {SubjectSource::FilterData, RowIds(st)};
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
        s.append("　送　受取人：").append(TrimBlanks(rcvName));
    else
        s.append("受　　差出人：").append(TrimBlanks(sndName));
    s.append(" ");
    size_t width = Cp932Length(s);
    if (width <= kSubjectColumn)
        s.append(kSubjectColumn - width, ' ');
    s.append(TrimBlanks(subject));
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
