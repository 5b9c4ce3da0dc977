#pragma once
// Turning the raw values of a KamoMail.Tmp block into a Mail Record: text decoding, the address
// and name split, the date, and the replacements every stored value gets.
#include <string>
#include <string_view>

#include "common/MailRecord.h"
#include "import/TmpReader.h"
#include "kamomail.h"

namespace kamo {

// Name stored for a sender or receiver without one.
inline constexpr const char* kNoName = "設定無し";
// Date and time stored for a mail whose date line cannot be read (it is kept, not dropped).
inline constexpr const char* kUnknownYmd = "0000/00/00";
inline constexpr const char* kUnknownHms = "00:00:00";

// PostPet's bytes to UTF-8: CP932, except that where ISO-2022-JP escape sequences appear, the
// designated JIS X 0208 / katakana runs are read as the CP932 characters they stand for (so the
// NEC and IBM extension characters that Windows mailers send come out right); bytes outside such
// runs stay CP932. Undecodable bytes become U+FFFD; nothing is ever dropped.
std::string DecodeMailText(std::string_view raw);

// Decodes RFC 2047 encoded words (=?charset?B|Q?...?=) in UTF-8 text: ISO-2022-JP, Shift_JIS /
// CP932, UTF-8 and whatever else ICU knows. Blanks between two encoded words go. A word that is
// malformed or in an unknown character set stays as it is.
std::string DecodeEncodedWords(std::string_view utf8);

struct AddressName {
    std::string address;
    std::string name; // kNoName when there is none
};

// Splits a From/To value (UTF-8, encoded words not yet decoded) into address and name:
//   Name <addr>, "Name" <addr>   the part in angle brackets is the address
//   addr (Name)                  the part in round brackets is the name
//   addr                         the word around "@" is the address, the rest the name
//   anything else                the whole text is the address
// Only the first of several comma-separated mailboxes is taken. Surrounding quotes are removed from
// the name and its encoded words decoded.
AddressName SplitAddress(std::string_view utf8);

struct MailDate {
    std::string ymd; // "yyyy/mm/dd"
    std::string hms; // "hh:mm:ss"
    bool readable = false;
};

// Reads dates like "Tue, 6 Mar 2001 21:05:09 +0900 (JST)", "6 Mar 01 21:05", "Mar 6 21:05:09 2001",
// "2001/03/06 21:05:09": English month names, two-digit years (00-49 -> 20xx, 50-99 -> 19xx),
// missing seconds or day names; time-zone offsets and names are dropped, the clock time is kept as
// written. An unreadable date gives kUnknownYmd/kUnknownHms with readable false.
MailDate ParseMailDate(std::string_view raw);

// "|" -> "｜".
std::string ReplaceBars(std::string_view utf8);

// The whole conversion of one block. Every text value is decoded, made quote-safe through
// Mail_StrChange (`strChange` may be null: then only the bars are replaced) and has its bars
// replaced. The send/receive flag and the sub-key are left for the caller.
MailRecord BuildMailRecord(const TmpMail& raw, Mail_StrChange_Fn strChange);

} // namespace kamo
