#include "browse/MailView.h"

#include "common/AsciiText.h"
#include "common/MailHead.h"
#include "db/BrowseQueries.h"

namespace kamo {

std::optional<MailRecord> ReadMail(SQLite::Database& db, const MailKey& key) {
    std::optional<MailRecord> mail = ReadMailOfKey(db, key);
    if (!mail)
        return std::nullopt;
    // The head shows the names of the line that was chosen: a filter's line keeps the names its
    // mail had when the filter ran.
    mail->sndName = key.sndName;
    mail->rcvName = key.rcvName;
    return mail;
}

std::string MailHeadText(const MailRecord& mail) {
    std::string text;
    for (const HeadField& field : MailHead(mail, HeadForm::Window))
        text += (text.empty() ? "" : "\n") + field.label + "：" + field.value;
    return text;
}

std::string MailBodyText(const MailRecord& mail) {
    std::string out;
    out.reserve(mail.body.size());
    for (size_t i = 0; i < mail.body.size(); ++i) {
        char c = mail.body[i];
        if (c == '\r') {
            // "\r\n", the converter's "\r\r\n" and a lone "\r" are each one line break.
            while (i + 1 < mail.body.size() && mail.body[i + 1] == '\r')
                ++i;
            if (i + 1 < mail.body.size() && mail.body[i + 1] == '\n')
                ++i;
            out += '\n';
        } else {
            out += c;
        }
    }
    return out;
}

std::string ReplyAddress(const MailRecord& mail) {
    return mail.sent ? mail.rcvAdd : mail.sndAdd;
}

std::string ReplySubject(const MailRecord& mail) {
    if (StartsWithNoCase(mail.subject, "Re:"))
        return mail.subject;
    return "Re: " + mail.subject;
}

FontStyleFlags ParseFontStyle(const std::string& style) {
    FontStyleFlags flags;
    auto comma = style.find(',');
    auto flagOf = [](std::string part) {
        while (!part.empty() && part.front() == ' ')
            part.erase(part.begin());
        return !part.empty() && part.front() >= '1' && part.front() <= '9';
    };
    flags.bold = flagOf(style.substr(0, comma));
    if (comma != std::string::npos)
        flags.italic = flagOf(style.substr(comma + 1));
    return flags;
}

std::string FormatFontStyle(FontStyleFlags flags) {
    return std::string(flags.bold ? "1" : "0") + "," + (flags.italic ? "1" : "0");
}

} // namespace kamo
