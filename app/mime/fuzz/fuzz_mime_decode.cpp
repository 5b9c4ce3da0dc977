// libFuzzer target for the wire formats a read decodes from every mail: any bytes, as a whole
// message, end cleanly (no crash, no sanitizer report, no exception other than running out of
// memory), and what comes out is UTF-8 the archive can store.
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>
#include <string_view>

#include <unicode/utf8.h>

#include "mime/EncodedWords.h"
#include "mime/HtmlText.h"
#include "mime/MailAddresses.h"
#include "mime/MailCharsets.h"
#include "mime/MailDates.h"
#include "mime/MimeBody.h"
#include "mime/MimeHeaders.h"

namespace {

void RequireUtf8(std::string_view what, const std::string& text) {
    int32_t i = 0;
    const auto length = static_cast<int32_t>(text.size());
    while (i < length) {
        UChar32 c = 0;
        U8_NEXT(text.data(), i, length, c);
        if (c < 0) {
            std::fprintf(stderr, "fuzz_mime_decode: %.*s is not UTF-8 at byte %d\n", static_cast<int>(what.size()),
                         what.data(), static_cast<int>(i));
            std::abort();
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view message(reinterpret_cast<const char*>(data), size);
    try {
        const kamo::EntityParts parts = kamo::SplitEntity(message);
        const kamo::MimeContent content = kamo::ReadMimeContent(parts.header, parts.body, true);
        RequireUtf8("the text", content.text);
        RequireUtf8("the HTML", content.html);
        for (const auto& attachment : content.attachments)
            RequireUtf8("an attachment's name", attachment.name);
        for (const char* name : {"Subject", "From", "To", "Cc", "Date"}) {
            const auto field = kamo::HeaderField(parts.header, name);
            if (!field)
                continue;
            const std::string text = kamo::DecodeMailText(*field);
            RequireUtf8("a decoded field", text);
            RequireUtf8("the encoded words", kamo::DecodeEncodedWords(text));
            for (const auto& party : kamo::SplitAddressList(text)) {
                RequireUtf8("a name", party.name);
                RequireUtf8("an address", party.address);
            }
            kamo::ParseMailDate(text);
            kamo::ParseFieldParams(text);
        }
        RequireUtf8("the text of HTML", kamo::HtmlToText(kamo::DecodeMailText(parts.body)));
    } catch (const std::bad_alloc&) {
        // a hostile size; the read stores such a mail as found
    }
    return 0;
}
