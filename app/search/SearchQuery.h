#pragma once
// Running a search over the index (SearchIndex.h): the mails where every word of the query occurs in
// the subject, a sender or receiver name or address, or the body, letter case and character width
// ignored (SearchText.h). The result is exactly what folding every mail and looking for the words
// would give; the index only narrows down where to look, each mail it names is checked against its
// folded text.
//
// Two ways to the same result, chosen per query:
//   - candidates: a word the index can name few mails for (a trigram AND for three characters or
//     more, the index's terms starting with the word for one or two) gives at most SearchLimits::maxCandidates
//     mails; they are checked and put in order in one go.
//   - scan: every word is common, so matches are dense; the mails are walked newest first down the
//     primary index and checked one by one, a slice at a time, so the first screen comes at once
//     and the rest streams in.
//   - folding scan: no complete index (an archive opened read-only): the same walk, each mail
//     folded as it comes.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>

namespace kamo {

// The order of every search result: newest first (date, time, sub-key, flag, addresses, descending).
inline constexpr const char* kNewestFirst =
    "tblKamoMail_YMD DESC, tblKamoMail_HMS DESC, tblKamoMail_SubKey DESC, tblKamoMail_SndRcvFlag DESC,"
    " tblKamoMail_SndAdd DESC, tblKamoMail_RcvAdd DESC, tblKamoMail.rowid DESC";

// Where the candidates way ends and the scan begins: at this many mails for the rarest word the
// check-and-sort in one go would cost more than a screenful of scanning. Tests lower it to drive
// both ways over a small archive.
struct SearchLimits {
    size_t maxCandidates = 10000;
};

class SearchStream {
public:
    enum class Plan { NoWords, Candidates, Scan, FoldingScan };

    // The index should be complete (UpdateSearchIndex); without a complete one (a read-only archive)
    // the mail is folded as it is walked. The archive must not change while the stream is read.
    SearchStream(SQLite::Database& db, std::string_view query, SearchLimits limits = {});
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

    const std::vector<std::string>& Words() const { return words_; }
    Plan UsedPlan() const { return plan_; }

private:
    std::vector<int64_t> CollectCandidates();
    bool Matches(int64_t rowId);
    // Every word in one of the six folded fields at columns first..first+5 of the current row.
    bool FieldsMatch(const SQLite::Statement& row, int first) const;
    // The same for a row of tblKamoMail (rowid, five fields, sixteen body pieces), folded here.
    bool RawFieldsMatch(const SQLite::Statement& row);

    SQLite::Database& db_;
    SearchLimits limits_;
    std::vector<std::string> words_;
    Plan plan_ = Plan::NoWords;
    std::chrono::milliseconds slice_{20};
    bool done_ = false;
    std::vector<int64_t> ordered_; // candidates: the whole result, in order
    size_t next_ = 0;
    std::unique_ptr<SQLite::Statement> text_; // the folded fields of one mail
    std::unique_ptr<SQLite::Statement> walk_; // scan: every mail, newest first
    std::string folded_[7];                   // folding scan: the fields and the joined body
};

// The whole result at once, newest first (terminal, export, tests).
std::vector<int64_t> SearchMails(SQLite::Database& db, std::string_view query, SearchLimits limits = {});

} // namespace kamo
