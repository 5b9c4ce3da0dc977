#include "mime/MailAddresses.h"

#include "common/AsciiText.h"
#include "mime/EarlierReading.h"
#include "mime/EncodedWords.h"
#include "mime/MimeHeaders.h"

namespace kamo {
namespace {

// Header values are folded with CR LF and indented with blanks or tabs.
bool IsSpace(char c) {
    return kSpaceTabCrLf.find(c) != std::string_view::npos;
}

std::string_view Trim(std::string_view s) {
    return TrimAscii(s, kSpaceTabCrLf);
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

// The mailboxes of a list as they stand in it: cut at a comma or a group's ";" outside quotes,
// comments and angle brackets ("<" inside a comment opens nothing), a group's name and its ":"
// dropped. A comma ends a mailbox only once the mailbox holds an "@" (or nothing at all): names
// with a comma that their writer left unquoted ("Yamada, Hanako <h@x>") stay whole.
std::vector<std::string_view> MailboxPieces(std::string_view s) {
    std::vector<std::string_view> pieces;
    bool quoted = false;
    int angle = 0;
    int round = 0;
    bool address = false; // an "@" in this mailbox so far (one look per character, however many commas)
    bool text = false;    // anything but blanks in this mailbox so far
    std::size_t start = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const char c = s[i];
        if (c == '@')
            address = true;
        if (quoted) {
            if (c == '\\' && ++i < s.size() && s[i] == '@')
                address = true;
            else if (c == '"')
                quoted = false;
            continue;
        }
        if (round == 0 && angle == 0 && (c == ';' || c == ':' || (c == ',' && (address || !text)))) {
            // "group: a, b;": the group's name goes, its members stay.
            if (c != ':')
                pieces.push_back(s.substr(start, i - start));
            start = i + 1;
            address = false;
            text = false;
            continue;
        }
        if (!IsSpace(c))
            text = true;
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
    }
    pieces.push_back(s.substr(start));
    return pieces;
}

// The first mailbox as the earlier decoding took it: cut at the first comma outside quotes, brackets
// and angle brackets once an "@" came before it; groups not known.
std::string_view EarlierFirstMailbox(std::string_view s) {
    bool quoted = false;
    int angle = 0;
    int round = 0;
    bool address = false;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const char c = s[i];
        if (c == '@')
            address = true;
        if (quoted) {
            if (c == '\\' && ++i < s.size() && s[i] == '@')
                address = true;
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
        else if (c == ',' && angle == 0 && round == 0 && address)
            return s.substr(0, i);
    }
    return s;
}

// The first mailbox of a list; a text without any (a group with no members) as it is.
std::string_view FirstMailbox(std::string_view s) {
    if (EarlierReading::Active())
        return EarlierFirstMailbox(s);
    for (std::string_view piece : MailboxPieces(s))
        if (!Trim(piece).empty())
            return piece;
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

} // namespace

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

std::vector<MailParty> SplitAddressList(std::string_view utf8) {
    std::vector<MailParty> parties;
    for (std::string_view piece : MailboxPieces(utf8)) {
        piece = Trim(piece);
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

bool IsPlainAddress(std::string_view address) {
    const size_t at = address.find('@');
    if (at == std::string_view::npos || at == 0 || at + 1 == address.size() ||
        address.find('@', at + 1) != std::string_view::npos)
        return false;
    for (char c : address) {
        const bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                        std::string_view("!#$%&'*+-/=?^_`{|}~.@").find(c) != std::string_view::npos;
        if (!ok)
            return false;
    }
    return true;
}

bool IsUsableAddress(std::string_view address) {
    return address.size() <= 254 && IsPlainAddress(address);
}

void AppendMailbox(HeaderLine& line, const std::string& name, const std::string& address) {
    if (IsPlainText(name, 60) && name.find_first_of("\"\\") == std::string::npos)
        line.Words("\"" + name + "\"");
    else if (!name.empty())
        line.Words(EncodedWords(name));
    line.Token("<" + address + ">");
}

} // namespace kamo
