#pragma once
// The body of a MIME mail: its readable text and its attachments, from the mail's own header region
// and its body as the mail file holds it (walked by EntityWalker, mime/MimeEntities.h).
#include <string>
#include <string_view>
#include <vector>

namespace kamo {

// True when the header region declares MIME: a MIME-Version, Content-Type or
// Content-Transfer-Encoding field. A mail without them is read as plain PostPet text.
bool HasMimeHeaders(std::string_view header);

// A part kept as a file: its name (UTF-8, decoded; may be empty), its media type in lower case
// ("image/jpeg"), the charset its part declared (may be empty) and its bytes, transfer encoding
// undone.
struct MimeAttachment {
    std::string name;
    std::string mediaType;
    std::string charset;
    std::string bytes;
};

struct MimeContent {
    std::string text; // UTF-8, line breaks CR LF
    std::vector<MimeAttachment> attachments;
    std::string html; // withHtml: the mail's own HTML, UTF-8 (empty: none)
};

// Walks the mail: base64, quoted-printable and uuencode undone before the charset is applied (see
// DecodeBodyText); multipart/alternative gives its text/plain part, else its text/html part as text
// (HtmlToText), else its last part; other multiparts give their text parts in order; a
// message/rfc822 part gives its From, Subject and Date lines and then its own text. Every part that
// is not text/plain or text/html, or that has a file name or the disposition "attachment", is an
// attachment (name decoded: RFC 2231, encoded words, raw 8-bit); the parts of the alternatives not
// shown give their attachments too, so no file is lost. Multiparts and messages nested deeper than a
// limit are kept as attachments, with a note in the text where the walk stopped; an embedded message
// is read in place, not copied per level. A multipart without a boundary or any of its delimiters is
// read as text.
// A body declared base64 that holds 8-bit bytes was stored decoded and is taken as it is.
// `withHtml` (an export) also gives the mail's first inline text/html part, shown or not, outside
// embedded messages: decoded as its text would be, markup and all.
MimeContent ReadMimeContent(std::string_view header, std::string_view body, bool withHtml = false);

// A body as the mail file holds it, in the form the archive keeps: each line loses one CR before its
// LF, and the lines are joined with CR LF.
std::string BodyFromRaw(std::string_view raw);

} // namespace kamo
