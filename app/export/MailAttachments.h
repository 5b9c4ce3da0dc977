#pragma once
// A mail's attachments, as the exports write them (MIME parts after the text).
//
// The hook for the attachment table: the archive keeps no attachments yet, so MailAttachments gives
// none and every mail goes out as a single text part. When the archive learns to keep them, this
// function is the one place to read them; the message writer already turns a non-empty list into a
// multipart/mixed message (MailMessage.h).
#include <cstdint>
#include <string>
#include <vector>

#include <SQLiteCpp/Database.h>

namespace kamo {

struct MailAttachment {
    std::string fileName;    // UTF-8, as the sender named it
    std::string contentType; // e.g. "image/jpeg"; empty: application/octet-stream
    std::string data;        // the bytes
};

// The attachments of the mail at `rowId` of tblKamoMail. Today: none.
std::vector<MailAttachment> MailAttachments(SQLite::Database& db, int64_t rowId);

} // namespace kamo
