#pragma once
// Reading one mail for display: its header lines and its whole body.
#include <optional>
#include <string>

#include <SQLiteCpp/Database.h>

#include "common/MailRecord.h"

namespace kamo {

// The stored mail with this identity (date, time, sub-key, send flag, both addresses), its body
// joined from all sixteen pieces in order. Empty when no such mail is stored.
std::optional<MailRecord> ReadMail(SQLite::Database& db, const MailKey& key);

// The header label's lines, "送信者：" and so on, of the head in HeadForm::Window (common/MailHead.h).
std::string MailHeadText(const MailRecord& mail);

// The body as shown: line breaks made uniform ("\r\n" and lone "\r" become "\n").
std::string MailBodyText(const MailRecord& mail);

// The correspondent a reply goes to: the receiver of a sent mail, the sender of a received one.
std::string ReplyAddress(const MailRecord& mail);
// "Re: " + subject, without piling up prefixes.
std::string ReplySubject(const MailRecord& mail);

// "bold,italic" flags of the mail font setting ("1,0" is bold upright).
struct FontStyleFlags {
    bool bold = false;
    bool italic = false;
};
FontStyleFlags ParseFontStyle(const std::string& style);
std::string FormatFontStyle(FontStyleFlags flags);

} // namespace kamo
