#include "import/MimeBody.h"

#include <optional>

#include "common/AsciiText.h"
#include "import/FramedReader.h"
#include "import/HtmlText.h"
#include "mime/EarlierReading.h"
#include "mime/EncodedWords.h"
#include "mime/MailCharsets.h"
#include "mime/MimeHeaders.h"
#include "mime/TransferEncodings.h"

namespace kamo {
namespace {

// Deeper than any mailer nests; a hostile mail stops here instead of exhausting the stack.
constexpr int kMaxDepth = 24;

constexpr std::string_view kTooDeepNote =
    "【KamoMail】ここから先は入れ子が深すぎるため、読み解かずに添付ファイルとして保存しました。";

// At the nesting bound, the rest when it is text: kept as the body's text, as it stands.
constexpr std::string_view kTooDeepTextNote =
    "【KamoMail】ここから先は入れ子が深すぎるため、読み解かずに元のテキストのまま載せました。";

constexpr std::string_view kStrayBytesNote =
    "【KamoMail】このメールのbase64で書かれた部分に余計な文字があったため、その文字を読み飛ばしました。"
    "その前後が正しく読めていないことがあります。";

bool IsUuencode(const std::string& encoding) {
    return (encoding == "x-uuencode" || encoding == "uuencode") && !EarlierReading::Active();
}

bool IsIdentity(const std::string& encoding) {
    return encoding != "base64" && encoding != "quoted-printable" && !IsUuencode(encoding);
}

bool IsBase64Text(char c) {
    return IsAsciiAlpha(c) || (c >= '0' && c <= '9') || c == '+' || c == '/' || c == '=';
}

// A body declared base64 that holds 8-bit bytes or NULs: stored decoded already, whatever its
// header says, when bytes no base64 text has are many (decoded text and pictures are full of them,
// blanks and punctuation too); stray bytes in a damaged base64 text when they are a few among
// base64 lines, to be skipped as RFC 2045 says.
enum class Base64Shape { Clean, Stray, Decoded };
Base64Shape ShapeOfBase64(std::string_view body) {
    std::size_t foreign = 0;
    std::size_t eightBit = 0;
    std::size_t text = 0;
    for (char c : body) {
        if (c == '\r' || c == '\n')
            continue;
        const auto b = static_cast<unsigned char>(c);
        if (b >= 0x80 || b == 0)
            ++eightBit;
        if (IsBase64Text(c))
            ++text;
        else
            ++foreign;
    }
    if (eightBit == 0)
        return Base64Shape::Clean;
    if (EarlierReading::Active())
        return Base64Shape::Decoded;
    return foreign * 32 <= text ? Base64Shape::Stray : Base64Shape::Decoded;
}

// A line feed without a CR before it: text BodyFromRaw would change.
bool HasBareLineFeed(std::string_view s) {
    for (std::size_t lf = s.find('\n'); lf != std::string_view::npos; lf = s.find('\n', lf + 1))
        if (lf == 0 || s[lf - 1] != '\r')
            return true;
    return false;
}

// The body undone from its transfer encoding; `stray` set when base64 bytes were skipped.
std::string TransferDecode(std::string_view body, const std::string& encoding, bool& stray) {
    if (encoding == "base64") {
        switch (ShapeOfBase64(body)) {
        case Base64Shape::Decoded:
            return std::string(body);
        case Base64Shape::Stray:
            stray = true;
            break;
        case Base64Shape::Clean:
            break;
        }
        return DecodeBase64(body);
    }
    if (encoding == "quoted-printable")
        return DecodeQuotedPrintable(body);
    if (IsUuencode(encoding)) {
        // No begin line: no uuencoded file, the body as it stands.
        if (auto bytes = DecodeUuencode(body))
            return std::move(*bytes);
    }
    return std::string(body);
}

// The parts of a multipart body between its delimiter lines ("--boundary", closed by
// "--boundary--"); the line break before a delimiter belongs to the delimiter. Nothing when no
// delimiter line is found. A missing close ends the last part at the end of the body.
std::optional<std::vector<std::string_view>> SplitMultipart(std::string_view body, const std::string& boundary) {
    const std::string delimiter = "--" + boundary;
    std::vector<std::string_view> parts;
    bool found = false;
    std::size_t partStart = 0;
    std::size_t pos = 0;
    while (pos < body.size()) {
        const std::size_t lineStart = pos;
        const std::size_t lf = body.find('\n', pos);
        const std::size_t lineEnd = lf == std::string_view::npos ? body.size() : lf;
        pos = lf == std::string_view::npos ? body.size() : lf + 1;
        std::string_view line = body.substr(lineStart, lineEnd - lineStart);
        if (line.compare(0, delimiter.size(), delimiter) != 0)
            continue;
        std::string_view rest = line.substr(delimiter.size());
        const bool close = rest.compare(0, 2, "--") == 0;
        if (close)
            rest.remove_prefix(2);
        if (!TrimAscii(rest, kSpaceTabCrLf).empty())
            continue; // a longer boundary that begins with this one
        if (found) {
            std::size_t end = lineStart;
            if (end > partStart && body[end - 1] == '\n')
                --end;
            if (end > partStart && body[end - 1] == '\r')
                --end;
            parts.push_back(body.substr(partStart, end - partStart));
        }
        found = true;
        partStart = pos;
        if (close)
            return parts;
    }
    if (!found)
        return std::nullopt;
    if (partStart < body.size())
        parts.push_back(body.substr(partStart));
    return parts;
}

struct PartInfo {
    std::string type; // "text/plain"
    std::string charset;
    std::string boundary;
    std::string encoding;
    std::string name;
    bool named = false;
    bool attachment = false; // disposition "attachment"
};

PartInfo Describe(std::string_view header, const char* defaultType) {
    PartInfo info;
    FieldParams type;
    if (auto field = HeaderField(header, "Content-Type"))
        type = ParseFieldParams(*field);
    info.type = type.value.find('/') == std::string::npos ? defaultType : type.value;
    if (const auto* p = type.Find("charset"))
        info.charset = p->value;
    if (const auto* p = type.Find("boundary"))
        info.boundary = p->value;
    if (auto field = HeaderField(header, "Content-Transfer-Encoding"))
        info.encoding = ToLowerAscii(TrimAscii(*field, kSpaceTabCrLf));
    FieldParams disposition;
    if (auto field = HeaderField(header, "Content-Disposition"))
        disposition = ParseFieldParams(*field);
    info.attachment = disposition.value == "attachment";
    const FieldParams::Param* name = disposition.Find("filename");
    if (!name)
        name = type.Find("name");
    if (name) {
        info.named = true;
        info.name = ParamText(*name);
    }
    return info;
}

bool IsShownText(const PartInfo& info) {
    return (info.type == "text/plain" || info.type == "text/html") && !info.named && !info.attachment;
}

class Walker {
public:
    explicit Walker(bool withHtml) : withHtml_(withHtml) {}
    MimeContent Take() {
        if (stray_)
            Append(kStrayBytesNote);
        return std::move(out_);
    }

