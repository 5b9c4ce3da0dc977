#include "export/MailAttachments.h"

#include <utility>

namespace kamo {

std::vector<MailAttachment> MailAttachmentReader::Read(const MailRecord& mail) {
    std::vector<MailAttachment> list;
    for (StoredAttachment& a : reader_.Read(KeyOf(mail)))
        list.push_back({std::move(a.name), std::move(a.contentType), std::move(a.bytes), a.picture});
    return list;
}

} // namespace kamo
