#pragma once
// Running a search (the syntax in SearchTerms.h): the mails that meet every term, newest first.
// Text terms look for their folded text (SearchText.h) in the folded fields; the other terms are
// conditions of the SQL that walks the mail (dates over the primary index, attachments, direction,
// mailbox). The result is exactly what checking every mail against the terms would give; the index
// only narrows down where to look, each mail it names is checked in full. A query of many words
// (thousands of negated ones, say) reads each mail's text once for all of them (WordSet.h), so its
// time grows with the mail's text and not with the words times the text.
//
// The ways to the same result, chosen per query:
//   - candidates: a text term the index can name few mails for (a trigram AND for three characters
//     or more, the index's terms starting with the word for one or two), or has: when few mails
//     have attachments, gives at most SearchLimits::maxCandidates mails; they are put in order in
//     one go and checked.
//   - scan: every text term is common (or only negated), so matches are dense; the mails are walked
//     newest first down the primary index and checked one by one, a slice at a time, so the first
//     screen comes at once and the rest streams in.
//   - folding scan: no complete index (an archive opened read-only): the same walk, each mail
//     folded as it comes.
//   - conditions: no text term at all; the walk needs no index and no folding (has: with few
//     attachments in the archive walks only the mail they belong to).
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>

#include "db/MailRows.h"
#include "search/SearchTerms.h"

namespace kamo {

class WordSet;

// The order of every search result: newest first (date, time, sub-key, flag, addresses, descending).
inline const std::string kNewestFirst = MailKeyColumns("tblKamoMail", " DESC") + ", tblKamoMail.rowid DESC";

// Where the candidates way ends and the scan begins: at this many mails for the rarest word the
// check-and-sort in one go would cost more than a screenful of scanning. Tests lower it to drive
// both ways over a small archive.
struct SearchLimits {
    size_t maxCandidates = 10000;
};

class SearchStream {
public:
    enum class Plan { NoTerms, Candidates, Scan, FoldingScan, Conditions };

    // The index should be complete (UpdateSearchIndex); without a complete one (a read-only archive)
    // the mail is folded as it is walked. The archive must not change while the stream is read.
    // A malformed query throws SearchSyntaxException; front ends parse first (ParseSearch) and say so.
    SearchStream(SQLite::Database& db, std::string_view query, SearchLimits limits = {});
    SearchStream(SQLite::Database& db, std::vector<SearchTerm> terms, SearchLimits limits = {});
    ~SearchStream();
    SearchStream(const SearchStream&) = delete;
    SearchStream& operator=(const SearchStream&) = delete;

    // Appends up to maxRows rowids of tblKamoMail, newest first. Returns early, with fewer, once the
    // slice time has passed (a rare query over a large archive gives its rows while the window
    // stays live); false once every match has been given.
    bool Read(std::vector<int64_t>& out, size_t maxRows);
    bool Done() const { return done_; }
    // How long one Read may take at most (roughly); zero or less: no limit.
    void SetSliceTime(std::chrono::milliseconds slice) { slice_ = slice; }

    const std::vector<SearchTerm>& Terms() const { return terms_; }
    Plan UsedPlan() const { return plan_; }

private:
    void Start();
    std::optional<std::vector<int64_t>> CollectCandidates();
    // The mails with attachments (pictures) when a term asks for them and they are few.
    std::optional<std::vector<int64_t>> AttachmentCandidates();
    // The current row of walk_ meets every text term.
    bool TextMatches();
    // The current mail's Cc, each name and address folded on its own (read once per mail).
    const std::vector<std::string>& CcOfRow(bool& read);

    SQLite::Database& db_;
    SearchLimits limits_;
    std::vector<SearchTerm> terms_;
    std::vector<const SearchTerm*> textTerms_;
    bool needCc_ = false;
    Plan plan_ = Plan::NoTerms;
    std::chrono::milliseconds slice_{20};
    bool done_ = false;
    std::unique_ptr<SQLite::Statement> walk_;   // the mail to check, newest first
    std::unique_ptr<SQLite::Statement> folded_; // candidates: the checked mail's folded fields
    std::string folding_[7];                    // folding scan: the fields and the joined body
    std::vector<std::string> cc_;               // the current mail's Cc, folded, when a to: term asks
    // A query of many words: all of them looked for in one pass over each field (textTerms_'s order),
    // each term's fields as bits (subject, names and addresses, body, then the Cc), what was found.
    std::unique_ptr<WordSet> words_;
    std::vector<uint8_t> fieldsOf_;
    std::vector<char> found_;
};

} // namespace kamo
