#include "mime/MimeEntities.h"

#include "common/AsciiText.h"
#include "mime/EarlierReading.h"
#include "mime/MimeHeaders.h"
#include "mime/TransferEncodings.h"

namespace kamo {
namespace {

bool IsUuencode(const std::string& encoding) {
    return (encoding == "x-uuencode" || encoding == "uuencode") && !EarlierReading::Active();
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

} // namespace

EntityInfo DescribeEntity(std::string_view header, const char* defaultType) {
    EntityInfo info;
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

bool IsShownText(const EntityInfo& info) {
    return (info.type == "text/plain" || info.type == "text/html") && !info.named && !info.attachment;
}

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

bool EntityWalker::IsIdentity(const std::string& encoding) {
    return encoding != "base64" && encoding != "quoted-printable" && !IsUuencode(encoding);
}

std::string EntityWalker::Decode(std::string_view body, const std::string& encoding) {
    if (encoding == "base64") {
        switch (ShapeOfBase64(body)) {
        case Base64Shape::Decoded:
            return std::string(body);
        case Base64Shape::Stray:
            stray_ = true;
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

std::string_view EntityWalker::DecodeInPlace(std::string_view body, const std::string& encoding, std::string& storage) {
    if (IsIdentity(encoding))
        return body;
    storage = Decode(body, encoding);
    return storage;
}

void EntityWalker::Walk(std::string_view header, std::string_view body) {
    Entity(header, body, 0, "text/plain", true);
}

void EntityWalker::Entity(std::string_view header, std::string_view body, int depth, const char* defaultType,
                          bool shown) {
    const EntityInfo info = DescribeEntity(header, defaultType);
    const bool multipart = info.type.rfind("multipart/", 0) == 0;
    const bool message = info.type == "message/rfc822" && !info.named && !info.attachment;
    if ((multipart || message) && depth >= kMaxDepth) {
        TooDeep(info, header, body, shown);
    } else if (multipart) {
        Multipart(info, body, depth, shown);
    } else if (message) {
        // An embedded message without a transfer encoding is read where it lies: a copy per level
        // would multiply a deep mail's size by its depth.
        std::string decoded;
        const EntityParts inner = SplitEntity(DecodeInPlace(body, info.encoding, decoded));
        EnterMessage(info, inner.header, shown);
        Entity(inner.header, inner.body, depth + 1, "text/plain", shown);
        LeaveMessage();
    } else {
        Leaf(info, body, shown);
    }
}

void EntityWalker::Multipart(const EntityInfo& info, std::string_view body, int depth, bool shown) {
    const auto parts = info.boundary.empty() ? std::nullopt : SplitMultipart(body, info.boundary);
    if (!parts) {
        Unsplit(info, body, shown);
        return;
    }
    const char* defaultType = info.type == "multipart/digest" ? "message/rfc822" : "text/plain";
    std::size_t chosen = parts->size();
    if (info.type == "multipart/alternative" && !parts->empty()) {
        std::size_t html = parts->size();
        for (std::size_t i = 0; i < parts->size() && chosen == parts->size(); ++i) {
            const EntityInfo part = DescribeEntity(SplitEntity((*parts)[i]).header, defaultType);
            if (part.type == "text/plain" && IsShownText(part))
                chosen = i;
            else if (part.type == "text/html" && IsShownText(part) && html == parts->size())
                html = i;
        }
        if (chosen == parts->size())
            chosen = html < parts->size() ? html : parts->size() - 1;
    }
    EnterMultipart(info);
    for (std::size_t i = 0; i < parts->size(); ++i) {
        const EntityParts part = SplitEntity((*parts)[i]);
        const bool alternativeShown = chosen == parts->size() || i == chosen;
        Entity(part.header, part.body, depth + 1, defaultType, shown && alternativeShown);
    }
    LeaveMultipart();
}

MultipartWriter::MultipartWriter(std::string& out, std::string_view subtype, std::string_view boundary,
                                 std::string_view lineEnd)
    : out_(out), boundary_(boundary), lineEnd_(lineEnd) {
    out_.append("Content-Type: multipart/").append(subtype).append("; boundary=\"").append(boundary_).append("\"");
    out_.append(lineEnd_).append(lineEnd_);
}

void MultipartWriter::NextPart() {
    out_.append("--").append(boundary_).append(lineEnd_);
}

void MultipartWriter::End() {
    out_.append("--").append(boundary_).append("--").append(lineEnd_);
}

void AppendBase64Part(std::string& out, std::string_view contentType, std::string_view moreFields,
                      std::string_view bytes, std::string_view lineEnd) {
    out.append("Content-Type: ").append(contentType).append(lineEnd);
    out.append("Content-Transfer-Encoding: base64").append(lineEnd);
    out.append(moreFields);
    out.append(lineEnd);
    out.append(Base64Lines(bytes, lineEnd));
}

} // namespace kamo
