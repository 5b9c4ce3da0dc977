#include "search/SearchQuery.h"

#include <algorithm>
#include <optional>

#include "db/MailRows.h"
#include "db/SqlNames.h"
#include "search/SearchIndex.h"
#include "search/SearchText.h"

namespace kamo {
namespace {

using Clock = std::chrono::steady_clock;

// A word of three characters or more asks for at most this many of its trigrams: any of them narrow
// the mails down, the check makes the result exact, and more would only slow the index down.
constexpr size_t kMaxTrigrams = 8;
// One or two characters: index entries read per allowed candidate before the word counts as common
// (a mail holds a short word at several places).
constexpr size_t kPostingsPerCandidate = 4;

// Where each character starts, plus the end.
std::vector<size_t> CharStarts(std::string_view utf8) {
    std::vector<size_t> starts;
    for (size_t i = 0; i < utf8.size(); ++i)
        if ((static_cast<unsigned char>(utf8[i]) & 0xC0) != 0x80)
            starts.push_back(i);
    starts.push_back(utf8.size());
    return starts;
}

// "t1" AND "t2" ...: the word's trigrams, first and last always, the rest spread evenly.
std::string TrigramQuery(std::string_view word) {
    const std::vector<size_t> starts = CharStarts(word);
    const size_t trigrams = starts.size() - 3; // characters - 2
    std::vector<size_t> picks;
    for (size_t k = 0; k < std::min(trigrams, kMaxTrigrams); ++k)
        picks.push_back(trigrams <= kMaxTrigrams ? k : k * (trigrams - 1) / (kMaxTrigrams - 1));
    std::vector<std::string> terms;
    for (size_t p : picks) {
        std::string term(word.substr(starts[p], starts[p + 3] - starts[p]));
        if (std::find(terms.begin(), terms.end(), term) == terms.end())
            terms.push_back(std::move(term));
    }
    std::string query;
    for (const auto& term : terms)
        query += (query.empty() ? "" : " AND ") + DoubleQuoted(term);
    return query;
}

// The mails the index names for one word, sorted; nothing when there are more than the limit.
std::optional<std::vector<int64_t>> WordCandidates(SQLite::Database& db, const std::string& word, size_t limit) {
    std::vector<int64_t> rows;
    if (CharCount(word) >= 3) {
        SQLite::Statement match(db, "SELECT rowid FROM tblSearchText WHERE tblSearchText MATCH ?1");
        match.bind(1, TrigramQuery(word));
        while (match.executeStep()) {
            if (rows.size() == limit)
                return std::nullopt;
            rows.push_back(match.getColumn(0).getInt64());
        }
        return rows; // FTS5 gives them in rowid order
    }
    // Every value ends in two padding characters, so each place a one- or two-character word occurs
    // begins a trigram: the terms that start with the word name every mail that holds it.
    db.exec("CREATE VIRTUAL TABLE IF NOT EXISTS temp.tblSearchVocab USING fts5vocab(main, tblSearchText, instance)");
    SQLite::Statement terms(db, "SELECT doc FROM temp.tblSearchVocab WHERE term >= ?1 AND term < ?2");
    terms.bind(1, word);
    terms.bind(2, word + '\xFF'); // above every UTF-8 continuation of the word
    size_t postings = 0;
    while (terms.executeStep()) {
        if (++postings > kPostingsPerCandidate * limit)
            return std::nullopt;
        rows.push_back(terms.getColumn(0).getInt64());
    }
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    if (rows.size() > limit)
        return std::nullopt;
    return rows;
}

std::string_view TextOf(const SQLite::Column& column) {
    return {column.getText(), static_cast<size_t>(column.getBytes())};
}

std::string_view Unpadded(const SQLite::Column& column) {
    std::string_view text(column.getText(), static_cast<size_t>(column.getBytes()));
    return text.size() >= kPaddingLength ? text.substr(0, text.size() - kPaddingLength) : text;
}

} // namespace

SearchStream::SearchStream(SQLite::Database& db, std::string_view query, SearchLimits limits)
    : db_(db), limits_(limits), words_(SearchWords(query)) {
    if (words_.empty()) {
        done_ = true;
        return;
    }
    if (InspectSearchIndex(db_) != SearchIndexState::Ready || PendingSearchRows(db_) > 0) {
        // No index to trust (an archive opened read-only, a backup): every mail is folded as it is
        // walked. Slower, and the same result.
        plan_ = Plan::FoldingScan;
        walk_ = std::make_unique<SQLite::Statement>(
            db_, "SELECT rowid, tblKamoMail_Subject, tblKamoMail_SndName, tblKamoMail_SndAdd, tblKamoMail_RcvName,"
                 " tblKamoMail_RcvAdd, " +
                     MailBodyColumns() + " FROM tblKamoMail ORDER BY " + kNewestFirst);
        return;
    }
    text_ = std::make_unique<SQLite::Statement>(
        db_, "SELECT Subject, SndName, SndAdd, RcvName, RcvAdd, Body FROM tblSearchFolded WHERE MailRow = ?1");
    std::vector<int64_t> candidates = CollectCandidates();
    if (plan_ == Plan::Scan) {
        // One statement walks the mail newest first and brings each mail's folded fields along.
        walk_ = std::make_unique<SQLite::Statement>(
            db_, std::string("SELECT tblKamoMail.rowid, f.Subject, f.SndName, f.SndAdd, f.RcvName, f.RcvAdd, f.Body"
                             " FROM tblKamoMail CROSS JOIN tblSearchFolded AS f ON f.MailRow = tblKamoMail.rowid"
                             " ORDER BY ") +
                     kNewestFirst);
        return;
    }
    std::string ids = "[";
    for (int64_t id : candidates)
        if (Matches(id))
            ids += (ids.size() > 1 ? "," : "") + std::to_string(id);
    ids += "]";
    // Same order as the scan; the mail table names only mails that are still there.
    SQLite::Statement order(db_, std::string("SELECT tblKamoMail.rowid FROM json_each(?1) AS h CROSS JOIN tblKamoMail"
                                             " ON tblKamoMail.rowid = h.value ORDER BY ") +
                                     kNewestFirst);
    order.bind(1, ids);
    while (order.executeStep())
        ordered_.push_back(order.getColumn(0).getInt64());
    done_ = ordered_.empty();
}

SearchStream::~SearchStream() = default;

std::vector<int64_t> SearchStream::CollectCandidates() {
    // Longer words are rarer: try them first; the first one the index can narrow down is enough.
    std::vector<const std::string*> byLength;
    for (const auto& w : words_)
        byLength.push_back(&w);
    std::stable_sort(byLength.begin(), byLength.end(),
                     [](const std::string* a, const std::string* b) { return CharCount(*a) > CharCount(*b); });
    for (const std::string* word : byLength) {
        if (auto rows = WordCandidates(db_, *word, limits_.maxCandidates)) {
            plan_ = Plan::Candidates;
            return std::move(*rows);
        }
    }
    plan_ = Plan::Scan;
    return {};
}

bool SearchStream::Matches(int64_t rowId) {
    text_->reset();
    text_->bind(1, rowId);
    return text_->executeStep() && FieldsMatch(*text_, 0);
}

bool SearchStream::FieldsMatch(const SQLite::Statement& row, int first) const {
    // The texts stay valid until the statement steps again.
    std::string_view fields[6];
    for (int f = 0; f < 6; ++f)
        fields[f] = Unpadded(row.getColumn(first + f));
    for (const auto& word : words_) {
        bool found = false;
        for (const auto& field : fields)
            if (field.find(word) != std::string_view::npos) {
                found = true;
                break;
            }
        if (!found)
            return false;
    }
    return true;
}

bool SearchStream::Read(std::vector<int64_t>& out, size_t maxRows) {
    if (done_)
        return false;
    if (plan_ == Plan::Candidates) {
        const size_t n = std::min(maxRows, ordered_.size() - next_);
        out.insert(out.end(), ordered_.begin() + static_cast<std::ptrdiff_t>(next_),
                   ordered_.begin() + static_cast<std::ptrdiff_t>(next_ + n));
        next_ += n;
        done_ = next_ == ordered_.size();
        return !done_;
    }
    const auto start = Clock::now();
    size_t added = 0;
    for (size_t steps = 1; added < maxRows; ++steps) {
        if (!walk_->executeStep()) {
            done_ = true;
            walk_.reset();
            return false;
        }
        if (plan_ == Plan::FoldingScan ? RawFieldsMatch(*walk_) : FieldsMatch(*walk_, 1)) {
            out.push_back(walk_->getColumn(0).getInt64());
            ++added;
        }
        if (steps % 64 == 0 && slice_.count() > 0 && Clock::now() - start >= slice_)
            break;
    }
    return true;
}

bool SearchStream::RawFieldsMatch(const SQLite::Statement& row) {
    for (int f = 0; f < 5; ++f) {
        folded_[static_cast<size_t>(f)].clear();
        AppendSearchFolded(TextOf(row.getColumn(1 + f)), folded_[static_cast<size_t>(f)]);
    }
    // The pieces are joined before folding, as the index does.
    std::string& body = folded_[6];
    body.clear();
    AppendBody(row, 6, body);
    folded_[5].clear();
    AppendSearchFolded(body, folded_[5]);
    for (const auto& word : words_) {
        bool found = false;
        for (int f = 0; f < 6 && !found; ++f)
            found = folded_[static_cast<size_t>(f)].find(word) != std::string::npos;
        if (!found)
            return false;
    }
    return true;
}

std::vector<int64_t> SearchMails(SQLite::Database& db, std::string_view query, SearchLimits limits) {
    SearchStream stream(db, query, limits);
    stream.SetSliceTime(std::chrono::milliseconds(0));
    std::vector<int64_t> rows;
    while (stream.Read(rows, 65536)) {
    }
    return rows;
}

} // namespace kamo
