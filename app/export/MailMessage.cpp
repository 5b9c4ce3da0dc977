#include "export/MailMessage.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string_view>
#include <vector>

#include "common/AsciiText.h"

namespace kamo {
namespace {

constexpr size_t kFoldAt = 78;
// Bytes of text per encoded word: 36 bytes are 48 base64 characters, 60 with "=?UTF-8?B?" and "?=";
// a Q word holds up to 48 characters of its own form.
constexpr size_t kWordBytes = 36;
constexpr size_t kQWordText = 48;
constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
constexpr const char* kBase64 = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::string Base64(std::string_view bytes) {
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    size_t i = 0;
    for (; i + 2 < bytes.size(); i += 3) {
        const uint32_t v = (static_cast<uint8_t>(bytes[i]) << 16) | (static_cast<uint8_t>(bytes[i + 1]) << 8) |
                           static_cast<uint8_t>(bytes[i + 2]);
        out += kBase64[(v >> 18) & 63];
        out += kBase64[(v >> 12) & 63];
        out += kBase64[(v >> 6) & 63];
        out += kBase64[v & 63];
    }
    if (i < bytes.size()) {
        uint32_t v = static_cast<uint8_t>(bytes[i]) << 16;
        if (i + 1 < bytes.size())
            v |= static_cast<uint8_t>(bytes[i + 1]) << 8;
        out += kBase64[(v >> 18) & 63];
        out += kBase64[(v >> 12) & 63];
        out += i + 1 < bytes.size() ? kBase64[(v >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

bool IsContinuation(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// RFC 2047's Q form, safe inside a phrase: letters and digits as they are, blanks as "_".
std::string QEncoded(std::string_view bytes) {
    std::string q;
    for (unsigned char c : bytes) {
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) {
            q += static_cast<char>(c);
        } else if (c == ' ') {
            q += '_';
        } else {
            char buf[4];
            std::snprintf(buf, sizeof buf, "=%02X", c);
            q += buf;
        }
    }
    return q;
}

// Header text that may go as it is: printable ASCII in words of one blank, no "=?" that a reader
// would take for an encoded word, no word too long to fold.
bool IsPlainText(std::string_view text, size_t maxWord) {
    if (text.empty() || text.front() == ' ' || text.back() == ' ' || text.find("=?") != std::string_view::npos ||
        text.find("  ") != std::string_view::npos)
        return false;
    size_t word = 0;
    for (char c : text) {
        if (c < 0x20 || c > 0x7E)
            return false;
        word = c == ' ' ? 0 : word + 1;
        if (word > maxWord)
            return false;
    }
    return true;
}

// Appends tokens to a header, each after a blank, folding before a token that would pass the line
// width. Folding keeps the blank, so unfolding gives back the same text.
class HeaderLine {
public:
    HeaderLine(std::string& out, std::string_view name, std::string_view lineEnd)
        : out_(out), lineEnd_(lineEnd), lineStart_(out.size()) {
        out_.append(name).append(":");
    }
    void Token(std::string_view token, bool blankBefore = true) {
        const size_t lineLength = out_.size() - lineStart_;
        if (blankBefore && tokens_ > 0 && lineLength + 1 + token.size() > kFoldAt) {
            out_.append(lineEnd_);
            lineStart_ = out_.size();
        }
        if (blankBefore)
            out_ += ' ';
        out_.append(token);
        ++tokens_;
    }
    void Words(std::string_view spaced) {
        size_t start = 0;
        while (start <= spaced.size()) {
            size_t end = spaced.find(' ', start);
            if (end == std::string_view::npos)
                end = spaced.size();
            Token(spaced.substr(start, end - start));
            start = end + 1;
        }
    }
    void End() {
        if (tokens_ == 0)
            out_ += ' ';
        out_.append(lineEnd_);
    }

private:
    std::string& out_;
    std::string_view lineEnd_;
    size_t lineStart_;
    int tokens_ = 0;
};

// A name as the header shows it: the archive's placeholder for no name is none.
std::string ShownName(const std::string& name) {
    return name == kNoName ? std::string() : name;
}

// A mailbox after the header's name or a comma: `"name" <address>`, `=?UTF-8?B?...?= <address>` or
// `<address>`. A quoted name folds at its blanks (folding white space inside a quoted string is
// allowed and unfolds to the same blank).
void AppendMailbox(HeaderLine& line, const std::string& name, const std::string& address) {
    if (IsPlainText(name, 60) && name.find_first_of("\"\\") == std::string::npos)
        line.Words("\"" + name + "\"");
    else if (!name.empty())
        line.Words(EncodedWords(name));
    line.Token("<" + address + ">");
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

struct Clock {
    int year, month, day, hour, minute, second;
};

std::optional<Clock> ReadClock(std::string_view ymd, std::string_view hms) {
    Clock c{};
    auto digits = [](std::string_view s, size_t pos, size_t n, int& value) {
        if (pos + n > s.size())
            return false;
        value = 0;
        for (size_t i = pos; i < pos + n; ++i) {
            if (s[i] < '0' || s[i] > '9')
                return false;
            value = value * 10 + (s[i] - '0');
        }
        return true;
    };
    if (ymd.size() != 10 || hms.size() != 8 || ymd[4] != '/' || ymd[7] != '/' || hms[2] != ':' || hms[5] != ':' ||
        !digits(ymd, 0, 4, c.year) || !digits(ymd, 5, 2, c.month) || !digits(ymd, 8, 2, c.day) ||
        !digits(hms, 0, 2, c.hour) || !digits(hms, 3, 2, c.minute) || !digits(hms, 6, 2, c.second))
        return std::nullopt;
    using namespace std::chrono;
    const year_month_day date{year{c.year}, month{static_cast<unsigned>(c.month)}, day{static_cast<unsigned>(c.day)}};
    if (c.year < 1900 || !date.ok() || c.hour > 23 || c.minute > 59 || c.second > 60)
        return std::nullopt;
    // A leap second: readers take ":60" for no date at all; the second before it is as near as any.
    c.second = std::min(c.second, 59);
    return c;
}

unsigned WeekdayOf(const Clock& c) {
    using namespace std::chrono;
    const sys_days d =
        year_month_day{year{c.year}, month{static_cast<unsigned>(c.month)}, day{static_cast<unsigned>(c.day)}};
    return weekday(d).c_encoding();
}

std::string Hex16(uint64_t v) {
    char buf[17];
    std::snprintf(buf, sizeof buf, "%016llx", static_cast<unsigned long long>(v));
    return buf;
}

std::string DigitsOf(std::string_view s) {
    std::string d;
    for (char c : s)
        if (c >= '0' && c <= '9')
            d += c;
    return d;
}

// An attachment's Content-Disposition, from the line end after "attachment" on: a short plain name
// quoted, any other name percent-encoded in UTF-8 (RFC 2231) and, when long, continued over
// several lines (filename*0*=, filename*1*=, ...) so that no line passes 78 characters, each piece
// whole characters (a reader decodes the pieces one by one). An attachment without a name has no
// file-name parameter at all.
std::string FileNameParameter(const std::string& name, std::string_view lineEnd) {
    constexpr size_t kPiece = 60;
    if (name.empty())
        return std::string(lineEnd);
    const std::string head = std::string(";") + std::string(lineEnd);
    if (name.size() <= kPiece && IsPlainText(name, kPiece) && name.find_first_of("\"\\;") == std::string::npos)
        return head + " filename=\"" + name + "\"" + std::string(lineEnd);
    std::string encoded = "UTF-8''";
    std::vector<size_t> cuts; // where a piece may end: never inside a %XX, never inside a character
    for (size_t i = 0; i < name.size(); ++i) {
        const auto c = static_cast<unsigned char>(name[i]);
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' || c == '-' ||
            c == '_') {
            encoded += static_cast<char>(c);
        } else {
            char buf[4];
            std::snprintf(buf, sizeof buf, "%%%02X", c);
            encoded += buf;
        }
        if (i + 1 == name.size() || !IsContinuation(name[i + 1]))
            cuts.push_back(encoded.size());
    }
    if (encoded.size() <= kPiece)
        return head + " filename*=" + encoded + std::string(lineEnd);
    std::string out = head;
    size_t start = 0;
    int n = 0;
    for (size_t i = 0; i < cuts.size(); ++i) {
        const bool last = i + 1 == cuts.size();
        if (!last && cuts[i + 1] - start <= kPiece)
            continue;
        if (n > 0)
            out.append(";").append(lineEnd);
        out.append(" filename*").append(std::to_string(n++)).append("*=").append(encoded, start, cuts[i] - start);
        start = cuts[i];
    }
    return out.append(lineEnd);
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
    out.append("Content-Type: ").append(type).append("; charset=UTF-8").append(lineEnd);
    out.append("Content-Transfer-Encoding: base64").append(lineEnd);
    out.append(lineEnd);
    out.append(Base64Lines(text, lineEnd));
}

// The text, and beside it the HTML when the mail had one. Base64 never holds "=_", so a boundary
// cannot turn up inside a part.
void AppendTextPart(std::string& out, const std::string& body, const std::string& html, const std::string& boundary,
                    std::string_view lineEnd) {
    if (html.empty()) {
        AppendUtf8Part(out, "text/plain", body, lineEnd);
        return;
    }
    out.append("Content-Type: multipart/alternative; boundary=\"").append(boundary).append("\"").append(lineEnd);
    out.append(lineEnd);
    out.append("--").append(boundary).append(lineEnd);
    AppendUtf8Part(out, "text/plain", body, lineEnd);
    out.append("--").append(boundary).append(lineEnd);
    AppendUtf8Part(out, "text/html", html, lineEnd);
    out.append("--").append(boundary).append("--").append(lineEnd);
}

// "+0900", "-0500"
std::string ZoneText(int zoneMinutes) {
    const int magnitude = zoneMinutes < 0 ? -zoneMinutes : zoneMinutes;
    char buf[16];
    std::snprintf(buf, sizeof buf, "%c%02d%02d", zoneMinutes < 0 ? '-' : '+', magnitude / 60 % 100, magnitude % 60);
    return buf;
}

} // namespace

std::string Base64Lines(std::string_view bytes, std::string_view lineEnd) {
    const std::string encoded = Base64(bytes);
    std::string out;
    out.reserve(encoded.size() + encoded.size() / 76 * lineEnd.size() + lineEnd.size());
    for (size_t i = 0; i < encoded.size(); i += 76)
        out.append(encoded, i, 76).append(lineEnd);
    return out;
}

std::string EncodedWords(std::string_view utf8) {
    // A reader may join neighbouring base64 words before decoding them (GMime does), so a base64
    // word may end in padding only when it is the last one: a piece whose length is no multiple of
    // three goes as a Q word instead, which has no padding.
    std::string words;
    auto boundary = [&](size_t i) { return i >= utf8.size() || !IsContinuation(utf8[i]); };
    auto add = [&](std::string word) {
        if (!words.empty())
            words += ' ';
        words += word;
    };
    size_t pos = 0;
    while (pos < utf8.size()) {
        if (utf8.size() - pos <= kWordBytes) {
            add("=?UTF-8?B?" + Base64(utf8.substr(pos)) + "?=");
            break;
        }
        size_t end = pos + kWordBytes - kWordBytes % 3;
        while (end > pos && !boundary(end))
            end -= 3;
        if (end > pos) {
            add("=?UTF-8?B?" + Base64(utf8.substr(pos, end - pos)) + "?=");
            pos = end;
            continue;
        }
        std::string q;
        for (end = pos; end < utf8.size();) {
            size_t next = end + 1;
            while (!boundary(next))
                ++next;
            const std::string piece = QEncoded(utf8.substr(end, next - end));
            if (!q.empty() && q.size() + piece.size() > kQWordText)
                break;
            q += piece;
            end = next;
        }
        add("=?UTF-8?Q?" + q + "?=");
        pos = end;
    }
    return words;
}

bool IsPlainAddress(std::string_view address) {
    const size_t at = address.find('@');
    if (at == std::string_view::npos || at == 0 || at + 1 == address.size() ||
        address.find('@', at + 1) != std::string_view::npos)
        return false;
    for (char c : address) {
        const bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                        std::string_view("!#$%&'*+-/=?^_`{|}~.@").find(c) != std::string_view::npos;
        if (!ok)
            return false;
    }
    return true;
}

bool IsUsableAddress(std::string_view address) {
    return address.size() <= 254 && IsPlainAddress(address);
}

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

std::optional<std::time_t> MailTime(std::string_view ymd, std::string_view hms, int zoneMinutes) {
    const auto c = ReadClock(ymd, hms);
    if (!c)
        return std::nullopt;
    using namespace std::chrono;
    const sys_days d =
        year_month_day{year{c->year}, month{static_cast<unsigned>(c->month)}, day{static_cast<unsigned>(c->day)}};
    const auto t = d + hours{c->hour} + minutes{c->minute} + seconds{c->second} - minutes{zoneMinutes};
    return static_cast<std::time_t>(duration_cast<seconds>(t.time_since_epoch()).count());
}

std::string MessageDate(std::string_view ymd, std::string_view hms, int zoneMinutes) {
    const auto c = ReadClock(ymd, hms);
    if (!c)
        return "Thu, 01 Jan 1970 00:00:00 +0000";
    char buf[64];
    std::snprintf(buf, sizeof buf, "%s, %02d %s %04d %02d:%02d:%02d ", kDays[WeekdayOf(*c)], c->day,
                  kMonths[c->month - 1], c->year, c->hour, c->minute, c->second);
    return buf + ZoneText(zoneMinutes);
}

std::string MboxFromLine(const MailRecord& mail, int zoneMinutes) {
    char when[64];
    if (const auto t = MailTime(mail.ymd, mail.hms, zoneMinutes)) {
        using namespace std::chrono;
        const sys_seconds moment{seconds{*t}};
        const sys_days day = floor<days>(moment);
        const year_month_day ymd{day};
        const hh_mm_ss<seconds> clock{moment - day};
        std::snprintf(when, sizeof when, "%s %s %2u %02d:%02d:%02d %04d", kDays[weekday(day).c_encoding()],
                      kMonths[static_cast<unsigned>(ymd.month()) - 1], static_cast<unsigned>(ymd.day()),
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
    out.append("Content-Type: multipart/mixed; boundary=\"").append(boundary).append("\"").append(lineEnd);
    out.append(lineEnd);
    out.append("--").append(boundary).append(lineEnd);
    AppendTextPart(out, mail.body, extras.html, alternative, lineEnd);
    for (const auto& a : attachments) {
        out.append("--").append(boundary).append(lineEnd);
        out.append("Content-Type: ").append(ContentTypeValue(a.contentType)).append(lineEnd);
        out.append("Content-Transfer-Encoding: base64").append(lineEnd);
        out.append("Content-Disposition: attachment").append(FileNameParameter(a.fileName, lineEnd));
        out.append(lineEnd);
        out.append(Base64Lines(a.data, lineEnd));
    }
    out.append("--").append(boundary).append("--").append(lineEnd);
    return out;
}

} // namespace kamo
