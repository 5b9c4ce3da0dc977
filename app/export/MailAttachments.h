#pragma once
// A mail's attachments, as the exports write them (MIME parts after the text): read from the
// archive's attachment table (db/Attachments.h) with one prepared statement for a whole export.
#include <string>
#include <vector>

#include <SQLiteCpp/Database.h>

#include "common/MailRecord.h"
#include "db/Attachments.h"

namespace kamo {

struct MailAttachment {
    std::string fileName;    // UTF-8, as the sender named it
    std::string contentType; // e.g. "image/jpeg"; empty: application/octet-stream
    std::string data;        // the bytes
    bool picture = false;    // as the archive keeps it (IsPictureAttachment)
};

class MailAttachmentReader {
public:
    explicit MailAttachmentReader(SQLite::Database& db) : reader_(db) {}
    // The attachments of `mail`, in their order; none from an archive without the table.
    std::vector<MailAttachment> Read(const MailRecord& mail);

private:
    AttachmentReader reader_;
};

} // namespace kamo
