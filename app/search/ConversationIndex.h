#pragma once
// The conversation index: derived data beside the archive's tables that lets one mail's conversation
// (Conversations.h) be found by walking only the mails linked to it, never the whole archive:
//
//   tblConversationMail   each mail's subject key (ConversationKey: friend and subject with the
//                         reply prefixes set aside; NULL for a mail that joins by no subject),
//                         keyed by the mail's rowid in tblKamoMail, indexed by the key
//   tblConversationIds    the message IDs each mail names: its own, In-Reply-To and References
//                         (tblHeaderFields), indexed by the ID
//
// Keys and IDs are kept as 64 bits of themselves (ConversationIndexHash), a fraction of their text's
// size: two that collide only widen the mails a look-up reads, never its result.
//   tblConversationQueue  the rowids of mails whose rows must be (re)made
//   tblConversationInfo   the folding and layout the rows were made with; another one means a rebuild
//
// Triggers in plain SQL (any program may write the archive) take a mail's rows out when it is
// deleted or changed and queue it when it is added or changed, and queue a mail when its header
// fields come, change or go. The subject key needs the program's folding, so the queue is worked
// off by UpdateConversationIndex: after every change of the mail (RefreshDerivedData) and before
// a conversation is looked up. A missing or stale index is made again from every mail.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <SQLiteCpp/Database.h>

#include "common/WaitReporter.h"
#include "db/Schema.h"

namespace kamo {

// What the index keeps of a subject key or a message ID.
int64_t ConversationIndexHash(std::string_view text);

// The tables the index keeps, all derived.
const std::vector<DeclaredTable>& ConversationIndexTables();

// Whether the index is there, made as this program makes it, with nothing queued: only then may a
// conversation be found from it.
bool ConversationIndexComplete(SQLite::Database& db);

// Up to this many mails owed are indexed without a word.
inline constexpr int64_t kQuietConversationRows = 2000;

// The mails the index still owes: none when complete, the queued ones, or every mail when the
// index is missing or stale.
int64_t ConversationIndexOwed(SQLite::Database& db);

// Makes the index ready and complete: a missing or stale one is made from scratch, then every
// queued mail is indexed; more than kQuietConversationRows run in a WaitScope. An archive opened
// read-only is left as it is. Throws SQLite::Exception.
void UpdateConversationIndex(SQLite::Database& db, WaitReporter& wait);

// One piece of the same work, for a window that makes the index while the user does nothing: a
// missing or stale index is laid down (empty, every mail queued) as a piece of its own, else at
// most `rows` queued mails are indexed, each transaction whole, so that a piece broken off leaves
// a sound index with the rest still queued. True when the index is complete after it; a read-only
// archive is left as it is.
bool MakeConversationIndexPiece(SQLite::Database& db, int64_t rows);

// Removes the index, its queue and its triggers. The mail is untouched.
void DropConversationIndex(SQLite::Database& db);

} // namespace kamo
