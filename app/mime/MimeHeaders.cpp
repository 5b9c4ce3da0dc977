#include "mime/MimeHeaders.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "common/AsciiText.h"
#include "common/CodePage.h"
#include "mime/EarlierReading.h"
#include "mime/EncodedWords.h"
#include "mime/MailCharsets.h"

namespace kamo {
namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

// The next line of `text` from `pos`, without its line break; `pos` moves past it.
std::string_view NextLine(std::string_view text, std::size_t& pos) {
    const std::size_t lf = text.find('\n', pos);
    const std::size_t end = lf == std::string_view::npos ? text.size() : lf;
    std::string_view line = text.substr(pos, end - pos);
    pos = lf == std::string_view::npos ? text.size() : lf + 1;
    while (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    return line;
}

// "Name: value": a name of printable characters without blanks, then a colon.
std::size_t FieldNameEnd(std::string_view line) {
    const std::size_t colon = line.find(':');
    if (colon == 0 || colon == std::string_view::npos)
        return std::string_view::npos;
    for (std::size_t i = 0; i < colon; ++i) {
        const auto c = static_cast<unsigned char>(line[i]);
        if (c <= 0x20 || c >= 0x7F)
            return std::string_view::npos;
    }
    return colon;
}

// Which bytes of a raw value are characters of their own, that may be a quote, a backslash, a
// semicolon or a bracket: not the second byte of a Shift_JIS character ("表" is 95 5C, its second
// byte a backslash; looked for only in a value that is no well-formed UTF-8), nor the bytes of an
// ISO-2022-JP two-byte or katakana run. (The earlier reading took every byte for itself.)
std::vector<char> SyntaxBytes(std::string_view s) {
    std::vector<char> syntax(s.size(), 1);
    if (EarlierReading::Active())
        return syntax;
    const bool cp932 = !IsValidUtf8(s);
    bool twoByteRun = false; // in a run whose bytes are all characters
    for (std::size_t i = 0; i < s.size(); ++i) {
        const auto b = static_cast<unsigned char>(s[i]);
        if (b == 0x1B) {
            const std::string_view rest = s.substr(i + 1, 2);
            if (rest == "$B" || rest == "$@" || rest == "$(" || rest == "(I") // (I: katakana, bytes 21..5F
                twoByteRun = true;
            else if (rest.size() == 2 && rest[0] == '(')
                twoByteRun = false;
            continue;
        }
        if (twoByteRun) {
            syntax[i] = b < 0x21 || b > 0x7E; // blanks and line breaks stay what they are
            continue;
        }
        const bool lead = cp932 && ((b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC));
        if (lead && i + 1 < s.size()) {
            const auto t = static_cast<unsigned char>(s[i + 1]);
            if (t >= 0x40 && t <= 0xFC && t != 0x7F)
                syntax[++i] = 0;
        }
    }
    return syntax;
}

// Without "(comments)" outside quotes.
std::string WithoutComments(std::string_view s) {
    const std::vector<char> syntax = SyntaxBytes(s);
    std::string out;
    int depth = 0;
    bool quoted = false;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const char c = syntax[i] ? s[i] : '\0';
        if (quoted) {
            out += s[i];
            if (c == '\\' && i + 1 < s.size())
                out += s[++i];
            else if (c == '"')
                quoted = false;
        } else if (depth > 0) {
            if (c == '\\')
                ++i;
            else if (c == '(')
                ++depth;
            else if (c == ')')
                --depth;
        } else if (c == '(') {
            ++depth;
        } else {
            if (c == '"')
                quoted = true;
            out += s[i];
        }
    }
    return out;
}

// The pieces of `s` between semicolons outside quotes. A quote that never closes quotes nothing
// (a writer left its close out): the semicolons after it still part the parameters. (The earlier
// reading took the rest of the value for quoted.)
std::vector<std::string_view> SplitParams(std::string_view s) {
    const std::vector<char> syntax = SyntaxBytes(s);
    // closes[i]: whether a quoted string whose text starts at i has its closing quote; from the end,
    // so that the split stays one pass.
    std::vector<char> closes(s.size() + 2, 0);
    for (std::size_t i = s.size(); i-- > 0;) {
        if (syntax[i] && s[i] == '"')
            closes[i] = 1;
        else
            closes[i] = syntax[i] && s[i] == '\\' ? closes[i + 2] : closes[i + 1];
    }
    const bool earlier = EarlierReading::Active();
    std::vector<std::string_view> pieces;
    bool quoted = false;
    std::size_t start = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (!syntax[i])
            continue;
        if (quoted && s[i] == '\\')
            ++i;
        else if (s[i] == '"' && (quoted || earlier || closes[i + 1]))
            quoted = !quoted;
        else if (!quoted && s[i] == ';') {
            pieces.push_back(s.substr(start, i - start));
            start = i + 1;
        }
    }
    pieces.push_back(s.substr(start));
    return pieces;
}

