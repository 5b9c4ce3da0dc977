#pragma once
// Conversations: the mails of one exchange, joined
//   - by their message IDs: a mail joins every mail its In-Reply-To or References names, and every
//     mail that names the same IDs, so two replies to one mail join even when that mail is not in
//     the archive (tblHeaderFields, db/HeaderFields.h);
//   - a mail with neither In-Reply-To nor References (PostPet wrote none) by its friend (the other
//     party: the receiver of a sent mail, the sender of a received one) and its subject with the
//     reply and forward prefixes set aside (ConversationSubject), when the conversation's previous
//     mail with that friend and subject is at most 60 days older.
// The conversations of one mail or of a list's mails are found through the conversation index
// (ConversationIndex.h) by walking only the mails linked to them; the whole archive's are read in
// one pass.
#include <cstdint>
#include <exception>
#include <string>
#include <string_view>
#include <vector>

#include <SQLiteCpp/Database.h>

#include "common/WaitReporter.h"

namespace kamo {

inline constexpr int64_t kConversationGapDays = 60;

// A subject as conversations compare it: "Re:", "RE:", "Fw:", "Fwd:", "返信:", "転送:" (with ":" or
// "："), numbered forms such as "Re[2]:" or "Re^2:", repeated, and the blanks around them set aside;
// folded as the search folds (letter case and width do not matter).
std::string ConversationSubject(std::string_view subject);

// What joining needs of one mail.
struct ConversationMail {
    int64_t rowId = 0;
    std::string ymd, hms;
    bool sent = false;
    std::string friendAddress;
    std::string subject;
    std::string messageId;            // its own, or empty
    std::vector<std::string> parents; // the IDs of In-Reply-To and References
};

// What joins the mail by subject: its friend and ConversationSubject; empty for a mail that joins
// none that way (no date, or nothing left of its subject).
std::string ConversationKey(const ConversationMail& mail);

// For each mail of `mails` (in date order, oldest first), the position in `mails` of the first mail
// of its conversation.
std::vector<size_t> JoinConversations(const std::vector<ConversationMail>& mails);

// The mails of `rows` (every mail of the archive when null) with their kept header fields; in date
// order (as JoinConversations takes them) when asked, else in no particular order.
std::vector<ConversationMail> ReadConversationMails(SQLite::Database& db, const std::vector<int64_t>* rows,
                                                    bool dateOrder);

// What a look-up does with a conversation index that still owes mails (ConversationIndexOwed):
// makes it whole first (the terminal), or only when few are owed and otherwise reads the archive
// whole (the window, whose idle time makes the index a piece at a time).
enum class OwedIndex { Make, MakeWhenFew };

struct Conversation {
    std::string threadId;      // as Conversations::ThreadOf
    std::vector<int64_t> rows; // oldest first; empty when the mail is not in the archive
};

// The conversation of the mail `rowId`, the same as Conversations gives. The conversation index is
// brought up to date first (UpdateConversationIndex: a missing one is made from every mail once);
// then only the mails that share a message ID or a subject key with the conversation are read and
// joined. Without a complete index (an archive opened read-only) the whole archive is read.
Conversation ConversationOf(SQLite::Database& db, int64_t rowId, WaitReporter& wait, OwedIndex owed = OwedIndex::Make);

// Thrown by a reading of conversations that was asked to stop.
struct ConversationsStopped : std::exception {
    const char* what() const noexcept override { return "conversations: stopped"; }
};

// Mails in their conversations, as the archive's joining puts them.
class Conversations {
public:
    // Every mail of the archive: read in one pass over the mail and its kept header fields.
    explicit Conversations(SQLite::Database& db);
    // The conversations of the mails `rows` (a list's), the same as the whole archive's reading gives
    // them: the conversation index is brought up to date first, then only the mails that share a
    // message ID or a subject key with them, directly or through others, are read and joined (a set
    // closed under both links holds whole conversations and each subject key's whole run). Without a
    // complete index (an archive opened read-only, or one that owes much with MakeWhenFew) the whole
    // archive is read, and so it is for a list that holds much of the archive. Between its steps
    // it asks wait.CancelRequested() and throws ConversationsStopped when asked to stop.
    Conversations(SQLite::Database& db, const std::vector<int64_t>& rows, WaitReporter& wait,
                  OwedIndex owed = OwedIndex::Make);

    // The conversation's identifier: the same for every mail of it, and from run to run while its
    // first mail stays (16 hexadecimal digits made from that mail's key).
    std::string ThreadOf(int64_t rowId) const;
    // The mails of the conversation `rowId` belongs to, oldest first (just `rowId` for a mail alone).
    std::vector<int64_t> MailsWith(int64_t rowId) const;
    size_t SizeOf(int64_t rowId) const;
    // The message ID kept for the mail; empty when none.
    const std::string& MessageIdOf(int64_t rowId) const;

private:
    void Join(std::vector<ConversationMail> mails);
    // The position of the mail `rowId`; npos when it was not read.
    size_t PositionOf(int64_t rowId) const;

    // Kept flat, a few words a mail, so that a million mails cost no node each.
    struct Entry {
        size_t first = 0;  // position of the conversation's first mail
        size_t next = 0;   // position of the conversation's next mail; npos after its last
        size_t count = 0;  // of the first mail only: the conversation's mails
        uint64_t hash = 0; // of the first mail only: what its identifier is written from
        std::string messageId;
    };
    std::vector<int64_t> rows_;                      // date order
    std::vector<Entry> entries_;                     // by position
    std::vector<std::pair<int64_t, size_t>> sorted_; // rowid and position, by rowid
};

// One line of a list grouped by conversation: its position in the list, and 0 for the line that
// heads its conversation's group or 1 for a later one, indented under it.
struct ThreadedLine {
    size_t line = 0;
    int depth = 0;

    bool operator==(const ThreadedLine&) const = default;
};

// A list's lines grouped by conversation: each conversation where its first line stands, its lines
// in the list's order, the later ones one step in. `threadOfLine` names each line's conversation
// (Conversations::ThreadOf) in the list's order; a line with an empty name stands alone.
std::vector<ThreadedLine> ThreadedOrder(const std::vector<std::string>& threadOfLine);

} // namespace kamo
