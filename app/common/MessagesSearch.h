#pragma once
// The catalogue's chapter of the search: what the search field and `kamomail search` say about a
// query, the syntax's help, and what `kamomail index` tells of the search index.
namespace kamo {

enum class SearchWordsText {
    // A malformed term ({1}: the term as typed).
    UnknownPrefix, // {1}
    EmptyValue,    // {1}
    BadDate,       // {1}
    ReversedRange, // {1}
    UnknownHas,    // {1}
    UnknownIs,     // {1}
    OpenQuote,     // {1}
    BadTerm,       // {1}
    SyntaxHelp,    // the syntax in a few lines
    NoSearchWords, // a search without a term
    SearchFailed,  // {1} the error's words
    // kamomail index
    Redecoded,            // {1} mails read again, {2} of them with a new key, {3} unreadable
    RedecodedNotFiltered, //
    RedecodeFailed,       // {1} the error's words
    IndexDropped,         //
    IndexUpToDate,        // {1} mails in the archive, {2} taken in now
    IndexFailed,          // {1} the error's words
};

const char* TextOf(SearchWordsText code);

} // namespace kamo
