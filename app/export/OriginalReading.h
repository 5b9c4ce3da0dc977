#pragma once
// What an export takes from a mail's kept original (db/MailOriginals.h), read by the same decoders
// that made its row (mime/): the zone of its Date, every receiver of its To, its HTML; and the
// original as it was, for an export that gives it back unchanged or a window that shows its header.
#include <optional>
#include <string>
#include <string_view>

#include "common/MailRecord.h"
#include "db/MailOriginals.h"
#include "export/MailMessage.h"

namespace kamo {

// Fills extras.zoneMinutes, extras.to and (withHtml) extras.html from `original` for the row `mail`:
//   zone  of the list record's Date, else of the header's Date field, but only of a date that reads
//         as the row's date and time (a Date that gives another clock says nothing of the row's);
//   to    the header's To field, else the list record's To: every mailbox, the row's receiver under
//         its stored name (a name the user gave it stays), put first when the original lacks it;
//         left empty when the original names no one besides the row's receiver;
//   html  the mail's own first text/html part, in UTF-8 (a mail with MIME header fields only).
void AddOriginalExtras(const MailOriginal& original, const MailRecord& mail, bool withHtml, MessageExtras& extras);

// The zone AddOriginalExtras takes from `original` for the row `mail`; nothing when neither Date
// reads as the row's date and time. All an export of the original itself needs from it.
std::optional<int> OriginalZoneMinutes(const MailOriginal& original, const MailRecord& mail);

// The original message as the mail file held it: its header region, then its body, byte for byte.
std::string OriginalMessage(const MailOriginal& original);

// The header region as text to show: its bytes read as CP932, ISO-2022-JP or UTF-8, whichever
// they are (encoded words left as written), line breaks "\n".
std::string OriginalHeaderText(std::string_view header);

} // namespace kamo
