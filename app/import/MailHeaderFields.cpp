#include "import/MailHeaderFields.h"

#include "mime/MailAddresses.h"
#include "mime/MailCharsets.h"
#include "mime/MimeHeaders.h"

namespace kamo {

HeaderFields ReadHeaderFields(std::string_view header) {
    HeaderFields fields;
    if (const auto id = HeaderField(header, "Message-ID")) {
        const auto ids = MessageIds(*id);
        if (!ids.empty())
            fields.messageId = ids.front();
    }
    if (const auto v = HeaderField(header, "In-Reply-To"))
        fields.inReplyTo = JoinedMessageIds(*v);
    if (const auto v = HeaderField(header, "References"))
        fields.references = JoinedMessageIds(*v);
    if (const auto v = HeaderField(header, "Cc"))
        fields.cc = SplitAddressList(DecodeUndeclaredText(*v));
    if (const auto v = HeaderField(header, "Reply-To"))
        fields.replyTo = SplitAddressList(DecodeUndeclaredText(*v));
    return fields;
}

} // namespace kamo
