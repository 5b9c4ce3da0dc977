#include "search/SearchQuery.h"

#include <algorithm>
#include <optional>

#include "db/Attachments.h"
#include "db/HeaderFields.h"
#include "db/MailRows.h"
#include "db/SqlNames.h"
#include "search/SearchIndex.h"
#include "search/SearchText.h"
#include "search/WordSet.h"

namespace kamo {
namespace {

using Clock = std::chrono::steady_clock;

// A word of three characters or more asks for at most this many of its trigrams: any of them narrow
// the mails down, the check makes the result exact, and more would only slow the index down.
constexpr size_t kMaxTrigrams = 8;
// More text terms than this are looked for together, in one pass over each field (WordSet); fewer,
// each on its own, which is quicker for so few.
constexpr size_t kWordsOneByOne = 8;
// The fields a text term looks in, as bits: 0 subject, 1-2 the sender's name and address, 3-4 the
// receiver's, 5 the body, 6 the Cc.
uint8_t FieldsOf(TermField field) {
    switch (field) {
    case TermField::Any:
        return 0x3F;
    case TermField::From:
        return 0x06;
    case TermField::To:
        return 0x58;
    case TermField::Subject:
        return 0x01;
    case TermField::Body:
        return 0x20;
    default:
        return 0;
    }
}
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

// The word's trigrams, first and last always, the rest spread evenly.
std::vector<std::string> Trigrams(std::string_view word) {
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
    return terms;
}

// "t1" AND "t2" ...
std::string AllOf(const std::vector<std::string>& terms) {
    std::string query;
    for (const auto& term : terms)
        query += (query.empty() ? "" : " AND ") + DoubleQuoted(term);
    return query;
}

// The mails the index names for one word, sorted; nothing when there are more than the limit.
std::optional<std::vector<int64_t>> WordCandidates(SQLite::Database& db, const std::string& word, size_t limit) {
    std::vector<int64_t> rows;
    if (CharCount(word) >= 3) {
        // Only the trigrams the index names few mails for, when there are any: a trigram nearly
        // every mail holds ("fri" of "friend399") adds nothing to them but the reading of its whole
        // list. Each is asked for at most the limit's worth of mails; the check makes the result exact.
        const std::vector<std::string> all = Trigrams(word);
        std::vector<std::string> rare;
        SQLite::Statement probe(db, "SELECT COUNT(*) FROM (SELECT rowid FROM tblSearchText WHERE tblSearchText MATCH"
                                    " ?1 LIMIT ?2)");
        for (const auto& trigram : all) {
            probe.reset();
            probe.bind(1, DoubleQuoted(trigram));
            probe.bind(2, static_cast<int64_t>(limit) + 1);
            if (probe.executeStep() && probe.getColumn(0).getInt64() <= static_cast<int64_t>(limit))
                rare.push_back(trigram);
        }
        SQLite::Statement match(db, "SELECT rowid FROM tblSearchText WHERE tblSearchText MATCH ?1");
        match.bind(1, AllOf(rare.empty() ? all : rare));
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

bool IsTextTerm(const SearchTerm& term) {
    switch (term.field) {
    case TermField::Any:
    case TermField::From:
    case TermField::To:
    case TermField::Subject:
    case TermField::Body:
        return true;
    default:
        return false;
    }
}

bool HasTable(SQLite::Database& db, const char* table) {
    SQLite::Statement st(db, "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = ?1");
    st.bind(1, table);
    return st.executeStep();
}

// The SQL side of the terms: a WHERE clause and the values it binds, in order.
struct Conditions {
    std::string sql;
    std::vector<std::string> values;
};

Conditions ConditionsOf(SQLite::Database& db, const std::vector<SearchTerm>& terms) {
    Conditions c;
    std::optional<bool> attachments, originals; // whether the archive has the tables, asked once
    for (const auto& term : terms) {
        std::string cond;
        switch (term.field) {
        case TermField::Date:
            // Each bound is a prefix of the dates it takes in: "2002/05" ends before "2002/05~". A
            // date of "0000/00/00" is no date, inside no range.
            cond = "(" + MailColumn::kYmd + " >= ? AND " + MailColumn::kYmd + " <= ?)";
            c.values.push_back(term.dateFrom.empty() ? "0001" : term.dateFrom);
            c.values.push_back((term.dateTo.empty() ? "9999" : term.dateTo) + "~");
            break;
        case TermField::Attachment:
        case TermField::Picture:
            if (!attachments)
                attachments = HasTable(db, "tblAttachment");
            if (!*attachments) {
                cond = "0"; // a copy made before attachments were kept has none
                break;
            }
            cond = "EXISTS (SELECT 1 FROM tblAttachment WHERE " + MailKeyJoin("tblAttachment");
            if (term.field == TermField::Picture && HasPictureMarks(db)) {
                cond += " AND tblAttachment_Picture = 1";
            } else if (term.field == TermField::Picture) {
                cond += " AND tblAttachment_Type LIKE ?";
                c.values.push_back(kPictureTypePattern);
            }
            cond += ")";
            break;
        case TermField::Sent:
            cond = "IFNULL(" + MailColumn::kFlag + ", 0) <> 0";
            break;
        case TermField::Received:
            cond = "IFNULL(" + MailColumn::kFlag + ", 0) = 0";
            break;
        case TermField::Mailbox:
            if (!originals)
                originals = HasTable(db, "tblOriginal");
            if (!*originals) {
                cond = "0"; // no mailbox kept: no mail is in one
                break;
            }
            cond = "EXISTS (SELECT 1 FROM tblOriginal WHERE " + MailKeyJoin("tblOriginal") +
                   " AND tblOriginal_Mailbox = ?)";
            c.values.push_back(term.text);
            break;
        default:
            continue;
        }
        // NULL is no match either way.
        if (term.negated)
            cond = "NOT COALESCE((" + cond + "), 0)";
        c.sql += (c.sql.empty() ? " WHERE " : " AND ") + cond;
    }
    return c;
}

bool Contains(std::string_view field, const std::string& text) {
    return field.find(text) != std::string_view::npos;
}

} // namespace

SearchStream::SearchStream(SQLite::Database& db, std::string_view query, SearchLimits limits)
    : db_(db), limits_(limits) {
    ParsedSearch parsed = ParseSearch(query);
    if (parsed.error)
        throw SearchSyntaxException(*parsed.error);
    terms_ = std::move(parsed.terms);
    Start();
}

SearchStream::SearchStream(SQLite::Database& db, std::vector<SearchTerm> terms, SearchLimits limits)
    : db_(db), limits_(limits), terms_(std::move(terms)) {
    Start();
}

SearchStream::~SearchStream() = default;

void SearchStream::Start() {
    if (terms_.empty()) {
        done_ = true;
        return;
    }
    for (const auto& term : terms_)
        if (IsTextTerm(term)) {
            textTerms_.push_back(&term);
            needCc_ = needCc_ || term.field == TermField::To;
        }
    if (textTerms_.size() > kWordsOneByOne) {
        std::vector<std::string> words;
        for (const SearchTerm* term : textTerms_) {
            words.push_back(term->text);
            fieldsOf_.push_back(FieldsOf(term->field));
        }
        words_ = std::make_unique<WordSet>(words);
        found_.resize(words.size());
    }
    const Conditions conditions = ConditionsOf(db_, terms_);
    std::string columns = "tblKamoMail.rowid";
    std::string from = "tblKamoMail";
    std::optional<std::vector<int64_t>> candidates;
    if (textTerms_.empty()) {
        plan_ = Plan::Conditions;
        if ((candidates = AttachmentCandidates()))
            from = "json_each(?) AS h CROSS JOIN tblKamoMail ON tblKamoMail.rowid = h.value";
    } else if (InspectSearchIndex(db_) != SearchIndexState::Ready || PendingSearchRows(db_) > 0) {
        // No index to trust (an archive opened read-only, a backup): every mail is folded as it is
        // walked. Slower, and the same result.
        plan_ = Plan::FoldingScan;
        using namespace MailColumn;
        columns += ", " + kSubject + ", " + kSndName + ", " + kSndAdd + ", " + kRcvName + ", " + kRcvAdd + ", " +
                   MailBodyColumns();
    } else {
        candidates = CollectCandidates();
        plan_ = candidates ? Plan::Candidates : Plan::Scan;
        if (candidates) {
            // The candidates are put in order by their keys alone; each one's folded fields are read
            // as it is checked. Sorting them with their folded text would carry every body through
            // the sorter.
            from = "json_each(?) AS h CROSS JOIN tblKamoMail ON tblKamoMail.rowid = h.value";
            folded_ = std::make_unique<SQLite::Statement>(
                db_, "SELECT Subject, SndName, SndAdd, RcvName, RcvAdd, Body FROM tblSearchFolded WHERE MailRow = ?1");
        } else {
            // The scan walks the mail newest first down the primary index and brings each mail's
            // folded fields along.
            from += " CROSS JOIN tblSearchFolded AS f ON f.MailRow = tblKamoMail.rowid";
            columns += ", f.Subject, f.SndName, f.SndAdd, f.RcvName, f.RcvAdd, f.Body";
        }
    }
    if (needCc_)
        columns += HasTable(db_, "tblHeaderFields") ? ", (SELECT tblHeaderFields_Cc FROM tblHeaderFields WHERE " +
                                                          MailKeyJoin("tblHeaderFields") + ")"
                                                    : std::string(", ''");
    walk_ = std::make_unique<SQLite::Statement>(db_, "SELECT " + columns + " FROM " + from + conditions.sql +
                                                         " ORDER BY " + kNewestFirst);
    int n = 1;
    if (candidates) {
        std::string ids = "[";
        for (int64_t id : *candidates)
            ids += (ids.size() > 1 ? "," : "") + std::to_string(id);
        walk_->bind(n++, ids + "]");
    }
    for (const auto& value : conditions.values)
        walk_->bind(n++, value);
}

std::optional<std::vector<int64_t>> SearchStream::CollectCandidates() {
    // A text term every match holds somewhere in the indexed fields: to: may be met by a Cc alone,
    // which the index does not hold. Longer ones are rarer: tried first; the first one the index can
    // narrow down is enough.
    std::vector<const std::string*> byLength;
    for (const SearchTerm* term : textTerms_)
        if (!term->negated && term->field != TermField::To)
            byLength.push_back(&term->text);
    std::stable_sort(byLength.begin(), byLength.end(),
                     [](const std::string* a, const std::string* b) { return CharCount(*a) > CharCount(*b); });
    for (const std::string* word : byLength)
        if (auto rows = WordCandidates(db_, *word, limits_.maxCandidates))
            return rows;
    return AttachmentCandidates();
}

std::optional<std::vector<int64_t>> SearchStream::AttachmentCandidates() {
    // Mail with attachments is usually a small part of the archive: rather than asking every mail,
    // the attachments name their mails.
    const SearchTerm* wanted = nullptr;
    for (const auto& term : terms_)
        if (!term.negated && (term.field == TermField::Attachment || term.field == TermField::Picture))
            wanted = !wanted || term.field == TermField::Picture ? &term : wanted;
    if (!wanted || !HasTable(db_, "tblAttachment"))
        return std::nullopt;
    const bool marked = HasPictureMarks(db_);
    const std::string picture = marked ? " WHERE tblAttachment_Picture = 1" : " WHERE tblAttachment_Type LIKE ?1";
    SQLite::Statement st(db_, "SELECT DISTINCT tblKamoMail.rowid FROM tblAttachment CROSS JOIN tblKamoMail ON " +
                                  MailKeyJoin("tblAttachment") +
                                  (wanted->field == TermField::Picture ? picture : std::string()) + " LIMIT ?2");
    if (wanted->field == TermField::Picture && !marked)
        st.bind(1, kPictureTypePattern);
    st.bind(2, static_cast<int64_t>(limits_.maxCandidates) + 1);
    std::vector<int64_t> rows;
    while (st.executeStep())
        rows.push_back(st.getColumn(0).getInt64());
    if (rows.size() > limits_.maxCandidates)
        return std::nullopt;
    return rows;
}

bool SearchStream::TextMatches() {
    if (textTerms_.empty())
        return true;
    // The six fields: subject, sender name and address, receiver name and address, body. The texts
    // stay valid until the statement steps again.
    std::string_view fields[6];
    if (plan_ == Plan::FoldingScan) {
        for (int f = 0; f < 5; ++f) {
            folding_[f].clear();
            AppendSearchFolded(TextOf(walk_->getColumn(1 + f)), folding_[f]);
        }
        // The pieces are joined before folding, as the index does.
        std::string& body = folding_[6];
        body.clear();
        AppendBody(*walk_, 6, body);
        folding_[5].clear();
        AppendSearchFolded(body, folding_[5]);
        for (int f = 0; f < 6; ++f)
            fields[f] = folding_[f];
    } else if (folded_) {
        folded_->reset();
        folded_->bind(1, walk_->getColumn(0).getInt64());
        if (!folded_->executeStep())
            return false; // not in the index: the scan's join would not give it either
        for (int f = 0; f < 6; ++f)
            fields[f] = Unpadded(folded_->getColumn(f));
    } else {
        for (int f = 0; f < 6; ++f)
            fields[f] = Unpadded(walk_->getColumn(1 + f));
    }
    bool ccRead = false;
    if (words_) {
        // Every word in one pass over each field; an empty word is in every text.
        for (size_t t = 0; t < textTerms_.size(); ++t)
            found_[t] = textTerms_[t]->text.empty();
        for (int f = 0; f < 6; ++f)
            words_->Find(fields[f], [&](uint32_t t) { found_[t] |= (fieldsOf_[t] >> f) & 1; });
        bool ccWanted = false;
        for (size_t t = 0; t < textTerms_.size(); ++t)
            ccWanted = ccWanted || (textTerms_[t]->field == TermField::To && !found_[t]);
        if (ccWanted)
            for (const auto& cc : CcOfRow(ccRead))
                words_->Find(cc, [&](uint32_t t) { found_[t] |= (fieldsOf_[t] >> 6) & 1; });
        for (size_t t = 0; t < textTerms_.size(); ++t)
            if (static_cast<bool>(found_[t]) == textTerms_[t]->negated)
                return false;
        return true;
    }
    for (const SearchTerm* term : textTerms_) {
        const std::string& text = term->text;
        bool found = false;
        switch (term->field) {
        case TermField::Any:
            for (const auto& field : fields)
                found = found || Contains(field, text);
            break;
        case TermField::From:
            found = Contains(fields[1], text) || Contains(fields[2], text);
            break;
        case TermField::To:
            found = Contains(fields[3], text) || Contains(fields[4], text);
            if (!found)
                for (const auto& cc : CcOfRow(ccRead))
                    found = found || Contains(cc, text);
            break;
        case TermField::Subject:
            found = Contains(fields[0], text);
            break;
        case TermField::Body:
            found = Contains(fields[5], text);
            break;
        default:
            break;
        }
        if (found == term->negated)
            return false;
    }
    return true;
}

const std::vector<std::string>& SearchStream::CcOfRow(bool& read) {
    if (!read) {
        // Each name and address on its own: a text never runs from one into the next.
        cc_.clear();
        const int column = walk_->getColumnCount() - 1;
        for (const auto& party : PartiesOf(TextOf(walk_->getColumn(column)))) {
            cc_.push_back(SearchFold(party.name));
            cc_.push_back(SearchFold(party.address));
        }
        read = true;
    }
    return cc_;
}

bool SearchStream::Read(std::vector<int64_t>& out, size_t maxRows) {
    if (done_)
        return false;
    const auto start = Clock::now();
    size_t added = 0;
    for (size_t steps = 1; added < maxRows; ++steps) {
        if (!walk_->executeStep()) {
            done_ = true;
            walk_.reset();
            return false;
        }
        if (TextMatches()) {
            out.push_back(walk_->getColumn(0).getInt64());
            ++added;
        }
        if (steps % 64 == 0 && slice_.count() > 0 && Clock::now() - start >= slice_)
            break;
    }
    return true;
}

} // namespace kamo
