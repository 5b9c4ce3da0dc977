#include "mime/MimeBody.h"

#include "mime/EarlierReading.h"
#include "mime/EncodedWords.h"
#include "mime/HtmlText.h"
#include "mime/MailCharsets.h"
#include "mime/MimeEntities.h"
#include "mime/MimeHeaders.h"

namespace kamo {
namespace {

constexpr std::string_view kTooDeepNote =
    "【KamoMail】ここから先は入れ子が深すぎるため、読み解かずに添付ファイルとして保存しました。";

// At the nesting bound, the rest when it is text: kept as the body's text, as it stands.
constexpr std::string_view kTooDeepTextNote =
    "【KamoMail】ここから先は入れ子が深すぎるため、読み解かずに元のテキストのまま載せました。";

constexpr std::string_view kStrayBytesNote =
    "【KamoMail】このメールのbase64で書かれた部分に余計な文字があったため、その文字を読み飛ばしました。"
    "その前後が正しく読めていないことがあります。";

// A line feed without a CR before it: text BodyFromRaw would change.
bool HasBareLineFeed(std::string_view s) {
    for (std::size_t lf = s.find('\n'); lf != std::string_view::npos; lf = s.find('\n', lf + 1))
        if (lf == 0 || s[lf - 1] != '\r')
            return true;
    return false;
}

// The text and attachments of the walk's entities: shown text parts in order, everything else kept.
class ContentWalker : public EntityWalker {
public:
    explicit ContentWalker(bool withHtml) : withHtml_(withHtml) {}
    MimeContent Take() {
        if (StrayBytes())
            Append(kStrayBytesNote);
        return std::move(out_);
    }

protected:
    void Leaf(const EntityInfo& info, std::string_view body, bool shown) override {
        if (IsShownText(info)) {
            const bool keepHtml = withHtml_ && embedded_ == 0 && !htmlSeen_ && info.type == "text/html";
            if (shown || keepHtml) {
                const std::string bytes = Decode(body, info.encoding);
                if (keepHtml) {
                    htmlSeen_ = true;
                    out_.html = DecodeBodyText(HtmlCharset(info, bytes), bytes);
                }
                if (shown)
                    Text(info, bytes);
            }
        } else {
            out_.attachments.push_back({info.name, info.type, info.charset, Decode(body, info.encoding)});
        }
    }

    // Where the walk stops: the rest, as it stands, is the text when it is text, else an attachment;
    // a note says which.
    void TooDeep(const EntityInfo& info, std::string_view header, std::string_view body, bool shown) override {
        // An identity encoding is read where it lies: the rest of a deep mail may be most of it.
        std::string decoded;
        const std::string_view bytes = DecodeInPlace(body, info.encoding, decoded);
        if (shown && !EarlierReading::Active() && bytes.find('\0') == std::string_view::npos) {
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
        if (shown)
            Append(kTooDeepNote);
        out_.attachments.push_back(
            {info.name, info.type, std::string(), IsIdentity(info.encoding) ? std::string(body) : std::move(decoded)});
    }

    void Unsplit(const EntityInfo& info, std::string_view body, bool shown) override {
        if (shown) // no part to be found: the body is all the text there is
            Text(EntityInfo{}, Decode(body, info.encoding));
    }

    void EnterMessage(const EntityInfo&, std::string_view innerHeader, bool shown) override {
        if (shown)
            EmbeddedHeader(innerHeader);
        ++embedded_;
    }
    void LeaveMessage() override { --embedded_; }

private:
    static std::string HtmlCharset(const EntityInfo& info, const std::string& bytes) {
        return info.charset.empty() ? HtmlMetaCharset(bytes) : info.charset;
    }

    void Text(const EntityInfo& info, const std::string& bytes) {
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
    ContentWalker walker(withHtml);
    walker.Walk(header, body);
    return walker.Take();
}

std::string BodyFromRaw(std::string_view raw) {
    std::string body;
    body.reserve(raw.size() + raw.size() / 32);
    size_t start = 0;
    for (;;) {
        const size_t lf = raw.find('\n', start);
        std::string_view line = raw.substr(start, lf == std::string_view::npos ? std::string_view::npos : lf - start);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        body.append(line);
        if (lf == std::string_view::npos)
            return body;
        body += "\r\n";
        start = lf + 1;
    }
}

} // namespace kamo
