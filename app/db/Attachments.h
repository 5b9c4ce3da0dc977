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

// One stored attachment without its bytes: what a list shows (the media type alone, "text/plain").
struct AttachmentEntry {
    int64_t position = 0; // 1 for the mail's first attachment
    std::string name;
    std::string contentType;
    int64_t size = 0;
};

// Writes attachments with a prepared statement reused for every row; the caller holds the
// transaction of their mail.
class AttachmentWriter {
public:
    explicit AttachmentWriter(SQLite::Database& db);
    // Stores `attachment` as the `position`-th attachment of the mail with `key`.
    void Add(const MailKey& key, int64_t position, const Attachment& attachment);

private:
    SQLite::Statement insert_;
};

// Reads whole attachments, bytes included, with one prepared statement for many mails (an export).
class AttachmentReader {
public:
    // An archive without the attachment table (a copy written by an older version) has none.
    explicit AttachmentReader(SQLite::Database& db);
    // The attachments of the mail with `key`, in their order.
    std::vector<Attachment> Read(const MailKey& key);

private:
    std::optional<SQLite::Statement> select_;
};

// The attachments of the mail with `key` in their order; none when the archive has no attachment
// table (a copy opened as it was written by an older version).
std::vector<AttachmentEntry> ListAttachments(SQLite::Database& db, const MailKey& key);

// The bytes of one attachment; nothing when there is no such attachment.
std::optional<std::string> AttachmentBytes(SQLite::Database& db, const MailKey& key, int64_t position);

// At most the first `maxBytes` bytes of one attachment, read without loading the rest (a picture is
// recognised by them); nothing when there is no such attachment.
std::optional<std::string> AttachmentHead(SQLite::Database& db, const MailKey& key, int64_t position,
                                          std::size_t maxBytes);

} // namespace kamo
