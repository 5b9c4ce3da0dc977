#pragma once
// The MIME header fields of a mail or of one of its parts: unfolded values, structured values with
// their parameters (quoted, RFC 2231 extended and continued), the split of an entity into header
// and body; and the other way, header lines folded and a file name as an RFC 2231 parameter.
#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace kamo {

// The value of the first field called `name` (any letter case) in the header region `header`,
// unfolded (each line break before a blank or tab goes) and trimmed; nothing when there is none.
// The region ends at its first empty line.
std::optional<std::string> HeaderField(std::string_view header, std::string_view name);

// A structured value such as a Content-Type or Content-Disposition: "type/subtype; name=value; ...".
struct FieldParams {
    struct Param {
        std::string value;   // bytes: quotes and escapes removed, RFC 2231 sections joined and %XX decoded
        std::string charset; // of an RFC 2231 extended value (may be empty)
        bool extended = false;
    };
    std::string value;                   // before the first ";", lower case, without blanks and comments
    std::map<std::string, Param> params; // names in lower case, without "*" and section numbers
    const Param* Find(const std::string& name) const;
};

// Parses a structured value. An extended parameter (name*=charset'lang'%XX, or sections name*0,
// name*1*, ... in any order) wins over a plain one of the same name.
FieldParams ParseFieldParams(std::string_view value);

// A parameter as text for people (a file name), UTF-8: an extended value in its charset, any other
// with its encoded words decoded and raw 8-bit bytes read as DecodeUndeclaredText reads them.
std::string ParamText(const FieldParams::Param& param);

// A whole message or body part split at its first empty line. Without an empty line it is all
// header when its first line is a header field, and all body otherwise.
struct EntityParts {
    std::string_view header;
    std::string_view body;
};
EntityParts SplitEntity(std::string_view entity);

// The width header lines are folded at wherever there is a place to fold.
inline constexpr std::size_t kFoldAt = 78;

// Appends tokens to a header, each after a blank, folding before a token that would pass the line
// width. Folding keeps the blank, so unfolding (HeaderField) gives back the same text.
class HeaderLine {
public:
    HeaderLine(std::string& out, std::string_view name, std::string_view lineEnd);
    void Token(std::string_view token, bool blankBefore = true);
    // Each blank-separated word a token.
    void Words(std::string_view spaced);
    // Ends the line (a field without tokens gets its blank).
    void End();

private:
    std::string& out_;
    std::string_view lineEnd_;
    std::size_t lineStart_;
    int tokens_ = 0;
};

// An attachment's Content-Disposition, from the line end after "attachment" on: a short plain name
// quoted, any other name percent-encoded in UTF-8 (RFC 2231) and, when long, continued over
// several lines (filename*0*=, filename*1*=, ...) so that no line passes 78 characters, each piece
// whole characters (a reader decodes the pieces one by one). An attachment without a name has no
// file-name parameter at all.
std::string FileNameParameter(const std::string& name, std::string_view lineEnd);

} // namespace kamo
