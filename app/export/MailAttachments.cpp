#include "export/MailAttachments.h"

#include <utility>

namespace kamo {

std::vector<MailAttachment> MailAttachmentReader::Read(const MailRecord& mail) {
    MailKey key;
    key.ymd = mail.ymd;
    key.hms = mail.hms;
    key.subKey = mail.subKey;
    key.sent = mail.sent;
    key.sndAdd = mail.sndAdd;
    key.rcvAdd = mail.rcvAdd;
    std::vector<MailAttachment> list;
    for (Attachment& a : reader_.Read(key))
        list.push_back({std::move(a.name), std::move(a.contentType), std::move(a.bytes)});
    return list;
}

} // namespace kamo
