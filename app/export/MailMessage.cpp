#include "export/MailMessage.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string_view>
#include <vector>

#include "common/AsciiText.h"
#include "mime/EncodedWords.h"
#include "mime/MailAddresses.h"
#include "mime/MailDates.h"
#include "mime/MimeEntities.h"
#include "mime/MimeHeaders.h"

namespace kamo {
namespace {

// A name as the header shows it: the archive's placeholder for no name is none.
std::string ShownName(const std::string& name) {
    return name == kNoName ? std::string() : name;
}

// Unstructured text: as it is when plain, else encoded words.
void AppendText(HeaderLine& line, const std::string& text, size_t maxWord) {
    if (IsPlainText(text, maxWord))
        line.Words(text);
    else if (!text.empty())
        line.Words(EncodedWords(text));
}

// "name <address>" as stored, for the X-KamoMail- fields that keep a party without a usable address.
std::string StoredParty(const MailParty& party) {
    const std::string name = ShownName(party.name);
    if (party.address.empty())
        return name;
    return name.empty() ? party.address : name + " <" + party.address + ">";
}

// The parties without a usable address in "X-KamoMail-<header>:", so nothing stored is lost.
void AppendKeptParties(std::string& out, const std::string& header, const std::vector<MailParty>& parties,
                       std::string_view lineEnd) {
    std::string kept;
    for (const auto& p : parties) {
        const std::string text = StoredParty(p);
        if (!IsUsableAddress(p.address) && !text.empty())
            kept += (kept.empty() ? "" : ", ") + text;
    }
    if (kept.empty())
        return;
    const std::string name = "X-KamoMail-" + header;
    HeaderLine line(out, name, lineEnd);
    AppendText(line, kept, kFoldAt - name.size() - 2); // a plain word fits after "name: "
    line.End();
}

// An address list (Cc, Reply-To): its mailboxes with a usable address; nothing when there is none.
void AppendParties(std::string& out, const char* header, const std::vector<MailParty>& parties,
                   std::string_view lineEnd) {
    std::vector<const MailParty*> usable;
    for (const auto& p : parties)
        if (IsUsableAddress(p.address))
            usable.push_back(&p);
    if (!usable.empty()) {
        HeaderLine line(out, header, lineEnd);
        for (size_t i = 0; i < usable.size(); ++i) {
            if (i > 0)
                line.Token(",", false);
            AppendMailbox(line, ShownName(usable[i]->name), usable[i]->address);
        }
        line.End();
    }
    AppendKeptParties(out, header, parties, lineEnd);
}

// From: always exactly one mailbox; a sender without a usable address gets kNoAddress, and for a
// name, when it has none, the address text it has.
void AppendFrom(std::string& out, const std::string& name, const std::string& address, std::string_view lineEnd) {
    HeaderLine line(out, "From", lineEnd);
    if (IsUsableAddress(address)) {
        AppendMailbox(line, ShownName(name), address);
    } else {
        std::string shown = ShownName(name);
        if (shown.empty())
            shown = address;
        AppendMailbox(line, shown, kNoAddress);
    }
    line.End();
    AppendKeptParties(out, "From", {{name, address}}, lineEnd);
}

// To: the receivers, or the empty group RFC 5322 names for recipients that are not shown.
void AppendTo(std::string& out, const std::vector<MailParty>& receivers, std::string_view lineEnd) {
    if (std::any_of(receivers.begin(), receivers.end(),
                    [](const MailParty& p) { return IsUsableAddress(p.address); })) {
        AppendParties(out, "To", receivers, lineEnd);
        return;
    }
    out.append("To: undisclosed-recipients:;").append(lineEnd);
    AppendKeptParties(out, "To", receivers, lineEnd);
}

// Message IDs separated by blanks, one token each, folded between them.
void AppendIds(std::string& out, const char* header, const std::string& ids, std::string_view lineEnd) {
    const auto list = MessageIds(ids);
    if (list.empty())
        return;
    HeaderLine line(out, header, lineEnd);
    for (const auto& id : list)
        line.Token(id);
    line.End();
}

std::string Hex16(uint64_t v) {
    char buf[17];
    std::snprintf(buf, sizeof buf, "%016llx", static_cast<unsigned long long>(v));
    return buf;
}

// A stored content type as a header value: "type/subtype" in token characters, with the charset
// a text attachment came with ("text/plain; charset=Shift_JIS", db/Attachments.h), else the neutral
// type, so that nothing stored can add header lines or parameters of its own.
std::string ContentTypeValue(const std::string& stored) {
    auto token = [](std::string_view t) {
        return !t.empty() && t.size() <= 100 && std::all_of(t.begin(), t.end(), [](char c) {
            return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                   std::string_view("!#$&^_.+-").find(c) != std::string_view::npos;
        });
    };
    // Exactly "type/subtype" or "type/subtype; charset=name": anything else stored is not ours.
    const size_t semi = stored.find(';');
    const std::string_view type = std::string_view(stored).substr(0, semi);
    const size_t slash = type.find('/');
    if (slash == std::string::npos || !token(type.substr(0, slash)) || !token(type.substr(slash + 1)))
        return "application/octet-stream";
    if (semi == std::string::npos)
        return std::string(type);
    const std::string charset = CharsetOf(stored);
    if (stored != std::string(type) + "; charset=" + charset || !token(charset) || charset.size() > 40)
        return "application/octet-stream";
    return stored;
}

void AppendUtf8Part(std::string& out, const char* type, const std::string& text, std::string_view lineEnd) {
    AppendBase64Part(out, std::string(type) + "; charset=UTF-8", {}, text, lineEnd);
}

// The text, and beside it the HTML when the mail had one. Base64 never holds "=_", so a boundary
// cannot turn up inside a part.
void AppendTextPart(std::string& out, const std::string& body, const std::string& html, const std::string& boundary,
                    std::string_view lineEnd) {
    if (html.empty()) {
        AppendUtf8Part(out, "text/plain", body, lineEnd);
        return;
    }
    MultipartWriter alternative(out, "alternative", boundary, lineEnd);
    alternative.NextPart();
    AppendUtf8Part(out, "text/plain", body, lineEnd);
    alternative.NextPart();
    AppendUtf8Part(out, "text/html", html, lineEnd);
    alternative.End();
}

} // namespace

uint64_t MailKeyHash(const MailRecord& mail) {
    // FNV-1a over the key's columns; the addresses in lower case, as the archive's NOCASE key sees them.
    uint64_t h = 14695981039346656037ull;
    auto mix = [&h](std::string_view s) {
        for (unsigned char c : s) {
            h ^= c;
            h *= 1099511628211ull;
        }
        h ^= 0x1F;
        h *= 1099511628211ull;
    };
    mix(ToLowerAscii(mail.ymd));
    mix(ToLowerAscii(mail.hms));
    mix(std::to_string(mail.subKey));
    mix(mail.sent ? "1" : "0");
    mix(ToLowerAscii(mail.sndAdd));
    mix(ToLowerAscii(mail.rcvAdd));
    return h;
}

std::string MessageId(const MailRecord& mail) {
    std::string stamp = DigitsOf(mail.ymd) + DigitsOf(mail.hms);
    if (stamp.empty())
        stamp = "0";
    return "<" + stamp + "." + std::to_string(mail.subKey < 0 ? 0 : mail.subKey) + "." + (mail.sent ? "s" : "r") + "." +
           Hex16(MailKeyHash(mail)) + "@kamomail.invalid>";
}

std::string MboxFromLine(const MailRecord& mail, int zoneMinutes) {
    char when[64];
    if (const auto t = MailTime(mail.ymd, mail.hms, zoneMinutes)) {
        using namespace std::chrono;
        const sys_seconds moment{seconds{*t}};
        const sys_days day = floor<days>(moment);
        const year_month_day ymd{day};
        const hh_mm_ss<seconds> clock{moment - day};
        std::snprintf(when, sizeof when, "%s %s %2u %02d:%02d:%02d %04d", kDayNames[weekday(day).c_encoding()],
                      kMonthNames[static_cast<unsigned>(ymd.month()) - 1], static_cast<unsigned>(ymd.day()),
                      static_cast<int>(clock.hours().count()), static_cast<int>(clock.minutes().count()),
                      static_cast<int>(clock.seconds().count()), static_cast<int>(ymd.year()));
    } else {
        std::snprintf(when, sizeof when, "Thu Jan  1 00:00:00 1970");
    }
    return "From " + (IsUsableAddress(mail.sndAdd) ? mail.sndAdd : std::string("MAILER-DAEMON")) + " " + when;
}

std::string MessageIdFor(const MailRecord& mail, const MessageExtras& extras) {
    if (extras.ownMessageId && IsMessageId(extras.headers.messageId))
        return extras.headers.messageId;
    return MessageId(mail);
}

std::string MailMessageText(const MailRecord& mail, const std::vector<MailAttachment>& attachments,
                            std::string_view lineEnd, const MessageExtras& extras) {
    std::string out;
    out.reserve(1024 + mail.body.size() * 4 / 3);
    AppendFrom(out, mail.sndName, mail.sndAdd, lineEnd);
    AppendTo(out, extras.to.empty() ? std::vector<MailParty>{{mail.rcvName, mail.rcvAdd}} : extras.to, lineEnd);
    AppendParties(out, "Cc", extras.headers.cc, lineEnd);
    AppendParties(out, "Reply-To", extras.headers.replyTo, lineEnd);
    {
        HeaderLine subject(out, "Subject", lineEnd);
        AppendText(subject, mail.subject, kFoldAt - std::string_view("Subject: ").size());
        subject.End();
    }
    out.append("Date: ").append(MessageDate(mail.ymd, mail.hms, extras.zoneMinutes)).append(lineEnd);
    out.append("Message-ID: ").append(MessageIdFor(mail, extras)).append(lineEnd);
    AppendIds(out, "In-Reply-To", extras.headers.inReplyTo, lineEnd);
    AppendIds(out, "References", extras.headers.references, lineEnd);
    out.append("MIME-Version: 1.0").append(lineEnd);
    // Base64 never holds "=_", so the boundary cannot turn up inside a part.
    const std::string boundary = "=_KamoMail_" + Hex16(MailKeyHash(mail));
    const std::string alternative = "=_KamoMailAlt_" + Hex16(MailKeyHash(mail)); // neither a prefix of the other
    if (attachments.empty()) {
        AppendTextPart(out, mail.body, extras.html, alternative, lineEnd);
        return out;
    }
    MultipartWriter mixed(out, "mixed", boundary, lineEnd);
    mixed.NextPart();
    AppendTextPart(out, mail.body, extras.html, alternative, lineEnd);
    for (const auto& a : attachments) {
        mixed.NextPart();
        AppendBase64Part(out, ContentTypeValue(a.contentType),
                         "Content-Disposition: attachment" + FileNameParameter(a.fileName, lineEnd), a.data, lineEnd);
    }
    mixed.End();
    return out;
}

} // namespace kamo
