#include "import/MailDates.h"

#include <algorithm>
#include <array>
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

bool ParseClock(std::string_view token, int& h, int& m, int& sec) {
    const auto parts = SplitOn(token, ':');
    if (parts.size() < 2 || parts.size() > 3)
        return false;
    for (auto p : parts)
        if (!AllDigits(p) || p.size() > 2)
            return false;
    h = ToInt(parts[0]);
    m = ToInt(parts[1]);
    sec = parts.size() == 3 ? ToInt(parts[2]) : 0;
    return h <= 23 && m <= 59 && sec <= 60;
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
    int year = -1, month = -1, day = -1, h = -1, m = 0, sec = 0;
    std::vector<std::string_view> numbers;
    for (auto token : SplitOn(text, ' ')) {
        if (token.empty())
            continue;
        if (token.front() == '+' || (token.front() == '-' && token.size() > 1 && AllDigits(token.substr(1))))
            continue; // zone offset
        if (token.find(':') != std::string_view::npos) {
            int th, tm, ts;
            if (h < 0 && ParseClock(token, th, tm, ts)) {
                h = th;
                m = tm;
                sec = ts;
            }
            continue;
        }
        const char dateSep = token.find('/') != std::string_view::npos   ? '/'
                             : token.find('-') != std::string_view::npos ? '-'
                                                                         : '\0';
        if (dateSep) {
            const auto parts = SplitOn(token, dateSep);
            if (parts.size() == 3 && AllDigits(parts[0]) && AllDigits(parts[1]) && AllDigits(parts[2]) &&
                parts[0].size() >= 2 && parts[0].size() <= 4 && parts[1].size() <= 2 && parts[2].size() <= 2) {
                year = FullYear(parts[0]);
                month = ToInt(parts[1]);
                day = ToInt(parts[2]);
            }
            continue;
        }
        if (AllDigits(token)) {
            numbers.push_back(token);
            continue;
        }
        if (token.size() >= 3 && month < 0) {
            const std::string word = ToLowerAscii(token.substr(0, 3));
            for (std::size_t i = 0; i < kMonths.size(); ++i)
                if (word == kMonths[i] &&
                    std::all_of(token.begin(), token.end(), [](char c) { return IsAsciiAlpha(c) || c == '.'; }))
                    month = static_cast<int>(i) + 1;
        }
        // Day names and zone names are not needed.
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
    if (year < 1900 || year > 9999 || month < 1 || month > 12 || day < 1 || day > 31) {
        result.ymd = kUnknownYmd;
        result.hms = kUnknownHms;
        return result;
    }
    result.ymd = std::to_string(year) + "/" + TwoDigits(month) + "/" + TwoDigits(day);
    result.hms = h < 0 ? std::string(kUnknownHms) : TwoDigits(h) + ":" + TwoDigits(m) + ":" + TwoDigits(sec);
    result.readable = true;
    return result;
}

} // namespace kamo
