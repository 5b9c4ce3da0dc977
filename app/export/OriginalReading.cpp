#include "export/OriginalReading.h"

#include <algorithm>

#include "common/AsciiText.h"
#include "mime/MailAddresses.h"
#include "mime/MailCharsets.h"
#include "mime/MailDates.h"
#include "mime/MimeBody.h"
#include "mime/MimeHeaders.h"

namespace kamo {
namespace {

std::optional<int> ZoneOf(std::string_view raw, const MailRecord& mail) {
    const MailDate date = ParseMailDate(raw);
    if (!date.readable || date.ymd != mail.ymd || date.hms != mail.hms)
        return std::nullopt;
    return date.zoneMinutes;
}

std::vector<MailParty> ReceiversOf(const MailOriginal& original, const MailRecord& mail) {
    const auto field = HeaderField(original.header, "To");
    std::vector<MailParty> parties = SplitAddressList(DecodeUndeclaredText(field ? *field : original.to));
    const MailParty stored{mail.rcvName, mail.rcvAdd};
    const auto same = std::find_if(parties.begin(), parties.end(),
                                   [&](const MailParty& p) { return EqualsNoCase(p.address, mail.rcvAdd); });
    if (same == parties.end())
        parties.insert(parties.begin(), stored);
    else
        *same = stored;
    if (parties.size() < 2)
        parties.clear();
    return parties;
}

} // namespace

std::optional<int> OriginalZoneMinutes(const MailOriginal& original, const MailRecord& mail) {
    std::optional<int> zone = ZoneOf(original.date, mail);
    if (!zone)
        if (const auto field = HeaderField(original.header, "Date"))
            zone = ZoneOf(*field, mail);
    return zone;
}

void AddOriginalExtras(const MailOriginal& original, const MailRecord& mail, bool withHtml, MessageExtras& extras) {
    if (const std::optional<int> zone = OriginalZoneMinutes(original, mail))
        extras.zoneMinutes = *zone;
    extras.to = ReceiversOf(original, mail);
    if (withHtml && HasMimeHeaders(original.header))
        extras.html = ReadMimeContent(original.header, original.body, true).html;
}

std::string OriginalMessage(const MailOriginal& original) {
    std::string message;
    message.reserve(original.header.size() + original.body.size());
    return message.append(original.header).append(original.body);
}

std::string OriginalHeaderText(std::string_view header) {
    std::string text = DecodeUndeclaredText(header);
    text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
    while (!text.empty() && text.back() == '\n')
        text.pop_back();
    return text;
}

} // namespace kamo