    void Entity(std::string_view header, std::string_view body, int depth, const char* defaultType, bool showText) {
        const PartInfo info = Describe(header, defaultType);
        const bool multipart = info.type.rfind("multipart/", 0) == 0;
        const bool message = info.type == "message/rfc822" && !info.named && !info.attachment;
        if ((multipart || message) && depth >= kMaxDepth) {
            TooDeep(info, header, body, showText);
        } else if (multipart) {
            Multipart(info, body, depth, showText);
        } else if (message) {
            // An embedded message without a transfer encoding is read where it lies: a copy per
            // level would multiply a deep mail's size by its depth.
            std::string decoded;
            if (!IsIdentity(info.encoding))
                decoded = TransferDecode(body, info.encoding, stray_);
            const EntityParts inner = SplitEntity(IsIdentity(info.encoding) ? body : std::string_view(decoded));
            if (showText)
                EmbeddedHeader(inner.header);
            ++embedded_;
            Entity(inner.header, inner.body, depth + 1, "text/plain", showText);
            --embedded_;
        } else if (IsShownText(info)) {
            const bool keepHtml = withHtml_ && embedded_ == 0 && !htmlSeen_ && info.type == "text/html";
            if (showText || keepHtml) {
                const std::string bytes = TransferDecode(body, info.encoding, stray_);
                if (keepHtml) {
                    htmlSeen_ = true;
                    out_.html = DecodeBodyText(HtmlCharset(info, bytes), bytes);
                }
                if (showText)
                    Text(info, bytes);
            }
        } else {
            out_.attachments.push_back(
                {info.name, StoredContentType(info.type, info.charset), TransferDecode(body, info.encoding, stray_)});
        }
    }

private:
    // Where the walk stops: the rest, as it stands, is the text when it is text, else an attachment;
    // a note says which.
    void TooDeep(const PartInfo& info, std::string_view header, std::string_view body, bool showText) {
        // An identity encoding is read where it lies: the rest of a deep mail may be most of it.
        std::string decoded = IsIdentity(info.encoding) ? std::string() : TransferDecode(body, info.encoding, stray_);
        const std::string_view bytes = IsIdentity(info.encoding) ? body : std::string_view(decoded);
        if (showText && !EarlierReading::Active() && bytes.find('\0') == std::string_view::npos) {
            std::string text = DecodeUndeclaredText(bytes);
            if (text.find("\xEF\xBF\xBD") == std::string::npos) { // no U+FFFD: all of it is text
                Append(kTooDeepTextNote);
                EndWithBreaks(2);
                Append(BodyFromRaw(DecodeUndeclaredText(header)));
                out_.text += "\r\n";
                if (HasBareLineFeed(text))
                    text = BodyFromRaw(text);
                out_.text.reserve(out_.text.size() + text.size());
                out_.text += text;
                return;
            }
        }
        if (showText)
            Append(kTooDeepNote);
        out_.attachments.push_back(
            {info.name, info.type, IsIdentity(info.encoding) ? std::string(body) : std::move(decoded)});
    }

