#pragma once
// One archived mail as an Internet message (RFC 5322 with MIME) that other mail programs read
// without mojibake:
//
//   From, To    the stored names and addresses (To: every receiver of the mail's original, the
//               stored receiver with its stored name); a name that is not plain ASCII goes as RFC 2047
//               encoded words (UTF-8, base64 and where needed Q). The archive's placeholder for no
//               name (kNoName) is no name and never goes out as one. A party without a usable
//               address (empty, no plain addr-spec, or longer than an address can be) keeps its
//               stored text in X-KamoMail-From / X-KamoMail-To, and goes as
//                 From: name <no-address@kamomail.invalid>  (".invalid" can never be delivered to,
//                       RFC 2606; From must hold one mailbox)
//                 To:   undisclosed-recipients:;
//   Cc, Reply-To the kept header fields (db/HeaderFields.h), the same way; mailboxes without a
//               usable address go to X-KamoMail-Cc / X-KamoMail-Reply-To.
//   Subject     as stored; encoded words unless it is plain ASCII in words that fit a line.
//   Date        the stored date and time (the clock time as written) with the zone the original's
//               Date names, else +0900: PostPet wrote its mail in Japan. A date that could not be read
//               ("0000/00/00") or is no real day becomes Thu, 01 Jan 1970 00:00:00 +0000: it sorts
//               first and is never taken for a recent mail. A leap second (":60") goes as ":59".
//   Message-ID  the mail's own, kept when it was read, where the export may use it (unique in the
//               export); else one from the mail's key (date, time, sub-key, direction, both
//               addresses, letter case of the addresses ignored as the archive ignores it), so a
//               later export of the same mail carries the same ID. In-Reply-To and References as
//               kept, so replies thread.
//   Body        text/plain; charset=UTF-8 in base64: the body exactly as stored (CR LF line breaks
//               and all), every line 76 characters at most. With attachments: multipart/mixed, the
//               text first, each attachment a base64 part with its type (and a text's charset),
//               named in RFC 2231 form when it has a name. An HTML mail's text is
//               multipart/alternative: the stored text, then the original HTML in UTF-8.
//
// Header lines are folded at 78 characters wherever there is a place to fold, and no line is ever
// longer than 998 octets.
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/MailRecord.h"
#include "db/HeaderFields.h"
#include "export/MailAttachments.h"
#include "mime/MailDates.h" // kJapanZoneMinutes

namespace kamo {

// What an export knows of a mail beyond its row.
struct MessageExtras {
    HeaderFields headers;                // the kept header fields (none: empty)
    bool ownMessageId = true;            // headers.messageId may be used (no other mail of the export has it)
    int zoneMinutes = kJapanZoneMinutes; // of the stored clock time, east of UTC
    std::vector<MailParty> to;           // every receiver (empty: the stored one alone)
    std::string html;                    // the mail's own HTML, UTF-8 (empty: none)
};

// The address a sender without a usable address is given.
inline constexpr const char* kNoAddress = "no-address@kamomail.invalid";

// The whole message, lines ended by `lineEnd` ("\r\n" for .eml files, "\n" in mbox and Maildir).
std::string MailMessageText(const MailRecord& mail, const std::vector<MailAttachment>& attachments,
                            std::string_view lineEnd, const MessageExtras& extras = {});

// The Message-ID the message carries: the kept one where it may be used, else MessageId(mail).
std::string MessageIdFor(const MailRecord& mail, const MessageExtras& extras);

// "<yyyymmddhhmmss.subkey.s|r.hash@kamomail.invalid>"
std::string MessageId(const MailRecord& mail);
// A number that names the mail's key (the hash part of MessageId), for file names.
uint64_t MailKeyHash(const MailRecord& mail);

// mbox's separator line for the mail, without its line end: "From hanako@example.jp Tue Sep  4
// 12:05:33 2001", the time in UTC as mbox readers take it (the sender's address, or MAILER-DAEMON
// when it has no usable one).
std::string MboxFromLine(const MailRecord& mail, int zoneMinutes = kJapanZoneMinutes);

} // namespace kamo
