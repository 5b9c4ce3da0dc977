#include "import/MailDecode.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <utility>
#include <vector>

#include "common/AsciiText.h"
#include "common/CodePage.h"
#include "common/IcuConverter.h"
#include "common/QuoteSafe.h"

namespace kamo {
namespace {

// The geta mark stands in for a JIS X 0212 character, which CP932 cannot hold.
constexpr unsigned char kGeta[] = {0x81, 0xAC};

bool IsAscii(std::string_view s) {
    return std::none_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
}

// Every byte in a whole character: lead bytes with a valid second byte, nothing undefined.
bool IsWellFormedCp932(std::string_view s) {
    for (std::size_t i = 0; i < s.size(); ++i) {
        const auto b = static_cast<unsigned char>(s[i]);
        if (b < 0x80 || (b >= 0xA1 && b <= 0xDF))
            continue;
        if (!((b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC)) || i + 1 >= s.size())
            return false;
        const auto t = static_cast<unsigned char>(s[++i]);
        if (t < 0x40 || t == 0x7F || t > 0xFC)
            return false;
    }
    return true;
}

// Header values are folded with CR LF and indented with blanks or tabs.
bool IsSpace(char c) {
    return kSpaceTabCrLf.find(c) != std::string_view::npos;
}

std::string_view Trim(std::string_view s) {
    return TrimAscii(s, kSpaceTabCrLf);
}

// ISO-2022-JP runs rewritten as the CP932 bytes of the same characters (JIS row/cell to
// Shift_JIS arithmetic, half-width katakana to its single byte). Bytes outside designated runs,
// and anything that does not fit, are copied as they are.
std::string JisToCp932(std::string_view in) {
    enum class Mode { Ascii, Kanji, Katakana, Supplement } mode = Mode::Ascii;
    std::string out;
    out.reserve(in.size());
    for (std::size_t i = 0; i < in.size();) {
        const auto c = static_cast<unsigned char>(in[i]);
        if (c == 0x1B) {
            const std::string_view rest = in.substr(i + 1);
            auto starts = [&](std::string_view seq) { return rest.substr(0, seq.size()) == seq; };
            if (starts("$B") || starts("$@")) {
                mode = Mode::Kanji;
                i += 3;
            } else if (starts("$(D")) {
                mode = Mode::Supplement;
                i += 4;
            } else if (starts("(B") || starts("(J") || starts("(H")) {
                mode = Mode::Ascii;
                i += 3;
            } else if (starts("(I")) {
                mode = Mode::Katakana;
                i += 3;
            } else if (starts("&@")) { // announces a JIS X 0208 revision; the designation follows
                i += 3;
            } else {
                out += static_cast<char>(c);
                ++i;
            }
            continue;
        }
        if (c == 0x0E) { // SO / SI: katakana shift used by a few mailers
            mode = Mode::Katakana;
            ++i;
            continue;
        }
        if (c == 0x0F) {
            mode = Mode::Ascii;
            ++i;
            continue;
        }
        const bool graphic = c >= 0x21 && c <= 0x7E;
        if ((mode == Mode::Kanji || mode == Mode::Supplement) && graphic && i + 1 < in.size()) {
            const auto c2 = static_cast<unsigned char>(in[i + 1]);
            if (c2 >= 0x21 && c2 <= 0x7E) {
                if (mode == Mode::Supplement) {
                    out.append(reinterpret_cast<const char*>(kGeta), 2);
                } else {
                    unsigned s1 = ((c - 0x21u) >> 1) + 0x81u;
                    if (s1 > 0x9F)
                        s1 += 0x40;
                    unsigned s2 = (c & 1u) ? c2 + 0x1Fu : c2 + 0x7Eu;
                    if ((c & 1u) && s2 >= 0x7F)
                        ++s2;
                    out += static_cast<char>(s1);
                    out += static_cast<char>(s2);
                }
                i += 2;
                continue;
            }
        }
        if (mode == Mode::Katakana && c >= 0x21 && c <= 0x5F) {
            out += static_cast<char>(c + 0x80);
            ++i;
            continue;
        }
        out += static_cast<char>(c);
        ++i;
    }
    return out;
}

// Any character set ICU knows to UTF-8, with substitutes for bad bytes. False for an unknown set.
bool DecodeWithIcu(const std::string& charset, std::string_view bytes, std::string& out) {
    IcuConverter conv(charset.c_str());
    std::optional<std::string> text = conv.ToUtf8(bytes);
    if (!text)
        return false;
    out = std::move(*text);
    return true;
}

bool DecodeCharset(std::string charset, std::string_view bytes, std::string& out) {
    charset = ToLowerAscii(charset.substr(0, charset.find('*'))); // RFC 2231 language suffix
    if (charset.rfind("iso-2022-jp", 0) == 0 || charset == "csiso2022jp") {
        out = DecodeMailText(bytes);
        return true;
    }
    static const std::array<const char*, 11> kShiftJis = {"shift_jis", "shift-jis",  "sjis",          "x-sjis",
                                                          "ms_kanji",  "csshiftjis", "windows-31j",   "cp932",
                                                          "ms932",     "x-ms-cp932", "shift_jisx0213"};
    if (std::find(kShiftJis.begin(), kShiftJis.end(), charset) != kShiftJis.end() || charset == "us-ascii" ||
        charset == "ascii") {
        out = Cp932ToUtf8(bytes);
        return true;
    }
    if (charset == "utf-8" || charset == "utf8") {
        if (IsValidUtf8(bytes)) {
            out.assign(bytes);
            return true;
        }
        return DecodeWithIcu("UTF-8", bytes, out);
    }
    return DecodeWithIcu(charset, bytes, out);
}

int Base64Value(char c) {
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (c >= '0' && c <= '9')
        return c - '0' + 52;
    if (c == '+')
        return 62;
    if (c == '/')
        return 63;
    return -1;
}

std::string DecodeBase64(std::string_view in) {
    std::string out;
    unsigned bits = 0;
    int count = 0;
    for (char c : in) {
        if (c == '=')
            break;
        const int v = Base64Value(c);
        if (v < 0)
            continue;
        bits = (bits << 6) | static_cast<unsigned>(v);
        count += 6;
        if (count >= 8) {
            count -= 8;
            out += static_cast<char>((bits >> count) & 0xFF);
        }
    }
    return out;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    c = ToLowerAscii(c);
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

std::string DecodeQ(std::string_view in) {
    std::string out;
    for (std::size_t i = 0; i < in.size(); ++i) {
        if (in[i] == '_') {
            out += ' ';
        } else if (in[i] == '=' && i + 2 < in.size() && HexValue(in[i + 1]) >= 0 && HexValue(in[i + 2]) >= 0) {
            out += static_cast<char>(HexValue(in[i + 1]) * 16 + HexValue(in[i + 2]));
            i += 2;
        } else {
            out += in[i];
        }
    }
    return out;
}

// One encoded word starting at `pos` ("=?"); on success its decoded text and the position after "?=".
bool ReadEncodedWord(std::string_view s, std::size_t pos, std::string& decoded, std::size_t& next) {
    const std::size_t q1 = s.find('?', pos + 2);
    if (q1 == std::string_view::npos || q1 + 2 >= s.size() || s[q1 + 2] != '?')
        return false;
    const std::string_view charset = s.substr(pos + 2, q1 - pos - 2);
    const char encoding = ToLowerAscii(s[q1 + 1]);
    const std::size_t textStart = q1 + 3;
    const std::size_t close = s.find("?=", textStart);
    if (close == std::string_view::npos || charset.empty() || (encoding != 'b' && encoding != 'q'))
        return false;
    const std::string_view text = s.substr(textStart, close - textStart);
    auto hasSpace = [](std::string_view v) { return std::any_of(v.begin(), v.end(), IsSpace); };
    if (hasSpace(charset) || hasSpace(text))
        return false;
    const std::string bytes = encoding == 'b' ? DecodeBase64(text) : DecodeQ(text);
    if (!DecodeCharset(std::string(charset), bytes, decoded))
        return false;
    next = close + 2;
    return true;
}

std::string StripQuotes(std::string_view s) {
    s = Trim(s);
    if (s.size() >= 2 && s.front() == '"' && s.back() == '"') {
        std::string out;
        for (std::size_t i = 1; i + 1 < s.size(); ++i) {
            if (s[i] == '\\' && i + 2 < s.size())
                ++i;
            out += s[i];
        }
        return out;
    }
    if (s.size() >= 2 && s.front() == '\'' && s.back() == '\'')
        return std::string(s.substr(1, s.size() - 2));
    return std::string(s);
}

// Position of `c` outside double quotes, from `from`; npos when none.
std::size_t FindUnquoted(std::string_view s, char c, std::size_t from = 0) {
    bool quoted = false;
    for (std::size_t i = from; i < s.size(); ++i) {
        if (s[i] == '\\' && quoted) {
            ++i;
            continue;
        }
        if (s[i] == '"')
            quoted = !quoted;
        else if (!quoted && s[i] == c)
            return i;
    }
    return std::string_view::npos;
}

// The first mailbox of a list "a@x, b@y": cut at a comma outside quotes, brackets and angle
// brackets, but only once what comes before it holds an address.
std::string_view FirstMailbox(std::string_view s) {
    bool quoted = false;
    int angle = 0;
    int round = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const char c = s[i];
        if (quoted) {
            if (c == '\\')
                ++i;
            else if (c == '"')
                quoted = false;
            continue;
        }
        if (c == '"')
            quoted = true;
        else if (c == '<')
            ++angle;
        else if (c == '>' && angle > 0)
            --angle;
        else if (c == '(')
            ++round;
        else if (c == ')' && round > 0)
            --round;
        else if (c == ',' && angle == 0 && round == 0 && s.substr(0, i).find('@') != std::string_view::npos)
            return s.substr(0, i);
    }
    return s;
}

std::string JoinParts(std::string_view a, std::string_view b) {
    a = Trim(a);
    b = Trim(b);
    if (a.empty())
        return std::string(b);
    if (b.empty())
        return std::string(a);
    return std::string(a) + " " + std::string(b);
}

std::string FinishName(std::string_view name) {
    std::string n = std::string(Trim(DecodeEncodedWords(StripQuotes(name))));
    n = StripQuotes(n); // quotes that were inside an encoded word
    return n.empty() ? std::string(kNoName) : n;
}

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

std::string DecodeMailText(std::string_view raw) {
    if (raw.find('\x1B') != std::string_view::npos)
        return Cp932ToUtf8(JisToCp932(raw));
    if (IsAscii(raw))
        return std::string(raw);
    return Cp932ToUtf8(raw);
}

std::string DecodeEncodedWords(std::string_view s) {
    if (s.find("=?") == std::string_view::npos)
        return std::string(s);
    std::string out;
    std::size_t pos = 0;
    std::size_t afterLastWord = std::string_view::npos; // where the text after the last encoded word began
    while (pos < s.size()) {
        const std::size_t start = s.find("=?", pos);
        if (start == std::string_view::npos) {
            out.append(s.substr(pos));
            break;
        }
        std::string decoded;
        std::size_t next = 0;
        if (!ReadEncodedWord(s, start, decoded, next)) {
            out.append(s.substr(pos, start + 2 - pos));
            pos = start + 2;
            afterLastWord = std::string_view::npos;
            continue;
        }
        const std::string_view gap = s.substr(pos, start - pos);
        // Blanks between two adjacent encoded words are not part of the text.
        if (!(afterLastWord == pos && Trim(gap).empty()))
            out.append(gap);
        out += decoded;
        pos = next;
        afterLastWord = pos;
    }
    return out;
}

AddressName SplitAddress(std::string_view utf8) {
    std::string_view s = Trim(FirstMailbox(Trim(utf8)));
    AddressName result;
    std::string name;
    if (const auto lt = FindUnquoted(s, '<'); lt != std::string_view::npos) {
        const auto gt = s.find('>', lt + 1);
        const auto addrEnd = gt == std::string_view::npos ? s.size() : gt;
        result.address = std::string(Trim(s.substr(lt + 1, addrEnd - lt - 1)));
        name = JoinParts(s.substr(0, lt), gt == std::string_view::npos ? std::string_view() : s.substr(gt + 1));
    } else if (const auto open = FindUnquoted(s, '('); open != std::string_view::npos) {
        std::size_t close = open + 1;
        for (int depth = 1; close < s.size(); ++close) {
            if (s[close] == '(')
                ++depth;
            else if (s[close] == ')' && --depth == 0)
                break;
        }
        name = std::string(Trim(s.substr(open + 1, close - open - 1)));
        const std::string_view after = close < s.size() ? s.substr(close + 1) : std::string_view();
        result.address = JoinParts(s.substr(0, open), after);
    } else if (const auto at = s.find('@'); at != std::string_view::npos) {
        std::size_t begin = at;
        while (begin > 0 && !IsSpace(s[begin - 1]))
            --begin;
        std::size_t end = at;
        while (end < s.size() && !IsSpace(s[end]))
            ++end;
        result.address = std::string(s.substr(begin, end - begin));
        name = JoinParts(s.substr(0, begin), s.substr(end));
    } else {
        result.address = std::string(s);
    }
    result.address = StripQuotes(DecodeEncodedWords(result.address));
    result.name = FinishName(name);
    return result;
}

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

std::string ReplaceBars(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (char c : utf8) {
        if (c == '|')
            out += "｜";
        else
            out += c;
    }
    return out;
}

MailRecord BuildMailRecord(const TmpMail& raw, Mail_StrChange_Fn strChange) {
    auto finish = [&](std::string_view utf8) { return ReplaceBars(QuoteSafe(strChange, utf8)); };
    MailRecord mail;
    const AddressName from = SplitAddress(DecodeMailText(raw.from));
    const AddressName to = SplitAddress(DecodeMailText(raw.to));
    mail.sndAdd = finish(from.address);
    mail.sndName = finish(from.name);
    mail.rcvAdd = finish(to.address);
    mail.rcvName = finish(to.name);
    mail.subject = finish(DecodeEncodedWords(DecodeMailText(raw.subject)));
    const MailDate date = ParseMailDate(raw.date);
    mail.ymd = date.ymd;
    mail.hms = date.hms;
    // Bodies are the bulk of the work: CP932 bodies go to the library as they are and are decoded
    // once; ISO-2022-JP ones must be decoded first (their bytes look like ASCII delimiters), and
    // so must broken ones (a stray first byte would pair up with the library's replacement).
    if (raw.body.find('\x1B') == std::string::npos && IsWellFormedCp932(raw.body))
        mail.body = ReplaceBars(DecodeMailText(QuoteSafeCp932(strChange, raw.body)));
    else
        mail.body = finish(DecodeMailText(raw.body));
    mail.include = "0";
    return mail;
}

} // namespace kamo
