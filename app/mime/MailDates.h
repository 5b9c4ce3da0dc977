#pragma once
// The date line of a mail: read in whatever form mailers wrote it, written as RFC 5322 gives it.
#include <ctime>
#include <optional>
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
    std::optional<int> zoneMinutes; // the zone the clock time was written in, east of UTC, when named
};

// Reads dates like "Tue, 6 Mar 2001 21:05:09 +0900 (JST)", "6 Mar 01 21:05", "Mar 6 21:05:09 2001",
// "2001/03/06 21:05:09", "Friday, 19-Nov-82 16:14:55 EST", "2001-03-06T21:05:09": English month
// names, two-digit years (00-49 -> 20xx, 50-99 -> 19xx), missing seconds or day names, extra blanks,
// times written "13.47.26" or with the zone glued on ("14:58:26+0800"); the clock time is kept as
// written, and its zone (an offset "+0900", "-05:00", or UT, GMT, Z, JST and the North American
// names) goes into zoneMinutes. A date line without any time gives 00:00:00.
// A date that cannot be read, a day that does not exist (31 February) or a time that is there but
// cannot be read ("25:10:00") gives kUnknownYmd/kUnknownHms with readable false: never another day,
// never a midnight that hides the failure.
MailDate ParseMailDate(std::string_view raw);

// The zone of a stored clock time when nothing names another: Japan's.
inline constexpr int kJapanZoneMinutes = 9 * 60;

// The mail's moment, when its date is a real one: seconds since 1970 (UTC) of the stored clock time
// ("yyyy/mm/dd", "hh:mm:ss") in its zone (a leap second read as the second before it).
std::optional<std::time_t> MailTime(std::string_view ymd, std::string_view hms, int zoneMinutes = kJapanZoneMinutes);
// "Tue, 04 Sep 2001 21:05:33 +0900" (the clock time as stored), or "Thu, 01 Jan 1970 00:00:00
// +0000" for a date that could not be read or is no real day: it sorts first and is never taken for
// a recent mail. A leap second (":60") goes as ":59".
std::string MessageDate(std::string_view ymd, std::string_view hms, int zoneMinutes = kJapanZoneMinutes);

// English day and month names as RFC 5322 dates and mbox separator lines write them.
inline constexpr const char* kDayNames[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
inline constexpr const char* kMonthNames[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

} // namespace kamo
