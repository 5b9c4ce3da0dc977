#include "mime/HtmlText.h"

#include <algorithm>
#include <array>
#include <utility>

#include "common/AsciiText.h"
#include "mime/EarlierReading.h"

namespace kamo {
namespace {

bool IsHtmlSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f';
}

void AppendUtf8(std::string& out, unsigned long cp) {
    if (cp == 0 || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        cp = 0xFFFD;
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// The named references mail writers use; a name not here stays as written.
constexpr std::array<std::pair<const char*, unsigned long>, 24> kEntities = {{
    {"amp", '&'},      {"lt", '<'},       {"gt", '>'},       {"quot", '"'},     {"apos", '\''},     {"nbsp", ' '},
    {"copy", 0xA9},    {"reg", 0xAE},     {"yen", 0xA5},     {"trade", 0x2122}, {"hellip", 0x2026}, {"mdash", 0x2014},
    {"ndash", 0x2013}, {"lsquo", 0x2018}, {"rsquo", 0x2019}, {"ldquo", 0x201C}, {"rdquo", 0x201D},  {"middot", 0xB7},
    {"times", 0xD7},   {"divide", 0xF7},  {"laquo", 0xAB},   {"raquo", 0xBB},   {"bull", 0x2022},   {"deg", 0xB0},
}};

// A character reference at `pos` ("&..."): its character and the position after it.
bool ReadReference(std::string_view s, std::size_t pos, std::string& out, std::size_t& next) {
    // Only as far as the longest reference: "&" after "&" without ";" must not search the rest of
    // the text for every one of them.
    const std::size_t semi = s.substr(0, pos + 13).find(';', pos + 1);
    if (semi == std::string_view::npos || semi - pos > 12 || semi == pos + 1)
        return false;
    const std::string_view name = s.substr(pos + 1, semi - pos - 1);
    unsigned long cp = 0;
    if (name[0] == '#') {
        const bool hex = name.size() > 1 && (name[1] == 'x' || name[1] == 'X');
        const std::string_view digits = name.substr(hex ? 2 : 1);
        if (digits.empty())
            return false;
        for (char c : digits) {
            const char l = ToLowerAscii(c);
            int v = (c >= '0' && c <= '9') ? c - '0' : (hex && l >= 'a' && l <= 'f') ? l - 'a' + 10 : -1;
            if (v < 0)
                return false;
            cp = cp * (hex ? 16 : 10) + static_cast<unsigned long>(v);
            if (cp > 0x10FFFF)
                cp = 0x110000;
        }
    } else {
        bool found = false;
        for (const auto& [entity, value] : kEntities)
            if (name == entity) {
                cp = value;
                found = true;
            }
        if (!found)
            return false;
    }
    AppendUtf8(out, cp);
    next = semi + 1;
    return true;
}

// Tags whose content is no text.
bool IsHiddenElement(std::string_view name) {
    return name == "head" || name == "script" || name == "style" || name == "title";
}

bool IsBlockElement(std::string_view name) {
    static constexpr std::array<const char*, 19> kBlocks = {"p",   "div",   "li", "tr",         "h1", "h2",    "h3",
                                                            "h4",  "h5",    "h6", "ul",         "ol", "table", "hr",
                                                            "pre", "title", "dl", "blockquote", "dt"};
    for (const char* b : kBlocks)
        if (name == b)
            return true;
    return false;
}

// The value of attribute `name` (lower case) in the inside of a tag, references decoded; empty
// when there is none.
std::string AttributeValue(std::string_view tag, std::string_view name) {
    for (std::size_t i = 0; i < tag.size();) {
        if (tag[i] == '"' || tag[i] == '\'') { // a value of another attribute
            const std::size_t end = tag.find(tag[i], i + 1);
            i = end == std::string_view::npos ? tag.size() : end + 1;
            continue;
        }
        const bool starts = i == 0 || IsHtmlSpace(tag[i - 1]);
        if (!starts || !EqualsNoCase(tag.substr(i, name.size()), name)) {
            ++i;
            continue;
        }
        std::size_t j = i + name.size();
        while (j < tag.size() && IsHtmlSpace(tag[j]))
            ++j;
        if (j >= tag.size() || tag[j] != '=') {
            i = j;
            continue;
        }
        ++j;
        while (j < tag.size() && IsHtmlSpace(tag[j]))
            ++j;
        std::size_t end = 0;
        if (j < tag.size() && (tag[j] == '"' || tag[j] == '\'')) {
            end = tag.find(tag[j], j + 1);
            ++j;
            if (end == std::string_view::npos)
                end = tag.size();
        } else {
            end = j;
            while (end < tag.size() && !IsHtmlSpace(tag[end]))
                ++end;
        }
        const std::string_view raw = tag.substr(j, end - j);
        std::string value;
        for (std::size_t k = 0; k < raw.size();) {
            std::size_t next = 0;
            if (raw[k] == '&' && ReadReference(raw, k, value, next)) {
                k = next;
            } else {
                value += raw[k];
                ++k;
            }
        }
        return std::string(TrimAscii(value, " \t\r\n"));
    }
    return {};
}

class Builder {
public:
    void Text(std::string_view s) {
        if (pendingSpace_ && !AtLineStart())
            out_ += ' ';
        pendingSpace_ = false;
        out_.append(s);
    }
    void Space() { pendingSpace_ = true; }
    void Break(bool always) {
        pendingSpace_ = false;
        while (!out_.empty() && out_.back() == ' ')
            out_.pop_back();
        if (always || !AtLineStart())
            out_ += '\n';
    }
    // A link's target is kept after its text, "text <URL>", unless the text says it already.
    void OpenLink(std::string href) {
        CloseLink();
        const std::string lower = ToLowerAscii(href);
        if (href.empty() || href[0] == '#' || lower.rfind("javascript:", 0) == 0)
            return;
        link_ = std::move(href);
        linkStart_ = out_.size();
    }
    void CloseLink() {
        if (link_.empty())
            return;
        const std::string shown(TrimAscii(std::string_view(out_).substr(std::min(linkStart_, out_.size())), " \n"));
        std::string target = link_;
        link_.clear();
        const bool mailto = EqualsNoCase(std::string_view(target).substr(0, 7), "mailto:");
        if (shown == target || (mailto && shown == target.substr(7)))
            return;
        out_ += (shown.empty() && AtLineStart()) ? "<" + target + ">" : " <" + target + ">";
    }

    std::string Finish() {
        CloseLink();
        std::string text;
        std::size_t start = out_.find_first_not_of('\n');
        if (start == std::string::npos)
            return text;
        std::size_t end = out_.find_last_not_of('\n');
        text = out_.substr(start, end - start + 1);
        // Blanks before line breaks go.
        std::string clean;
        clean.reserve(text.size());
        for (char c : text) {
            if (c == '\n')
                while (!clean.empty() && clean.back() == ' ')
                    clean.pop_back();
            clean += c;
        }
        while (!clean.empty() && clean.back() == ' ')
            clean.pop_back();
        return clean;
    }

private:
    bool AtLineStart() const { return out_.empty() || out_.back() == '\n'; }
    std::string out_;
    bool pendingSpace_ = false;
    std::string link_;          // the target of the link being read
    std::size_t linkStart_ = 0; // where its text begins in out_
};

} // namespace

std::string HtmlToText(std::string_view html) {
    Builder b;
    bool pre = false;
    std::size_t i = 0;
    while (i < html.size()) {
        const char c = html[i];
        if (c == '<') {
            if (html.compare(i, 4, "<!--") == 0) {
                const std::size_t end = html.find("-->", i + 4);
                i = end == std::string_view::npos ? html.size() : end + 3;
                continue;
            }
            std::size_t j = i + 1;
            const bool closing = j < html.size() && html[j] == '/';
            if (closing)
                ++j;
            std::string name;
            while (j < html.size() && (IsAsciiAlpha(html[j]) || (html[j] >= '0' && html[j] <= '9')))
                name += ToLowerAscii(html[j++]);
            const bool declaration = !closing && j < html.size() && (html[j] == '!' || html[j] == '?');
            if (name.empty() && !declaration) {
                b.Text("<"); // a "<" that starts no tag is text
                ++i;
                continue;
            }
            // The end of the tag, stepping over quoted attribute values.
            char quote = 0;
            std::size_t k = j;
            for (; k < html.size(); ++k) {
                if (quote) {
                    if (html[k] == quote)
                        quote = 0;
                } else if (html[k] == '"' || html[k] == '\'') {
                    quote = html[k];
                } else if (html[k] == '>') {
                    break;
                }
            }
            i = k < html.size() ? k + 1 : html.size();
            if (!closing && IsHiddenElement(name)) {
                // Everything up to the closing tag is no text.
                std::size_t close = i;
                for (;;) {
                    close = html.find("</", close);
                    if (close == std::string_view::npos || EqualsNoCase(html.substr(close + 2, name.size()), name)) {
                        break;
                    }
                    close += 2;
                }
                if (close == std::string_view::npos) {
                    i = html.size();
                } else {
                    const std::size_t gt = html.find('>', close);
                    i = gt == std::string_view::npos ? html.size() : gt + 1;
                }
                continue;
            }
            if (name == "a" && !EarlierReading::Active()) {
                if (closing)
                    b.CloseLink();
                else
                    b.OpenLink(AttributeValue(html.substr(j, k - j), "href"));
            }
            if (name == "br")
                b.Break(true);
            else if (IsBlockElement(name))
                b.Break(false);
            if (name == "pre")
                pre = !closing;
            continue;
        }
        if (c == '&') {
            std::string ch;
            std::size_t next = 0;
            if (ReadReference(html, i, ch, next)) {
                b.Text(ch);
                i = next;
                continue;
            }
        }
        if (IsHtmlSpace(c)) {
            if (pre) {
                if (c == '\n')
                    b.Break(true);
                else if (c != '\r')
                    b.Text(std::string_view(&c, 1));
            } else {
                b.Space();
            }
            ++i;
            continue;
        }
        // A run of ordinary text in one go (an "&" that starts no reference is text too).
        std::size_t end = i + 1;
        while (end < html.size() && html[end] != '<' && html[end] != '&' && !IsHtmlSpace(html[end]))
            ++end;
        b.Text(html.substr(i, end - i));
        i = end;
    }
    return b.Finish();
}

std::string HtmlMetaCharset(std::string_view html) {
    const std::string head = ToLowerAscii(html.substr(0, 4096));
    for (std::size_t meta = head.find("<meta"); meta != std::string::npos; meta = head.find("<meta", meta + 5)) {
        const std::size_t end = head.find('>', meta);
        const std::size_t at = head.find("charset=", meta);
        if (at == std::string::npos || (end != std::string::npos && at > end))
            continue;
        std::size_t p = at + 8;
        while (p < head.size() && (head[p] == '"' || head[p] == '\'' || head[p] == ' '))
            ++p;
        std::string name;
        while (p < head.size() && (IsAsciiAlpha(head[p]) || (head[p] >= '0' && head[p] <= '9') || head[p] == '-' ||
                                   head[p] == '_' || head[p] == ':' || head[p] == '.'))
            name += head[p++];
        if (!name.empty())
            return name;
    }
    return {};
}

} // namespace kamo
