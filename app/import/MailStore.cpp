#include "import/MailStore.h"

#include "import/MailDecode.h"

#include <algorithm>
#include <sqlite3.h>

namespace kamo {
namespace {

std::string BodyColumns(const std::string& separator, const std::string& suffix) {
    std::string s;
    for (int i = 1; i <= kBodyPieces; ++i)
        s += separator + "tblKamoMail_Mail" + std::to_string(i) + suffix;
    return s;
}

// One look-up answers both questions: is there a copy, and which sub-keys are taken. The unary "+"
// keeps the planner on the primary index (date and time are nearly unique); the single-column
// address indexes would make every look-up scan all mail of one correspondent.
const std::string kProbeSql = "SELECT MAX(CASE WHEN tblKamoMail_Subject = ?1 THEN 1 ELSE 0 END), "
                              "MAX(CASE WHEN tblKamoMail_SndRcvFlag = ?2 THEN tblKamoMail_SubKey END) "
                              "FROM tblKamoMail WHERE ( tblKamoMail_YMD = ?3 AND tblKamoMail_HMS = ?4 AND "
                              "+tblKamoMail_SndAdd = ?5 AND +tblKamoMail_RcvAdd = ?6 )";

std::string SameBodySql() {
    std::string sql = "SELECT COUNT(*) FROM tblKamoMail WHERE ( tblKamoMail_YMD = ? AND tblKamoMail_HMS = ? AND "
                      "+tblKamoMail_SndAdd = ? AND +tblKamoMail_RcvAdd = ? AND +tblKamoMail_Subject = ?";
    for (int i = 1; i <= kBodyPieces; ++i)
        sql += " AND tblKamoMail_Mail" + std::to_string(i) + " = ? COLLATE BINARY";
    return sql + " )";
}

std::string InsertSql() {
    std::string sql = "INSERT INTO tblKamoMail (tblKamoMail_YMD, tblKamoMail_HMS, tblKamoMail_SubKey, "
                      "tblKamoMail_SndRcvFlag, tblKamoMail_SndName, tblKamoMail_SndAdd, tblKamoMail_RcvName, "
                      "tblKamoMail_RcvAdd, tblKamoMail_Subject" +
                      BodyColumns(", ", "") + ", tblKamoMail_Include ) VALUES( ?, ?, ?, ?, ?, ?, ?, ?, ?";
    for (int i = 0; i < kBodyPieces; ++i)
        sql += ", ?";
    return sql + ", ? )";
}

bool IsContinuationByte(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

} // namespace

std::array<std::string, kBodyPieces> DivideBody(std::string_view body) {
    std::array<std::string, kBodyPieces> pieces;
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

std::string BodyCutNote(std::size_t originalBytes) {
    return "\r\n\r\n（本文が長すぎるため、ここで切りました。元の長さ " + std::to_string(originalBytes) + " バイト）";
}

bool CutBody(std::string& body, std::size_t maxBytes) {
    if (body.size() <= maxBytes)
        return false;
    const std::string note = BodyCutNote(body.size());
    std::size_t keep = maxBytes > note.size() ? maxBytes - note.size() : 0;
    while (keep > 0 && IsContinuationByte(body[keep]))
        --keep; // never half a character
    body.resize(keep);
    body += note;
    return true;
}

MailStore::MailStore(SQLite::Database& db)
    : db_(db), probe_(db, kProbeSql), sameBody_(db, SameBodySql()), insert_(db, InsertSql()) {}

MailStore::Outcome MailStore::Store(MailRecord& mail) {
    probe_.reset();
    probe_.bind(1, mail.subject);
    probe_.bind(2, mail.sent ? 1 : 0);
    probe_.bind(3, mail.ymd);
    probe_.bind(4, mail.hms);
    probe_.bind(5, mail.sndAdd);
    probe_.bind(6, mail.rcvAdd);
    bool sameHeader = false;
    int64_t subKey = 0;
    if (probe_.executeStep()) {
        sameHeader = !probe_.getColumn(0).isNull() && probe_.getColumn(0).getInt() == 1;
        if (!probe_.getColumn(1).isNull())
            subKey = probe_.getColumn(1).getInt64() + 1;
    }
    probe_.reset();

    // What the row may hold besides the body; the rest of the connection's limit is the body's.
    const std::size_t limit =
        static_cast<std::size_t>(std::max(0, sqlite3_limit(db_.getHandle(), SQLITE_LIMIT_LENGTH, -1)));
    std::size_t others = 1024;
    for (const auto* v :
         {&mail.ymd, &mail.hms, &mail.sndName, &mail.sndAdd, &mail.rcvName, &mail.rcvAdd, &mail.subject})
        others += v->size() + 16;
    const bool cut = CutBody(mail.body, limit > others ? limit - others : 0);

    const auto pieces = DivideBody(mail.body);
    if (sameHeader) {
        sameBody_.reset();
        int n = 1;
        for (const auto* v : {&mail.ymd, &mail.hms, &mail.sndAdd, &mail.rcvAdd, &mail.subject})
            sameBody_.bind(n++, *v);
        for (const auto& piece : pieces)
            sameBody_.bind(n++, piece);
        const bool found = sameBody_.executeStep() && sameBody_.getColumn(0).getInt64() > 0;
        sameBody_.reset();
        if (found)
            return Outcome::AlreadyStored;
    }

    mail.subKey = subKey;
    insert_.reset();
    int n = 1;
    insert_.bind(n++, mail.ymd);
    insert_.bind(n++, mail.hms);
    insert_.bind(n++, mail.subKey);
    insert_.bind(n++, mail.sent ? 1 : 0);
    insert_.bind(n++, mail.sndName);
    insert_.bind(n++, mail.sndAdd);
    insert_.bind(n++, mail.rcvName);
    insert_.bind(n++, mail.rcvAdd);
    insert_.bind(n++, mail.subject);
    for (const auto& piece : pieces)
        insert_.bind(n++, piece);
    insert_.bind(n++, mail.include);
    insert_.exec();
    insert_.reset();
    return cut ? Outcome::StoredCut : Outcome::Stored;
}

} // namespace kamo
