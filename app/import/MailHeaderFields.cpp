#include "import/MailHeaderFields.h"

#include "common/AsciiText.h"
#include "import/MailAddresses.h"
#include "import/MailCharsets.h"
#include "import/MimeHeaders.h"

namespace kamo {
namespace {

// The pieces of a list between the commas (and group delimiters) that stand outside quotes,
// comments and angle brackets.
std::vector<std::string_view> ListPieces(std::string_view s) {
    std::vector<std::string_view> pieces;
    bool quoted = false;
    int angle = 0;
    int round = 0;
    size_t start = 0;
    for (size_t i = 0; i < s.size(); ++i) {
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
        else if (c == '(')
            ++round;
        else if (c == ')' && round > 0)
            --round;
        else if (round == 0 && c == '<')
            ++angle;
        else if (round == 0 && c == '>' && angle > 0)
            --angle;
        else if (round == 0 && angle == 0 && (c == ',' || c == ';' || c == ':')) {
            // "group: a, b;": the group's name goes, its members stay.
            if (c != ':')
                pieces.push_back(s.substr(start, i - start));
            start = i + 1;
        }
    }
    pieces.push_back(s.substr(start));
    return pieces;
}

} // namespace

std::vector<MailParty> SplitAddressList(std::string_view utf8) {
    std::vector<MailParty> parties;
    for (std::string_view piece : ListPieces(utf8)) {
        piece = TrimAscii(piece, kSpaceTabCrLf);
        if (piece.empty())
            continue;
        AddressName split = SplitAddress(piece);
        if (split.name == kNoName)
            split.name.clear();
        if (split.address.empty() && split.name.empty())
            continue;
        parties.push_back({std::move(split.name), std::move(split.address)});
    }
    return parties;
}

HeaderFields ReadHeaderFields(std::string_view header) {
    HeaderFields fields;
    if (const auto id = HeaderField(header, "Message-ID")) {
        const auto ids = MessageIds(*id);
        if (!ids.empty())
            fields.messageId = ids.front();
    }
    if (const auto v = HeaderField(header, "In-Reply-To"))
        fields.inReplyTo = JoinedMessageIds(*v);
    if (const auto v = HeaderField(header, "References"))
        fields.references = JoinedMessageIds(*v);
    if (const auto v = HeaderField(header, "Cc"))
        fields.cc = SplitAddressList(DecodeUndeclaredText(*v));
    if (const auto v = HeaderField(header, "Reply-To"))
        fields.replyTo = SplitAddressList(DecodeUndeclaredText(*v));
    return fields;
}

} // namespace kamo
