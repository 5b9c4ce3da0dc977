#include "mime/MailDates.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <vector>

#include "common/AsciiText.h"

namespace kamo {
namespace {

constexpr std::array<const char*, 12> kMonths = {"jan", "feb", "mar", "apr", "may", "jun",
                                                 "jul", "aug", "sep", "oct", "nov", "dec"};

bool AllDigits(std::string_view s) {
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

int ToInt(std::string_view s) {
    int v = 0;
    for (char c : s) {
        v = v * 10 + (c - '0');
        if (v > 100000)
            return 100000;
    }
    return v;
}

int FullYear(std::string_view digits) {
    const int v = ToInt(digits);
    if (digits.size() <= 2)
        return v < 50 ? 2000 + v : 1900 + v;
    if (digits.size() == 3)
        return 1900 + v; // years counted from 1900, as some old mailers wrote them
    return v;
}

std::vector<std::string_view> SplitOn(std::string_view s, char sep) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t p = s.find(sep, start);
        parts.push_back(s.substr(start, p == std::string_view::npos ? std::string_view::npos : p - start));
        if (p == std::string_view::npos)
            return parts;
        start = p + 1;
    }
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// A zone written apart or glued to the time: "+0900", "-05:00", "JST", "GMT", "Z".
bool IsZone(std::string_view s) {
    if (s.empty())
        return false;
    if (s.front() == '+' || s.front() == '-') {
        s.remove_prefix(1);
        return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return IsDigit(c) || c == ':'; });
    }
    return s.size() <= 5 && std::all_of(s.begin(), s.end(), [](char c) { return IsAsciiAlpha(c); });
}

// "+0900", "-05:00", "+09": minutes east of UTC; nothing for what is no offset.
std::optional<int> OffsetMinutes(std::string_view s) {
    if (s.size() < 2 || (s.front() != '+' && s.front() != '-'))
        return std::nullopt;
    const int sign = s.front() == '-' ? -1 : 1;
    std::string digits;
    for (char c : s.substr(1))
        if (c != ':')
            digits += c;
    if ((digits.size() != 2 && digits.size() != 4) || !AllDigits(digits))
        return std::nullopt;
    const int hours = (digits[0] - '0') * 10 + (digits[1] - '0');
    const int minutes = digits.size() == 4 ? (digits[2] - '0') * 10 + (digits[3] - '0') : 0;
    if (hours > 23 || minutes > 59)
        return std::nullopt;
    return sign * (hours * 60 + minutes);
}

std::optional<int> NamedZoneMinutes(std::string_view word) {
    static constexpr struct {
        const char* name;
        int minutes;
    } kZones[] = {{"ut", 0},     {"utc", 0},    {"gmt", 0},    {"z", 0},      {"jst", 540},
                  {"est", -300}, {"edt", -240}, {"cst", -360}, {"cdt", -300}, {"mst", -420},
                  {"mdt", -360}, {"pst", -480}, {"pdt", -420}};
    const std::string lower = ToLowerAscii(word);
    for (const auto& z : kZones)
        if (lower == z.name)
            return z.minutes;
    return std::nullopt;
}

int MonthOf(std::string_view word) {
    if (word.size() < 3 || !std::all_of(word.begin(), word.end(), [](char c) { return IsAsciiAlpha(c) || c == '.'; }))
        return -1;
    const std::string prefix = ToLowerAscii(word.substr(0, 3));
    for (std::size_t i = 0; i < kMonths.size(); ++i)
        if (prefix == kMonths[i])
            return static_cast<int>(i) + 1;
    return -1;
}

int DaysInMonth(int year, int month) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : kDays[month - 1];
}

// "21:05:09", "21:05", "13.47.26", with a zone glued to its end ("14:58:26+0800") and fractions of a
// second. 0: no time at all; 1: read; -1: a time that cannot be read.
int ParseClock(std::string_view token, int& h, int& m, int& sec, std::string_view& zone) {
    std::size_t end = 0;
    while (end < token.size() && (IsDigit(token[end]) || token[end] == ':' || token[end] == '.'))
        ++end;
    const std::string_view clock = token.substr(0, end);
    if (end < token.size() && !IsZone(token.substr(end)))
        return -1;
    if (end < token.size())
        zone = token.substr(end);
    const char sep = clock.find(':') != std::string_view::npos ? ':' : '.';
    auto parts = SplitOn(clock, sep);
    if (sep == ':' && parts.size() == 3) {
        // Fractions of a second: "09.25".
        const std::size_t dot = parts[2].find('.');
        if (dot != std::string_view::npos && AllDigits(parts[2].substr(dot + 1)))
            parts[2] = parts[2].substr(0, dot);
    }
    if (parts.size() < 2 || parts.size() > 3)
        return -1;
    for (auto p : parts)
        if (!AllDigits(p) || p.size() > 2)
            return -1;
    h = ToInt(parts[0]);
    m = ToInt(parts[1]);
    sec = parts.size() == 3 ? ToInt(parts[2]) : 0;
    return h <= 23 && m <= 59 && sec <= 60 ? 1 : -1;
}

// A token that holds a time: "hh:mm...", or two or three dotted groups of one or two digits.
bool LooksLikeClock(std::string_view token) {
    if (token.find(':') != std::string_view::npos)
        return true;
    const auto parts = SplitOn(token.substr(0, token.find_first_not_of("0123456789.")), '.');
    return (parts.size() == 2 || parts.size() == 3) && parts[0].size() <= 2 && !parts[0].empty() && IsDigit(token[0]);
}