std::string Unquote(std::string_view v) {
    v = TrimAscii(v, kSpaceTabCrLf);
    // ""text": a quote too many before the value, not an empty value with text after it. (The
    // earlier reading gave the empty value.)
    while (!EarlierReading::Active() && v.size() > 2 && v[0] == '"' && v[1] == '"' && !IsBlank(v[2]) && v[2] != '"')
        v.remove_prefix(1);
    if (v.empty() || v.front() != '"')
        return std::string(v);
    const std::vector<char> syntax = SyntaxBytes(v);
    std::string out;
    for (std::size_t i = 1; i < v.size(); ++i) {
        if (syntax[i] && v[i] == '\\' && i + 1 < v.size())
            out += v[++i];
        else if (syntax[i] && v[i] == '"')
            break; // anything after the closing quote is no part of the value
        else
            out += v[i];
    }
    return out;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    c = ToLowerAscii(c);
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

std::string PercentDecode(std::string_view s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%' && i + 2 < s.size() && HexValue(s[i + 1]) >= 0 && HexValue(s[i + 2]) >= 0) {
            out += static_cast<char>(HexValue(s[i + 1]) * 16 + HexValue(s[i + 2]));
            i += 2;
        } else {
            out += s[i];
        }
    }
    return out;
}

struct Section {
    long index = 0;
    bool extended = false;
    std::string raw;
};

} // namespace

std::optional<std::string> HeaderField(std::string_view header, std::string_view name) {
    std::size_t pos = 0;
    std::optional<std::string> value;
    while (pos < header.size()) {
        const std::string_view line = NextLine(header, pos);
        if (line.empty())
            break;
        if (IsBlank(line.front())) {
            if (value)
                value->append(line);
            continue;
        }
        if (value)
            break; // the field found is complete
        const std::size_t colon = FieldNameEnd(line);
        if (colon != std::string_view::npos && EqualsNoCase(line.substr(0, colon), name))
            value = std::string(line.substr(colon + 1));
    }
    if (value)
        *value = std::string(TrimAscii(*value, kSpaceTabCrLf));
    return value;
}

const FieldParams::Param* FieldParams::Find(const std::string& name) const {
    const auto it = params.find(name);
    return it == params.end() ? nullptr : &it->second;
}

