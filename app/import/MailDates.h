#pragma once
// The date line of a mail.
#include <string>
#include <string_view>

namespace kamo {

// Date and time stored for a mail whose date line cannot be read (it is kept, not dropped).
inline constexpr const char* kUnknownYmd = "0000/00/00";
inline constexpr const char* kUnknownHms = "00:00:00";

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

} // namespace kamo
