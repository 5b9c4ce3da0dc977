#pragma once
// The entities of a MIME message, read and written side by side: the walk over a message's parts
// (multiparts split at their delimiters, embedded message/rfc822 messages followed, each part's
// type and parameters, bodies undone from their transfer encoding) and the writing of a multipart
// body, a delimiter line before each part.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kamo {

// One entity's Content-Type and Content-Disposition, as the walk reads them.
struct EntityInfo {
    std::string type; // "text/plain", lower case
    std::string charset;
    std::string boundary;
    std::string encoding; // Content-Transfer-Encoding, lower case
    std::string name;     // filename of the disposition, else name of the type; UTF-8 (ParamText)
    bool named = false;
    bool attachment = false; // disposition "attachment"
};

// The entity whose header region is `header`; a type without a "/" (or none) is `defaultType`.
EntityInfo DescribeEntity(std::string_view header, const char* defaultType);

// A text/plain or text/html part that is neither named nor an attachment: text a reader shows.
bool IsShownText(const EntityInfo& info);

// The parts of a multipart body between its delimiter lines ("--boundary", closed by
// "--boundary--"); the line break before a delimiter belongs to the delimiter. Nothing when no
// delimiter line is found. A missing close ends the last part at the end of the body.
std::optional<std::vector<std::string_view>> SplitMultipart(std::string_view body, const std::string& boundary);

// The walk over a message's entities. Multiparts are split into their parts (of multipart/digest,
// message/rfc822 unless they say otherwise), an embedded message/rfc822 that is neither named nor
// an attachment is followed into its own header and body (read where it lies when it has no
// transfer encoding, so a deep mail is not copied per level); every other entity is a leaf. Of a
// multipart/alternative only one part is shown: its first text/plain part, else its first text/html
// part, else its last part; the others are walked too, with `shown` false. Multiparts and messages
// deeper than kMaxDepth are not walked further (TooDeep).
class EntityWalker {
public:
    // Deeper than any mailer nests; a hostile mail stops here instead of exhausting the stack.
    static constexpr int kMaxDepth = 24;

    virtual ~EntityWalker() = default;

    // Walks the message whose header region is `header` and whose body is `body`.
    void Walk(std::string_view header, std::string_view body);

protected:
    // A part that is neither a multipart nor a message the walk follows; its body as it lies.
    virtual void Leaf(const EntityInfo& info, std::string_view body, bool shown) = 0;
    // A multipart or message at the nesting bound: the walk stops there.
    virtual void TooDeep(const EntityInfo& info, std::string_view header, std::string_view body, bool shown) = 0;
    // A multipart without a boundary or any of its delimiter lines: no part to be found.
    virtual void Unsplit(const EntityInfo& info, std::string_view body, bool shown) = 0;
    // Around the parts of a multipart, and around the entity an embedded message holds
    // (`innerHeader`: that message's header region).
    virtual void EnterMultipart(const EntityInfo&) {}
    virtual void LeaveMultipart() {}
    virtual void EnterMessage(const EntityInfo&, std::string_view /*innerHeader*/, bool /*shown*/) {}
    virtual void LeaveMessage() {}

    // `body` undone from `encoding`: base64 (a body declared base64 that holds 8-bit bytes or NULs
    // among few base64 characters was stored decoded and is taken as it is; a few stray bytes in a
    // base64 text are skipped and remembered, StrayBytes), quoted-printable, uuencode (a body
    // without a begin line as it stands); any other encoding gives the body as it is.
    std::string Decode(std::string_view body, const std::string& encoding);
    // `body` as it lies when `encoding` leaves it as it is, else decoded into `storage`.
    std::string_view DecodeInPlace(std::string_view body, const std::string& encoding, std::string& storage);
    // True when `encoding` leaves a body as it is.
    static bool IsIdentity(const std::string& encoding);
    // Whether base64 bytes were skipped somewhere so far.
    bool StrayBytes() const { return stray_; }

private:
    void Entity(std::string_view header, std::string_view body, int depth, const char* defaultType, bool shown);
    void Multipart(const EntityInfo& info, std::string_view body, int depth, bool shown);

    bool stray_ = false;
};

// A multipart entity written into `out`: its Content-Type field, which ends the entity's header
// region, then each part after its delimiter line, then the closing delimiter. After NextPart the
// caller appends the part: its header fields, an empty line and its body ended by a line end. No
// part may hold a line that starts with "--" and the boundary (parts in base64 never hold "=_", so a
// boundary with "=_" in it is safe from them); a nested multipart needs a boundary that the outer
// one is no prefix of, nor it of the outer one.
class MultipartWriter {
public:
    MultipartWriter(std::string& out, std::string_view subtype, std::string_view boundary, std::string_view lineEnd);
    void NextPart();
    void End();

private:
    std::string& out_;
    std::string boundary_;
    std::string_view lineEnd_;
};

// A leaf part in base64: "Content-Type: `contentType`", its transfer encoding, the header lines
// `moreFields` (each ended by `lineEnd`; may be empty), an empty line, and `bytes` in base64 lines
// of at most 76 characters.
void AppendBase64Part(std::string& out, std::string_view contentType, std::string_view moreFields,
                      std::string_view bytes, std::string_view lineEnd);

} // namespace kamo