FieldParams ParseFieldParams(std::string_view value) {
    FieldParams result;
    const std::vector<std::string_view> pieces = SplitParams(value);
    // "name=...": no value, a parameter only (a type has no "=" before its "/"). (The earlier
    // reading took it for the value.)
    const std::size_t firstEq = pieces[0].find('=');
    const bool onlyParams = !EarlierReading::Active() && firstEq != std::string_view::npos &&
                            pieces[0].substr(0, firstEq).find('/') == std::string_view::npos;
    if (!onlyParams)
        for (char c : WithoutComments(pieces[0]))
            if (!IsBlank(c) && c != '\r' && c != '\n')
                result.value += ToLowerAscii(c);
    std::map<std::string, std::vector<Section>> sectioned;
    for (std::size_t i = onlyParams ? 0 : 1; i < pieces.size(); ++i) {
        const std::string_view piece = pieces[i];
        const std::size_t eq = piece.find('=');
        if (eq == std::string_view::npos)
            continue;
        std::string name = ToLowerAscii(TrimAscii(piece.substr(0, eq), kSpaceTabCrLf));
        const std::string_view rawValue = TrimAscii(piece.substr(eq + 1), kSpaceTabCrLf);
        std::string text = !rawValue.empty() && rawValue.front() == '"'
                               ? Unquote(rawValue)
                               : std::string(TrimAscii(WithoutComments(rawValue), kSpaceTabCrLf));
        const std::size_t star = name.find('*');
        if (name.empty())
            continue;
        if (star == std::string::npos) {
            result.params.try_emplace(name, FieldParams::Param{std::move(text), {}, false});
            continue;
        }
        // name*, name*N or name*N*: RFC 2231.
        Section section;
        std::string_view rest = std::string_view(name).substr(star + 1);
        if (!rest.empty() && rest.back() == '*') {
            section.extended = true;
            rest.remove_suffix(1);
        } else if (rest.empty()) {
            section.extended = true;
        }
        if (!rest.empty()) {
            if (!std::all_of(rest.begin(), rest.end(), [](char c) { return c >= '0' && c <= '9'; }) || rest.size() > 4)
                continue;
            section.index = std::stol(std::string(rest));
        }
        section.raw = std::move(text);
        sectioned[name.substr(0, star)].push_back(std::move(section));
    }
    for (auto& [name, sections] : sectioned) {
        std::stable_sort(sections.begin(), sections.end(),
                         [](const Section& a, const Section& b) { return a.index < b.index; });
        FieldParams::Param param;
        param.extended = std::any_of(sections.begin(), sections.end(), [](const Section& s) { return s.extended; });
        for (std::size_t i = 0; i < sections.size(); ++i) {
            std::string_view raw = sections[i].raw;
            if (i == 0 && sections[i].extended) {
                // charset'language'value
                const std::size_t q1 = raw.find('\'');
                const std::size_t q2 = q1 == std::string_view::npos ? q1 : raw.find('\'', q1 + 1);
                if (q2 != std::string_view::npos) {
                    param.charset = std::string(raw.substr(0, q1));
                    raw = raw.substr(q2 + 1);
                }
            }
            param.value += sections[i].extended ? PercentDecode(raw) : std::string(raw);
        }
        result.params[name] = std::move(param);
    }
    return result;
}

std::string ParamText(const FieldParams::Param& param) {
    // An extended value that names no charset is read as a plain one: some writers put an encoded
    // word there. (The earlier reading kept the word as it stands.)
    if (param.extended && (!param.charset.empty() || EarlierReading::Active()))
        return DecodeBodyText(param.charset, param.value);
    return DecodeEncodedWords(DecodeUndeclaredText(param.value));
}

EntityParts SplitEntity(std::string_view entity) {
    std::size_t pos = 0;
    // "From sender date", the separator line of an mbox file, left before a forwarded message's
    // header by the program that forwarded it: no part of the message when a header field follows.
    // (The earlier reading took it for the start of a body.)
    if (entity.starts_with("From ") && !EarlierReading::Active()) {
        std::size_t next = 0;
        NextLine(entity, next);
        std::size_t after = next;
        if (FieldNameEnd(NextLine(entity, after)) != std::string_view::npos)
            entity.remove_prefix(next);
    }
    while (pos < entity.size()) {
        const std::size_t lineStart = pos;
        const std::string_view line = NextLine(entity, pos);
        if (line.empty())
            return {entity.substr(0, lineStart), entity.substr(pos)};
        if (lineStart == 0 && FieldNameEnd(line) == std::string_view::npos)
            return {std::string_view(), entity};
    }
    return {entity, std::string_view()};
}

HeaderLine::HeaderLine(std::string& out, std::string_view name, std::string_view lineEnd)
    : out_(out), lineEnd_(lineEnd), lineStart_(out.size()) {
    out_.append(name).append(":");
}

void HeaderLine::Token(std::string_view token, bool blankBefore) {
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

void HeaderLine::Words(std::string_view spaced) {
    size_t start = 0;
    while (start <= spaced.size()) {
        size_t end = spaced.find(' ', start);
        if (end == std::string_view::npos)
            end = spaced.size();
        Token(spaced.substr(start, end - start));
        start = end + 1;
    }
}

void HeaderLine::End() {
    if (tokens_ == 0)
        out_ += ' ';
    out_.append(lineEnd_);
}

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
        if (i + 1 == name.size() || !IsUtf8Continuation(name[i + 1]))
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

} // namespace kamo