    void Multipart(const PartInfo& info, std::string_view body, int depth, bool showText) {
        const auto parts = info.boundary.empty() ? std::nullopt : SplitMultipart(body, info.boundary);
        if (!parts) {
            if (showText) // no part to be found: the body is all the text there is
                Text(PartInfo{}, TransferDecode(body, info.encoding, stray_));
            return;
        }
        const char* defaultType = info.type == "multipart/digest" ? "message/rfc822" : "text/plain";
        std::size_t shown = parts->size();
        if (info.type == "multipart/alternative" && !parts->empty()) {
            std::size_t html = parts->size();
            for (std::size_t i = 0; i < parts->size() && shown == parts->size(); ++i) {
                const PartInfo part = Describe(SplitEntity((*parts)[i]).header, defaultType);
                if (part.type == "text/plain" && IsShownText(part))
                    shown = i;
                else if (part.type == "text/html" && IsShownText(part) && html == parts->size())
                    html = i;
            }
            if (shown == parts->size())
                shown = html < parts->size() ? html : parts->size() - 1;
        }
        for (std::size_t i = 0; i < parts->size(); ++i) {
            const EntityParts part = SplitEntity((*parts)[i]);
            const bool alternativeShown = shown == parts->size() || i == shown;
            Entity(part.header, part.body, depth + 1, defaultType, showText && alternativeShown);
        }
    }

    static std::string HtmlCharset(const PartInfo& info, const std::string& bytes) {
        return info.charset.empty() ? HtmlMetaCharset(bytes) : info.charset;
    }

    void Text(const PartInfo& info, const std::string& bytes) {
        const bool html = info.type == "text/html";
        std::string text = DecodeBodyText(html ? HtmlCharset(info, bytes) : info.charset, bytes);
        if (html)
            text = HtmlToText(text);
        Append(BodyFromRaw(text));
    }

    // The embedded message's own From, Subject and Date, then a blank line.
    void EmbeddedHeader(std::string_view header) {
        std::string lines;
        for (const char* name : {"From", "Subject", "Date"})
            if (auto value = HeaderField(header, name))
                lines += std::string(name) + ": " + DecodeEncodedWords(DecodeUndeclaredText(*value)) + "\r\n";
        if (lines.empty())
            return;
        EndWithBreaks(2);
        Append(lines + "\r\n");
    }

    void Append(std::string_view text) {
        if (!text.empty())
            EndWithBreaks(1);
        out_.text.append(text);
    }

    // Makes the text so far end with a line break (2: a blank line); nothing while it is empty.
    void EndWithBreaks(int breaks) {
        if (out_.text.empty())
            return;
        auto endsWith = [&](std::string_view s) {
            return out_.text.size() >= s.size() && out_.text.compare(out_.text.size() - s.size(), s.size(), s) == 0;
        };
        for (int have = endsWith("\r\n\r\n") ? 2 : endsWith("\r\n") ? 1 : 0; have < breaks; ++have)
            out_.text += "\r\n";
    }

    MimeContent out_;
    bool stray_ = false; // base64 bytes were skipped somewhere
    bool withHtml_;
    bool htmlSeen_ = false;
    int embedded_ = 0; // message/rfc822 levels the walk is inside
};

} // namespace

bool HasMimeHeaders(std::string_view header) {
    for (const char* name : {"MIME-Version", "Content-Type", "Content-Transfer-Encoding"})
        if (HeaderField(header, name))
            return true;
    return false;
}

MimeContent ReadMimeContent(std::string_view header, std::string_view body, bool withHtml) {
    Walker walker(withHtml);
    walker.Entity(header, body, 0, "text/plain", true);
    return walker.Take();
}

} // namespace kamo
