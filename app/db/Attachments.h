#pragma once
// The attachments of stored mail (tblAttachment, Schema.h): written with their mail when it is read,
// listed and read back for the mail display. A mail's attachments go with it when it is deleted
// (the archive's trigger), so no command has to remember them.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>

#include "common/MailRecord.h"

namespace kamo {

// One attachment as read from a mail: its file name (UTF-8, decoded; may be empty), its content
// type in lower case ("image/jpeg"; a text with the charset it came in, "text/plain;
// charset=shift_jis", see StoredContentType) and its bytes.
struct Attachment {
    std::string name;
    std::string contentType;
    std::string bytes;
};

// The content type an attachment is stored with: the media type, and for a text (text/...) the
// charset its part declared, as "text/plain; charset=shift_jis" (without it the bytes of a text
// cannot be read again). Archives written before kept the media type alone, which reads the same.
std::string StoredContentType(const std::string& mediaType, const std::string& charset);
// The media type of a stored content type, lower case ("text/plain").
std::string MediaTypeOf(std::string_view stored);
// The charset of a stored content type; empty when none was kept.
std::string CharsetOf(std::string_view stored);

// One stored attachment without its bytes: what a list shows (the media type alone, "text/plain"),
// and whether it is a picture (IsPictureAttachment, as stored with it).
struct AttachmentEntry {
    int64_t position = 0; // 1 for the mail's first attachment
    std::string name;
    std::string contentType;
    int64_t size = 0;
    bool picture = false;
};

// What makes an attachment a picture, decided once when its row is written and kept with it
// (tblAttachment_Picture), so that search's has:picture, the mail display and the exports agree.

// Bytes of an attachment's start read to recognise a picture by its content.
constexpr std::size_t kPictureHeadBytes = 32;

// The picture formats shown: JPEG, PNG, GIF and BMP, by their first bytes. Empty when `head` starts
// none of them.
std::string PictureFormatOf(std::string_view head);

// Whether the attachment says it is a picture (its media type or its name's extension).
bool NamedAsPicture(std::string_view name, std::string_view contentType);
inline bool NamedAsPicture(const AttachmentEntry& entry) {
    return NamedAsPicture(entry.name, entry.contentType);
}

// Whether an attachment is a picture: its content (`head`, its first bytes) is a picture format, or it
// says it is one (then a content that does not decode shows the note).
bool IsPictureAttachment(std::string_view name, std::string_view contentType, std::string_view head);
inline bool IsPictureAttachment(const AttachmentEntry& entry, std::string_view head) {
    return IsPictureAttachment(entry.name, entry.contentType, head);
}

// Writes attachments with a prepared statement reused for every row, each with its picture mark; the
// caller holds the transaction of their mail.
class AttachmentWriter {
public:
    explicit AttachmentWriter(SQLite::Database& db);
    // Stores `attachment` as the `position`-th attachment of the mail with `key`.
    void Add(const MailKey& key, int64_t position, const Attachment& attachment);

private:
    SQLite::Statement insert_;
};

// One stored attachment, bytes included, with its picture mark.
struct StoredAttachment : Attachment {
    bool picture = false;
};

// Reads whole attachments, bytes included, with one prepared statement for many mails (an export).
class AttachmentReader {
public:
    // An archive without the attachment table (a copy written by an older version) has none.
    explicit AttachmentReader(SQLite::Database& db);
    // The attachments of the mail with `key`, in their order.
    std::vector<StoredAttachment> Read(const MailKey& key);

private:
    std::optional<SQLite::Statement> select_;
    bool marked_ = false; // the archive keeps picture marks (else they are decided as read)
};

// The attachments of the mail with `key` in their order; none when the archive has no attachment
// table (a copy opened as it was written by an older version). Their picture marks are read from an
// index, never from the rows (which would load the bytes).
std::vector<AttachmentEntry> ListAttachments(SQLite::Database& db, const MailKey& key);

// The bytes of one attachment; nothing when there is no such attachment.
std::optional<std::string> AttachmentBytes(SQLite::Database& db, const MailKey& key, int64_t position);

// At most the first `maxBytes` bytes of one attachment, read without loading the rest (a picture is
// recognised by them); nothing when there is no such attachment.
std::optional<std::string> AttachmentHead(SQLite::Database& db, const MailKey& key, int64_t position,
                                          std::size_t maxBytes);

// Whether the attachment table of `db` keeps picture marks (an archive written by an older version
// gets them when it is opened: AddPictureMarks).
bool HasPictureMarks(SQLite::Database& db);

// Gives the attachment table and its trash twin the picture mark where they lack it, and marks every
// row they hold (in the caller's transaction, or one of its own). Writes nothing, and returns false,
// when both have it.
bool AddPictureMarks(SQLite::Database& db);

// Marks the rows that have no picture mark yet (rows brought in without one, as by a CSV import of an
// older export), in the caller's transaction; returns how many it marked.
int64_t MarkUnmarkedPictures(SQLite::Database& db);

} // namespace kamo
