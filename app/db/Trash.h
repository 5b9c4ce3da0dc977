#pragma once
// The trash: deleted mail, with its attachments, header fields, kept names and original, waits in
// tables of its own (db/Schema.h, TrashTwins) until it is restored or the trash is emptied. Each
// deletion is one batch, numbered upwards and timed; 元に戻す restores the last. The caller holds
// the transaction of every change and makes the derived data right afterwards.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>

#include "common/MailRecord.h"
#include "db/Attachments.h"
#include "db/MailRows.h"

namespace kamo {

struct TrashedMail {
    int64_t batch = 0;
    std::string time; // "yyyy/mm/dd hh:mm:ss", local time of the deletion
    MailKey key;
    std::string subject;
};

// Moves the rows of tblKamoMail that `where` selects (SQL over its columns, with named parameters
// that `bind` binds; :batch is taken) into the trash as one new batch, with everything kept beside
// them. The batch's number and how many mails it took (number 0 when none).
struct TrashMove {
    int64_t batch = 0;
    int64_t mails = 0;
};
TrashMove MoveToTrash(SQLite::Database& db, const std::string& where,
                      const std::function<void(SQLite::Statement&)>& bind);

// The newest batch, 0 when the trash is empty.
int64_t LastTrashBatch(SQLite::Database& db);

// Puts a batch's mail back into tblKamoMail with everything kept beside it, byte for byte. A mail
// whose key another mail has taken since gets the next free sub-key of its key. The keys restored.
std::vector<MailKey> RestoreTrashBatch(SQLite::Database& db, int64_t batch);

// Removes every mail from the trash for good; how many.
int64_t EmptyTrash(SQLite::Database& db);

// How many mails the trash holds.
int64_t TrashedMailCount(SQLite::Database& db);

// The trash's mail, newest batch first, each batch by date and time.
std::vector<TrashedMail> ListTrash(SQLite::Database& db);

// A trashed mail in whole; nothing when the batch holds no such mail.
std::optional<MailRecord> ReadTrashedMail(SQLite::Database& db, int64_t batch, const MailKey& key);

// The read's second look (import/MailStore): whether the trash holds a mail with this header
// (date, time, addresses and subject by the archive's text equality), this body byte for byte and
// these attachments (name, type and bytes, in order).
class TrashLook {
public:
    explicit TrashLook(SQLite::Database& db);
    // `pieces` is DivideBody(mail.body), as the caller has it already.
    bool Holds(const MailRecord& mail, const BodyPieces& pieces, const std::vector<const Attachment*>& attachments);

private:
    SQLite::Statement any_; // the trash holds anything at all: most reads find it empty
    SQLite::Statement candidates_;
    SQLite::Statement attachmentCount_;
    SQLite::Statement sameAttachment_;
};

} // namespace kamo
