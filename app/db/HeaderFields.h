#pragma once
// The header fields of a mail that other mail programs need and tblKamoMail has no column for
// (tblHeaderFields, Schema.h): its own Message-ID, In-Reply-To and References, so that replies
// thread with what they answer, and Cc and Reply-To. Kept when the mail is read, under the mail's
// key; they go with the mail when it is deleted or rekeyed (the archive's triggers). An archive
// without the table (a copy written by an older version) has none.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>

#include "common/MailRecord.h"

namespace kamo {

struct HeaderFields {
    std::string messageId;              // "<id@host>", or empty
    std::string inReplyTo;              // message IDs separated by single blanks
    std::string references;             // message IDs separated by single blanks, oldest first
    std::vector<MailParty> cc, replyTo; // in the order of the field
    bool Empty() const {
        return messageId.empty() && inReplyTo.empty() && references.empty() && cc.empty() && replyTo.empty();
    }
    bool operator==(const HeaderFields&) const = default;
};

// A message ID another program takes: "<left@right>", printable ASCII without blanks or further
// angle brackets, at most 250 characters (so a header line with it stays far within 998).
bool IsMessageId(std::string_view id);
// The message IDs in a field's value, in their order (comments and anything else left out).
std::vector<std::string> MessageIds(std::string_view value);
// MessageIds joined by single blanks.
std::string JoinedMessageIds(std::string_view value);

// How an address list is kept in its column: one mailbox a line, the address, a tab, the name.
// Line breaks and tabs in a name or address become blanks.
std::string PartiesText(const std::vector<MailParty>& parties);
std::vector<MailParty> PartiesOf(std::string_view text);

// Writes the fields of mails with one prepared statement; the caller holds the transaction of
// their mail. A mail with no fields to keep gets no row.
class HeaderFieldWriter {
public:
    explicit HeaderFieldWriter(SQLite::Database& db);
    // Keeps `fields` for the mail with `key`, replacing what was kept for it.
    void Put(const MailKey& key, const HeaderFields& fields);
    // Keeps `fields` for the mail with `key` when nothing is kept for it yet.
    void Keep(const MailKey& key, const HeaderFields& fields);
    // Whether what is kept for the mail with `key` is what Put would write for `fields`, byte for
    // byte (nothing kept for empty ones).
    bool Holds(const MailKey& key, const HeaderFields& fields);

private:
    void Run(SQLite::Statement& st, const MailKey& key, const HeaderFields& fields);
    SQLite::Statement insert_;
    SQLite::Statement insertNew_;
    SQLite::Statement drop_;
    SQLite::Statement select_;
};

// Reads the fields of mails with one prepared statement (an export).
class HeaderFieldReader {
public:
    explicit HeaderFieldReader(SQLite::Database& db);
    // The kept fields of the mail with `key`; empty ones when none were kept.
    HeaderFields Read(const MailKey& key);
    // The Message-IDs kept for more than one mail.
    std::vector<std::string> RepeatedMessageIds();

private:
    SQLite::Database& db_;
    std::optional<SQLite::Statement> select_;
};

} // namespace kamo