std::string TwoDigits(int v) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%02d", v);
    return buf;
}

} // namespace

MailDate ParseMailDate(std::string_view raw) {
    // Comments such as "(JST)" go first; then the words.
    std::string text;
    int depth = 0;
    for (char c : raw) {
        if (c == '(')
            ++depth;
        else if (c == ')' && depth > 0)
            --depth;
        else if (depth == 0)
            text += (c == ',' || c == '\t' || c == '\r' || c == '\n') ? ' ' : c;
    }
    // ISO 8601: "2001-03-06T21:05:09" is a date and a time.
    for (std::size_t t = text.find('T'); t != std::string::npos; t = text.find('T', t + 1))
        if (t > 0 && t + 1 < text.size() && IsDigit(text[t - 1]) && IsDigit(text[t + 1]))
            text[t] = ' ';
    int year = -1, month = -1, day = -1, h = -1, m = 0, sec = 0;
    bool badTime = false;
    std::optional<int> zone;
    auto takeZone = [&zone](std::string_view word) {
        if (!zone)
            zone = word.front() == '+' || word.front() == '-' ? OffsetMinutes(word) : NamedZoneMinutes(word);
    };
    std::vector<std::string_view> numbers;
    for (auto token : SplitOn(text, ' ')) {
        if (token.empty())
            continue;
        if ((token.front() == '+' || token.front() == '-') && IsZone(token)) {
            takeZone(token);
            continue;
        }
        if (LooksLikeClock(token)) {
            int th, tm, ts;
            std::string_view glued;
            if (h >= 0)
                continue; // a second time (asctime's year comes after the first) is not ours
            if (ParseClock(token, th, tm, ts, glued) == 1) {
                h = th;
                m = tm;
                sec = ts;
                if (!glued.empty())
                    takeZone(glued);
            } else {
                badTime = true;
            }
            continue;
        }
        const char dateSep = token.find('/') != std::string_view::npos   ? '/'
                             : token.find('-') != std::string_view::npos ? '-'
                             : token.find('.') != std::string_view::npos ? '.'
                                                                         : '\0';
        if (dateSep) {
            const auto parts = SplitOn(token, dateSep);
            if (parts.size() == 3 && AllDigits(parts[0]) && AllDigits(parts[1]) && AllDigits(parts[2]) &&
                parts[0].size() >= 2 && parts[0].size() <= 4 && parts[1].size() <= 2 && parts[2].size() <= 2) {
                year = FullYear(parts[0]);
                month = ToInt(parts[1]);
                day = ToInt(parts[2]);
            } else if (parts.size() == 3 && AllDigits(parts[0]) && parts[0].size() <= 2 && MonthOf(parts[1]) > 0 &&
                       AllDigits(parts[2]) && parts[2].size() <= 4) {
                // The obsolete "19-Nov-82".
                day = ToInt(parts[0]);
                month = MonthOf(parts[1]);
                year = FullYear(parts[2]);
            }
            continue;
        }
        if (AllDigits(token)) {
            numbers.push_back(token);
            continue;
        }
        if (month < 0)
            month = MonthOf(token);
        if (IsZone(token))
            takeZone(token); // day names are no zone
    }
    if (year < 0 && month > 0) {
        // "6 Mar 2001", "Mar 6 2001", "6 Mar 01": a number of three or more digits, or above 31, is
        // the year; otherwise the first number is the day and the second the year.
        std::string_view dayText, yearText;
        for (auto n : numbers) {
            if (yearText.empty() && (n.size() >= 3 || ToInt(n) > 31))
                yearText = n;
            else if (dayText.empty())
                dayText = n;
            else if (yearText.empty())
                yearText = n;
        }
        if (!dayText.empty() && !yearText.empty() && dayText.size() <= 2) {
            day = ToInt(dayText);
            year = FullYear(yearText);
        }
    }
    MailDate result;
    // A day that does not exist, or a time that is there but cannot be read, must not pass for
    // another day or for midnight: the mail gets the unreadable marker.
    if (badTime || year < 1900 || year > 9999 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month)) {
        result.ymd = kUnknownYmd;
        result.hms = kUnknownHms;
        return result;
    }
    result.ymd = std::to_string(year) + "/" + TwoDigits(month) + "/" + TwoDigits(day);
    result.hms = h < 0 ? std::string(kUnknownHms) : TwoDigits(h) + ":" + TwoDigits(m) + ":" + TwoDigits(sec);
    result.readable = true;
    result.zoneMinutes = zone;
    return result;
}

namespace {

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

// "+0900", "-0500"
std::string ZoneText(int zoneMinutes) {
    const int magnitude = zoneMinutes < 0 ? -zoneMinutes : zoneMinutes;
    char buf[16];
    std::snprintf(buf, sizeof buf, "%c%02d%02d", zoneMinutes < 0 ? '-' : '+', magnitude / 60 % 100, magnitude % 60);
    return buf;
}

} // namespace

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
    std::snprintf(buf, sizeof buf, "%s, %02d %s %04d %02d:%02d:%02d ", kDayNames[WeekdayOf(*c)], c->day,
                  kMonthNames[c->month - 1], c->year, c->hour, c->minute, c->second);
    return buf + ZoneText(zoneMinutes);
}

} // namespace kamo
