#pragma once
// Storing read mail in tblKamoMail: the duplicate check, the sub-key, the insert. The statements are
// prepared once per store and reused for every mail; the caller holds the transaction.
#include <array>
#include <cstddef>
#include <string>
#include <string_view>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>

#include "common/MailRecord.h"
#include "db/Schema.h"

namespace kamo {

// A body is divided over tblKamoMail_Mail1..Mail16 in pieces of at most kBodyPieceChars
// characters (code points, never cutting a UTF-8 sequence or a CR LF pair); the sixteenth piece
// holds all the rest, however long. Joining the sixteen columns in order gives the body back.
constexpr std::size_t kBodyPieceChars = 4000;
std::array<std::string, kBodyPieces> DivideBody(std::string_view body);

class MailStore {
public:
    enum class Outcome { Stored, AlreadyStored };

    explicit MailStore(SQLite::Database& db);

    // A mail counts as already stored when a row agrees in date, time, sender address, receiver
    // address and subject (the archive's text equality, letter case ignored). A mail whose date could
    // not be read (kUnknownYmd) must also agree in its body, so that different undated mail from
    // one correspondent with one subject is not taken for a copy. A new mail gets the sub-key one
    // above the highest of the rows that share its date, time, flag and addresses (0 for the
    // first), so it never collides with them in the primary index; mail.subKey is set to it.
    Outcome Store(MailRecord& mail);

private:
    SQLite::Statement probe_;
    SQLite::Statement sameBody_;
    SQLite::Statement insert_;
};

} // namespace kamo
