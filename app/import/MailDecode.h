#pragma once
// Turning the raw values of a KamoMail.Tmp block into a Mail Record. Each decoding step has its
// own file, included here for the callers; this one adds the replacements every stored value gets.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/MailRecord.h"
#include "db/Attachments.h"
#include "db/HeaderFields.h"
#include "import/FramedReader.h"
#include "kamomail.h"
#include "mime/EncodedWords.h"
#include "mime/MailAddresses.h"
#include "mime/MailCharsets.h"
#include "mime/MailDates.h"

namespace kamo {

// "|" -> "｜".
std::string ReplaceBars(std::string_view utf8);

struct DecodedMail {
    MailRecord record;
    std::vector<Attachment> attachments; // in the order of the mail's parts
    HeaderFields headers;                // kept beside the mail (import/MailHeaderFields.h)
    bool mime = false;                   // the body was read as MIME
    bool whole = true;                   // false: read by DecodeMailAsText after the decoding failed
};

// Heads the body of a mail DecodeMailAsText read.
extern const char* const kNotDecodedNote;

// The whole conversion of one block. Every text value is decoded (raw 8-bit header text as
// DecodeUndeclaredText reads it), made quote-safe through Mail_StrChange (`strChange` may be null:
// then only the bars are replaced) and has its bars replaced. A mail whose header region declares
// MIME (HasMimeHeaders) has its body read by ReadMimeContent, from the body's own bytes; any other
// body is read as PostPet text, CP932 with ISO-2022-JP runs. Attachment names and bytes are kept as
// they are (they never go into SQL text). The send/receive flag and the sub-key are left for the
// caller.
DecodedMail DecodeMail(const TmpMail& raw, Mail_StrChange_Fn strChange);

// What is left when DecodeMail fails on a mail (out of memory in a hostile MIME structure, say):
// its header fields as DecodeMail reads them and its body as PostPet text, headed by
// kNotDecodedNote; `whole` is false, `mime` false and there are no attachments.
DecodedMail DecodeMailAsText(const TmpMail& raw, Mail_StrChange_Fn strChange);

// The mail as the earlier readings stored it, most recent first: the decoding before the current
// one (see EarlierReading), for a MIME mail the reading before MIME (its body PostPet text, no
// attachments), and DecodeMailAsText of that decoding. A mail stored by one of them is found again
// and brought up to date, not stored twice (MailStore::Store).
std::vector<DecodedMail> EarlierReadings(const TmpMail& raw, Mail_StrChange_Fn strChange);

} // namespace kamo
