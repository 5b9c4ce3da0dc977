#pragma once
// The syntax of a search, the same in the window's field and `kamomail search`: terms separated by
// blanks (ASCII or the ideographic space), all of which a mail must meet.
//
//   word  "a phrase"            anywhere: subject, a sender or receiver name or address, the body
//   from:  to:  subject:  body: in that field only (to: also every Cc the archive keeps)
//   date:2002  date:2002-04  date:2002-04-01  date:2002-03..2002-05  date:..2002  date:2002-04..
//   has:attachment  has:picture  is:sent  is:received  in:受信フォルダ (the PostPet mailbox)
//   -term                        mail that does not meet the term
//
// A prefix is ASCII letters before a colon; one this syntax does not know is an error, never a word,
// so a mistyped prefix never quietly finds nothing ("re:" is found as a word when quoted).
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace kamo {

enum class TermField { Any, From, To, Subject, Body, Date, Attachment, Picture, Sent, Received, Mailbox };

struct SearchTerm {
    TermField field = TermField::Any;
    bool negated = false;
    // Any, From, To, Subject, Body: the text folded (SearchFold); Mailbox: the name as typed.
    std::string text;
    // Date: the first and last day as the mail's date column compares them ("2002/04", "2002/05/31"), each
    // a prefix of the dates it takes in; empty for an open end.
    std::string dateFrom, dateTo;
    bool operator==(const SearchTerm&) const = default;
};

struct SearchSyntaxError {
    enum class Kind { UnknownPrefix, EmptyValue, BadDate, ReversedRange, UnknownHas, UnknownIs, OpenQuote };
    Kind kind;
    std::string term; // the term as typed
};

struct ParsedSearch {
    std::vector<SearchTerm> terms; // in the order typed, each once
    std::optional<SearchSyntaxError> error;
};

ParsedSearch ParseSearch(std::string_view query);

// What the user reads about a malformed term, naming it, in the catalogue's words (common/MessagesSearch.h).
std::string SearchErrorText(const SearchSyntaxError& error);

// A malformed query reaching a search that cannot ask the user (an export's selection).
class SearchSyntaxException : public std::runtime_error {
public:
    explicit SearchSyntaxException(const SearchSyntaxError& error)
        : std::runtime_error(SearchErrorText(error)), error_(error) {}
    const SearchSyntaxError& Error() const { return error_; }

private:
    SearchSyntaxError error_;
};

// The syntax in a few lines for the help of the window and the terminal.
const char* SearchSyntaxHelp();

// has:picture asks each attachment's picture mark (IsPictureAttachment of db/Attachments.h, kept with
// the attachment). A copy opened as an older version wrote it has no marks: its stored types, matched
// by this pattern, are all it can be asked.
inline constexpr const char* kPictureTypePattern = "image/%";

} // namespace kamo
