#include "export/MailAttachments.h"

namespace kamo {

std::vector<MailAttachment> MailAttachments(SQLite::Database&, int64_t) {
    return {};
}

} // namespace kamo
