#include "search/SearchTerms.h"

#include <algorithm>
#include <cstdio>
#include <unordered_set>

#include "common/Messages.h"
#include "common/MessagesSearch.h"
#include "search/SearchText.h"

namespace kamo {
namespace {

constexpr std::string_view kIdeographicSpace = "\xE3\x80\x80";
constexpr std::string_view kWideQuote = "\xEF\xBC\x82"; // ＂, what an input method types for "

bool IsBlankAt(std::string_view s, size_t i) {
    const char c = s[i];
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f' ||
           s.substr(i, kIdeographicSpace.size()) == kIdeographicSpace;
}

size_t QuoteAt(std::string_view s, size_t i) {
    if (s[i] == '"')
        return 1;
    return s.substr(i, kWideQuote.size()) == kWideQuote ? kWideQuote.size() : 0;
}

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string LowerAscii(std::string_view s) {
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(), Lower);
    return out;
}

bool IsLeapYear(int y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

// One or more digits, at most `maxDigits`, as a number; nothing otherwise.
std::optional<int> Number(std::string_view s, size_t minDigits, size_t maxDigits) {
    if (s.size() < minDigits || s.size() > maxDigits)
        return std::nullopt;
    int n = 0;
    for (char c : s) {
        if (c < '0' || c > '9')
            return std::nullopt;
        n = n * 10 + (c - '0');
    }
    return n;
}

// "2002", "2002-04", "2002-04-01" (or with "/") as the prefix of the mail's date it stands for.
std::optional<std::string> DatePrefix(std::string_view text) {
    std::vector<std::string_view> parts;
    size_t start = 0;
    for (size_t i = 0; i <= text.size(); ++i)
        if (i == text.size() || text[i] == '-' || text[i] == '/') {
            parts.push_back(text.substr(start, i - start));
            start = i + 1;
        }
    if (parts.size() > 3)
        return std::nullopt;
    const auto year = Number(parts[0], 4, 4);
    if (!year || *year == 0)
        return std::nullopt;
    char out[16];
    std::snprintf(out, sizeof out, "%04d", *year);
    std::string prefix = out;
    if (parts.size() >= 2) {
        const auto month = Number(parts[1], 1, 2);
        if (!month || *month < 1 || *month > 12)
            return std::nullopt;
        std::snprintf(out, sizeof out, "/%02d", *month);
        prefix += out;
        if (parts.size() == 3) {
            static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
            const int last = kDays[*month - 1] + (*month == 2 && IsLeapYear(*year) ? 1 : 0);
            const auto day = Number(parts[2], 1, 2);
            if (!day || *day < 1 || *day > last)
                return std::nullopt;
            std::snprintf(out, sizeof out, "/%02d", *day);
            prefix += out;
        }
    }
    return prefix;
}

struct Token {
    std::string raw;       // as typed, quotes included
    std::string unquoted;  // with the quotes taken out
    size_t quotedFrom = 0; // where in `unquoted` the first quote stood (npos: none)
    bool openQuote = false;
};

// The next term from `at`: up to a blank outside quotes.
Token NextToken(std::string_view query, size_t& at) {
    Token token;
    token.quotedFrom = std::string::npos;
    bool inQuote = false;
    const size_t begin = at;
    while (at < query.size() && (inQuote || !IsBlankAt(query, at))) {
        if (const size_t q = QuoteAt(query, at)) {
            if (token.quotedFrom == std::string::npos)
                token.quotedFrom = token.unquoted.size();
            inQuote = !inQuote;
            at += q;
            continue;
        }
        token.unquoted += query[at++];
    }
    token.raw = std::string(query.substr(begin, at - begin));
    token.openQuote = inQuote;
    return token;
}

} // namespace

ParsedSearch ParseSearch(std::string_view query) {
    ParsedSearch parsed;
    auto fail = [&](SearchSyntaxError::Kind kind, const std::string& term) {
        parsed.terms.clear();
        parsed.error = SearchSyntaxError{kind, term};
        return parsed;
    };
    std::unordered_set<std::string> seen;
    size_t at = 0;
    while (at < query.size()) {
        if (IsBlankAt(query, at)) {
            at += static_cast<unsigned char>(query[at]) < 0x80 ? 1 : kIdeographicSpace.size();
            continue;
        }
        const Token token = NextToken(query, at);
        if (token.openQuote)
            return fail(SearchSyntaxError::Kind::OpenQuote, token.raw);
        SearchTerm term;
        std::string_view rest = token.unquoted;
        size_t plainLength = std::min(token.quotedFrom, rest.size()); // what stands before any quote
        // "-" before a term negates it; a lone "-" is a word.
        if (rest.size() > 1 && plainLength > 0 && rest[0] == '-') {
            term.negated = true;
            rest.remove_prefix(1);
            --plainLength;
        }
        // A prefix is ASCII letters and a colon, outside quotes.
        size_t letters = 0;
        while (letters < plainLength &&
               ((rest[letters] >= 'a' && rest[letters] <= 'z') || (rest[letters] >= 'A' && rest[letters] <= 'Z')))
            ++letters;
        if (letters > 0 && letters < plainLength && rest[letters] == ':') {
            const std::string prefix = LowerAscii(rest.substr(0, letters));
            const std::string_view value = rest.substr(letters + 1);
            static const std::pair<const char*, TermField> kTextFields[] = {{"from", TermField::From},
                                                                            {"to", TermField::To},
                                                                            {"subject", TermField::Subject},
                                                                            {"body", TermField::Body},
                                                                            {"in", TermField::Mailbox}};
            bool known = false;
            for (const auto& [name, field] : kTextFields)
                if (prefix == name) {
                    known = true;
                    term.field = field;
                }
            if (!known && prefix != "date" && prefix != "has" && prefix != "is")
                return fail(SearchSyntaxError::Kind::UnknownPrefix, token.raw);
            if (value.empty())
                return fail(SearchSyntaxError::Kind::EmptyValue, token.raw);
            if (prefix == "has" || prefix == "is") {
                const std::string v = LowerAscii(value);
                if (prefix == "has" && (v == "attachment" || v == "picture"))
                    term.field = v == "attachment" ? TermField::Attachment : TermField::Picture;
                else if (prefix == "is" && (v == "sent" || v == "received"))
                    term.field = v == "sent" ? TermField::Sent : TermField::Received;
                else
                    return fail(prefix == "has" ? SearchSyntaxError::Kind::UnknownHas
                                                : SearchSyntaxError::Kind::UnknownIs,
                                token.raw);
            } else if (prefix == "date") {
                term.field = TermField::Date;
                const size_t dots = value.find("..");
                const std::string_view from = value.substr(0, dots);
                const std::string_view to = dots == std::string_view::npos ? value : value.substr(dots + 2);
                if (from.empty() && to.empty())
                    return fail(SearchSyntaxError::Kind::BadDate, token.raw);
                if (!from.empty()) {
                    const auto f = DatePrefix(from);
                    if (!f)
                        return fail(SearchSyntaxError::Kind::BadDate, token.raw);
                    term.dateFrom = *f;
                }
                if (!to.empty()) {
                    const auto t = DatePrefix(to);
                    if (!t)
                        return fail(SearchSyntaxError::Kind::BadDate, token.raw);
                    term.dateTo = *t;
                }
                // Each end stands for every day it names: the range is reversed when its first day
                // comes after the last day of its end.
                if (!term.dateFrom.empty() && !term.dateTo.empty() && term.dateFrom > term.dateTo + "~")
                    return fail(SearchSyntaxError::Kind::ReversedRange, token.raw);
            } else {
                term.text = term.field == TermField::Mailbox ? std::string(value) : SearchFold(value);
            }
        } else {
            if (rest.empty())
                continue; // "" finds nothing in particular: no term
            term.text = SearchFold(rest);
        }
        // Each term once, found by a set: a query of thousands of terms is read in linear time.
        const std::string key = std::to_string(static_cast<int>(term.field)) + (term.negated ? "-" : "+") +
                                std::to_string(term.text.size()) + ":" + term.text + "\n" + term.dateFrom + "\n" +
                                term.dateTo;
        if (seen.insert(key).second)
            parsed.terms.push_back(std::move(term));
    }
    return parsed;
}

std::string SearchErrorText(const SearchSyntaxError& error) {
    const auto code = [&] {
        switch (error.kind) {
        case SearchSyntaxError::Kind::UnknownPrefix:
            return SearchWordsText::UnknownPrefix;
        case SearchSyntaxError::Kind::EmptyValue:
            return SearchWordsText::EmptyValue;
        case SearchSyntaxError::Kind::BadDate:
            return SearchWordsText::BadDate;
        case SearchSyntaxError::Kind::ReversedRange:
            return SearchWordsText::ReversedRange;
        case SearchSyntaxError::Kind::UnknownHas:
            return SearchWordsText::UnknownHas;
        case SearchSyntaxError::Kind::UnknownIs:
            return SearchWordsText::UnknownIs;
        case SearchSyntaxError::Kind::OpenQuote:
            return SearchWordsText::OpenQuote;
        }
        return SearchWordsText::BadTerm;
    }();
    return Say(code, {error.term});
}

const char* SearchSyntaxHelp() {
    return TextOf(SearchWordsText::SyntaxHelp);
}

} // namespace kamo
