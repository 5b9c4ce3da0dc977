#pragma once
// A mail's attachments, as the exports write them (MIME parts after the text): read from the
// archive's attachment table (db/Attachments.h) with one prepared statement for a whole export.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>

#include "common/MailRecord.h"

namespace kamo {

struct MailAttachment {
    std::string fileName;    // UTF-8, as the sender named it
    std::string contentType; // e.g. "image/jpeg"; empty: application/octet-stream
    std::string data;        // the bytes
};

class MailAttachmentReader {
public:
    // An archive without the attachment table (a copy written by an older version) has none.
    explicit MailAttachmentReader(SQLite::Database& db);
    // The attachments of `mail`, in their order.
    std::vector<MailAttachment> Read(const MailRecord& mail);

private:
    std::optional<SQLite::Statement> select_;
};

} // namespace kamo
