#include "db/MailRows.h"

#include <stdexcept>
#include <vector>

#include "common/AsciiText.h"
#include "db/Schema.h"

namespace kamo {
namespace {

// Places in a row selected as MailColumns(), counted from its first column.
constexpr int kSubKeyAt = 2;
constexpr int kFlagAt = 3;
constexpr int kSubjectAt = 8;
constexpr int kBodyAt = 9;
constexpr int kIncludeAt = kBodyAt + kBodyPieces;

// The names and their order come from the table's definition; the places above must agree with it.
const std::vector<ColumnDef>& Columns() {
    static const std::vector<ColumnDef>& columns = []() -> const std::vector<ColumnDef>& {
        for (const auto& table : ArchiveTables())
            if (table.name == "tblKamoMail") {
                if (table.columns.size() != static_cast<std::size_t>(kMailColumnCount))
                    throw std::logic_error("tblKamoMail's columns do not match its row layout");
                return table.columns;
            }
        throw std::logic_error("tblKamoMail is not defined");
    }();
    return columns;
}

std::string List(int from, int count, std::string_view prefix, std::string_view suffix, std::string_view separator) {
    std::string sql;
    for (int i = from; i < from + count; ++i) {
        if (i > from)
            sql += separator;
        sql += prefix;
        sql += Columns()[static_cast<std::size_t>(i)].name;
        sql += suffix;
    }
    return sql;
}

bool IsContinuationByte(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// MailRecord and MailKey name the head fields alike; one reader for both keeps the places in one spot.
template <class Head> void ReadHead(const SQLite::Statement& row, int first, Head& head, std::string& subject) {
    head.ymd = row.getColumn(first).getString();
    head.hms = row.getColumn(first + 1).getString();
    head.subKey = row.getColumn(first + kSubKeyAt).getInt64();
    head.sent = row.getColumn(first + kFlagAt).getInt64() != 0;
    head.sndName = row.getColumn(first + 4).getString();
    head.sndAdd = row.getColumn(first + 5).getString();
    head.rcvName = row.getColumn(first + 6).getString();
    head.rcvAdd = row.getColumn(first + 7).getString();
    subject = row.getColumn(first + kSubjectAt).getString();
}

} // namespace

namespace {
std::string StorableHead(const std::string& value) {
    return std::string(TrimAscii(OneLine(value), kSpace));
}
} // namespace

void MakeStorable(MailRecord& mail) {
    for (std::string* v : {&mail.sndName, &mail.sndAdd, &mail.rcvName, &mail.rcvAdd, &mail.subject})
        *v = StorableHead(*v);
    std::erase(mail.body, '\0');
}

bool IsStorable(const MailRecord& mail) {
    for (const std::string* v : {&mail.sndName, &mail.sndAdd, &mail.rcvName, &mail.rcvAdd, &mail.subject})
        if (StorableHead(*v) != *v)
            return false;
    return mail.body.find('\0') == std::string::npos;
}

BodyPieces DivideBody(std::string_view body) {
    BodyPieces pieces;
    std::size_t pos = 0;
    for (int i = 0; i < kBodyPieces - 1 && pos < body.size(); ++i) {
        std::size_t end = pos;
        for (std::size_t chars = 0; end < body.size() && chars < kBodyPieceChars; ++chars) {
            ++end;
            while (end < body.size() && IsContinuationByte(body[end]))
                ++end;
        }
        if (end < body.size() && end > pos + 1 && body[end - 1] == '\r' && body[end] == '\n')
            --end; // keep CR LF together
        pieces[static_cast<std::size_t>(i)].assign(body.substr(pos, end - pos));
        pos = end;
    }
    if (pos < body.size())
        pieces[kBodyPieces - 1].assign(body.substr(pos));
    return pieces;
}

std::string MailColumns(std::string_view prefix) {
    return List(0, kMailColumnCount, prefix, {}, ", ");
}

std::string MailHeadColumns(std::string_view prefix) {
    return List(0, kMailHeadColumnCount, prefix, {}, ", ");
}

std::string MailBodyColumns(std::string_view prefix, std::string_view suffix, std::string_view separator) {
    return List(kBodyAt, kBodyPieces, prefix, suffix, separator);
}

MailRecord ReadMailRow(const SQLite::Statement& row, int first) {
    MailRecord mail;
    ReadHead(row, first, mail, mail.subject);
    AppendBody(row, first + kBodyAt, mail.body);
    mail.include = row.getColumn(first + kIncludeAt).getString();
    return mail;
}

void ReadMailHead(const SQLite::Statement& row, int first, MailKey& key, std::string& subject) {
    ReadHead(row, first, key, subject);
}

void AppendBody(const SQLite::Statement& row, int first, std::string& body) {
    // The pieces are read in place and the body grown once; a body of sixteen full pieces would
    // otherwise be reallocated on the way.
    std::array<std::string_view, kBodyPieces> pieces;
    std::size_t total = body.size();
    for (int p = 0; p < kBodyPieces; ++p) {
        const SQLite::Column column = row.getColumn(first + p);
        const char* text = column.getText();
        pieces[static_cast<std::size_t>(p)] = {text, static_cast<std::size_t>(column.getBytes())};
        total += pieces[static_cast<std::size_t>(p)].size();
    }
    body.reserve(total);
    for (const auto piece : pieces)
        body += piece;
}

std::string InsertMailSql() {
    std::string sql = "INSERT INTO tblKamoMail (" + MailColumns() + ") VALUES (?";
    for (int i = 1; i < kMailColumnCount; ++i)
        sql += ", ?";
    return sql + ")";
}

int BindMailRow(SQLite::Statement& st, int first, const MailRecord& mail, const BodyPieces& pieces) {
    int n = first;
    st.bindNoCopy(n++, mail.ymd);
    st.bindNoCopy(n++, mail.hms);
    st.bind(n++, mail.subKey);
    st.bind(n++, mail.sent ? 1 : 0);
    for (const std::string* v : {&mail.sndName, &mail.sndAdd, &mail.rcvName, &mail.rcvAdd, &mail.subject})
        st.bindNoCopy(n++, *v);
    n = BindBody(st, n, pieces);
    st.bindNoCopy(n++, mail.include);
    return n;
}

int BindBody(SQLite::Statement& st, int first, const BodyPieces& pieces) {
    int n = first;
    for (const auto& piece : pieces)
        st.bindNoCopy(n++, piece);
    return n;
}

// The key columns' names after the table's, in key order.
constexpr const char* kKeySuffixes[] = {"_YMD", "_HMS", "_SubKey", "_SndRcvFlag", "_SndAdd", "_RcvAdd"};

namespace {
std::string EitherIs(const std::string& sender, const std::string& receiver, std::string_view value) {
    std::string sql = sender + " = ";
    sql.append(value).append(" OR ").append(receiver).append(" = ").append(value);
    return sql;
}
} // namespace

std::string MailAddressIs(std::string_view value) {
    return EitherIs(MailColumn::kSndAdd, MailColumn::kRcvAdd, value);
}

std::string MailNameIs(std::string_view value) {
    return EitherIs(MailColumn::kSndName, MailColumn::kRcvName, value);
}

std::string MailKeyColumns(std::string_view table, std::string_view suffix) {
    std::string sql;
    for (const char* column : kKeySuffixes) {
        if (!sql.empty())
            sql += ", ";
        sql.append(table).append(column).append(suffix);
    }
    return sql;
}

std::string MailKeyCondition(std::string_view table, int first) {
    std::string sql;
    int n = first;
    for (const char* column : kKeySuffixes) {
        if (n != first)
            sql += " AND ";
        sql.append(table).append(column).append(" = ?").append(std::to_string(n++));
    }
    return sql;
}

std::string MailKeyMatch(std::string_view left, std::string_view right) {
    std::string sql;
    for (const char* column : kKeySuffixes) {
        if (!sql.empty())
            sql += " AND ";
        sql.append(left).append(column).append(" = ").append(right).append(column);
    }
    return sql;
}

std::string MailKeyJoin(std::string_view table) {
    return MailKeyMatch(table, "tblKamoMail.tblKamoMail");
}

int BindMailKey(SQLite::Statement& st, int first, const MailKey& key) {
    st.bind(first, key.ymd);
    st.bind(first + 1, key.hms);
    st.bind(first + 2, key.subKey);
    st.bind(first + 3, key.sent ? 1 : 0);
    st.bind(first + 4, key.sndAdd);
    st.bind(first + 5, key.rcvAdd);
    return first + 6;
}

std::optional<int64_t> MailRowIdOf(SQLite::Database& db, const MailKey& key) {
    SQLite::Statement st(db, "SELECT rowid FROM tblKamoMail WHERE " + MailKeyCondition("tblKamoMail"));
    BindMailKey(st, 1, key);
    if (!st.executeStep())
        return std::nullopt;
    return st.getColumn(0).getInt64();
}

bool HasAnyMail(SQLite::Database& db) {
    return db.execAndGet("SELECT EXISTS (SELECT 1 FROM tblKamoMail)").getInt() != 0;
}

} // namespace kamo
