#pragma once
// A mail row of tblKamoMail, known in one place: its columns as SQL text, the body divided over
// sixteen pieces and joined back, reading a selected row into a MailRecord and binding one for
// writing. The column names and their order are those of the table's creation (Schema.cpp).
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>

#include "common/MailRecord.h"

namespace kamo {

// The names of tblKamoMail's columns, for the SQL text of every part; the table's definition
// (Schema.cpp) is made from them. tblOriginalNames and tblTrash name their columns alike.
namespace MailColumn {
inline const std::string kYmd = "tblKamoMail_YMD";
inline const std::string kHms = "tblKamoMail_HMS";
inline const std::string kSubKey = "tblKamoMail_SubKey";
inline const std::string kFlag = "tblKamoMail_SndRcvFlag";
inline const std::string kSndName = "tblKamoMail_SndName";
inline const std::string kSndAdd = "tblKamoMail_SndAdd";
inline const std::string kRcvName = "tblKamoMail_RcvName";
inline const std::string kRcvAdd = "tblKamoMail_RcvAdd";
inline const std::string kSubject = "tblKamoMail_Subject";
inline const std::string kBodyPiece = "tblKamoMail_Mail"; // followed by the piece's number, 1 to 16
inline const std::string kInclude = "tblKamoMail_Include";
} // namespace MailColumn

// Number of body pieces (the mail table's body columns, 1 to 16).
constexpr int kBodyPieces = 16;
using BodyPieces = std::array<std::string, kBodyPieces>;

// A body is divided over the pieces in pieces of at most kBodyPieceChars characters (code points,
// never cutting a UTF-8 sequence or a CR LF pair); the sixteenth piece holds all the rest, however
// long. Joining the sixteen columns in order gives the body back.
constexpr std::size_t kBodyPieceChars = 4000;
BodyPieces DivideBody(std::string_view body);

// Every column of the row in creation order: the nine head columns (date, time, sub-key, flag,
// sender name and address, receiver name and address, subject), the sixteen body pieces, the
// include column. `prefix` goes before each name ("m." for a table alias).
constexpr int kMailColumnCount = 9 + kBodyPieces + 1;
std::string MailColumns(std::string_view prefix = {});
// The nine head columns only: what a list line needs, without the body.
constexpr int kMailHeadColumnCount = 9;
std::string MailHeadColumns(std::string_view prefix = {});
// The body pieces in order, each written as prefix + name + suffix, joined by `separator`:
// MailBodyColumns("", " = ?", ", ") gives "tblKamoMail_Mail1 = ?, tblKamoMail_Mail2 = ?, ...".
std::string MailBodyColumns(std::string_view prefix = {}, std::string_view suffix = {},
                            std::string_view separator = ", ");

// A mail as a row may hold it: the names, addresses and subject on one line (OneLine) without
// blanks at either end, the body without NUL characters. Every mail is made so before it is looked
// up or stored, so the archive holds no value its own CSV import refuses.
void MakeStorable(MailRecord& mail);
// Whether MakeStorable would leave `mail` as it is.
bool IsStorable(const MailRecord& mail);

// Reads the current row of a statement that selected MailColumns() from column `first` on.
MailRecord ReadMailRow(const SQLite::Statement& row, int first = 0);
// Reads the head of a row that selected MailHeadColumns() (or columns in the same order) from
// column `first` on.
void ReadMailHead(const SQLite::Statement& row, int first, MailKey& key, std::string& subject);
// Appends the body pieces selected (as MailBodyColumns()) from column `first` on to `body`, each
// straight from the statement's own text.
void AppendBody(const SQLite::Statement& row, int first, std::string& body);

// "INSERT INTO tblKamoMail (MailColumns()) VALUES (?, ...)".
std::string InsertMailSql();
// Binds `mail` in MailColumns() order from parameter `first` on, its body as `pieces`
// (DivideBody(mail.body)); returns the next parameter's number. The values are not copied: the
// statement is stepped while `mail` and `pieces` live, and bound anew before it is stepped again.
int BindMailRow(SQLite::Statement& st, int first, const MailRecord& mail, const BodyPieces& pieces);
// Binds the pieces alone, for statements over MailBodyColumns(); returns the next parameter's number.
// Not copied either, as BindMailRow.
int BindBody(SQLite::Statement& st, int first, const BodyPieces& pieces);

// A mail's key in `table` (tblKamoMail, or a table kept beside it under the same six key columns:
// tblAttachment, tblHeaderFields): "table_YMD = ?N AND table_HMS = ?N+1 AND ... table_RcvAdd = ?N+5",
// numbered from `first` on.
std::string MailKeyCondition(std::string_view table, int first = 1);
// The same six columns of `table` equal to those of the row of tblKamoMail in the outer query:
// "table_YMD = tblKamoMail.tblKamoMail_YMD AND ...", for a correlated subquery on a table kept
// beside the mail (compared by `table`'s own collation, so its primary index is used).
std::string MailKeyJoin(std::string_view table);
// "tblKamoMail_SndAdd = value OR tblKamoMail_RcvAdd = value": mail from or to an address, `value`
// being a parameter (":key", "?1"); MailNameIs the same over the names.
std::string MailAddressIs(std::string_view value);
std::string MailNameIs(std::string_view value);

// The six key columns of `table` in key order, each followed by `suffix` (" DESC"):
// "table_YMD, table_HMS, ..., table_RcvAdd".
std::string MailKeyColumns(std::string_view table = "tblKamoMail", std::string_view suffix = {});
// The six key columns named `left` + "_YMD" and so on equal to those named after `right`:
// MailKeyMatch("tblKamoMail", "new.tblHeaderFields") gives
// "tblKamoMail_YMD = new.tblHeaderFields_YMD AND ... AND tblKamoMail_RcvAdd = new.tblHeaderFields_RcvAdd".
// Each comparison takes the collation of the left column.
std::string MailKeyMatch(std::string_view left, std::string_view right);
// Binds `key` for MailKeyCondition(table, first); returns the next parameter's number.
int BindMailKey(SQLite::Statement& st, int first, const MailKey& key);
// The rowid of the mail `key` in tblKamoMail, or nothing when it is not there.
std::optional<int64_t> MailRowIdOf(SQLite::Database& db, const MailKey& key);

// True when the archive holds any mail.
bool HasAnyMail(SQLite::Database& db);

} // namespace kamo
