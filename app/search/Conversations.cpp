#include "search/Conversations.h"

#include <algorithm>
#include <numeric>
#include <optional>
#include <unordered_set>

#include <SQLiteCpp/Statement.h>

#include "common/AsciiText.h"
#include "db/MailRows.h"
#include "search/ConversationIndex.h"
#include "search/SearchText.h"

namespace kamo {
namespace {

constexpr std::string_view kIdeographicSpace = "\xE3\x80\x80";
constexpr std::string_view kWideColon = "\xEF\xBC\x9A"; // ：

void TrimBlanks(std::string_view& s) {
    for (bool again = true; again;) {
        again = false;
        if (!s.empty() && (s.front() == ' ' || s.front() == '\t')) {
            s.remove_prefix(1);
            again = true;
        } else if (s.substr(0, kIdeographicSpace.size()) == kIdeographicSpace) {
            s.remove_prefix(kIdeographicSpace.size());
            again = true;
        }
    }
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
}

// The length of a reply or forward prefix at the start of `s` ("Re:", "Re[2]:", "返信："), 0 when none.
size_t PrefixLength(std::string_view s) {
    static const std::string_view kWords[] = {"re", "fwd", "fw", "返信", "転送"};
    for (std::string_view word : kWords) {
        if (!StartsWithNoCase(s, word))
            continue;
        size_t at = word.size();
        // A count: "[2]", "(2)", "^2".
        if (at < s.size() && (s[at] == '[' || s[at] == '(')) {
            const char close = s[at] == '[' ? ']' : ')';
            size_t end = at + 1;
            while (end < s.size() && s[end] >= '0' && s[end] <= '9')
                ++end;
            if (end > at + 1 && end < s.size() && s[end] == close)
                at = end + 1;
        } else if (at < s.size() && s[at] == '^') {
            size_t end = at + 1;
            while (end < s.size() && s[end] >= '0' && s[end] <= '9')
                ++end;
            if (end > at + 1)
                at = end;
        }
        while (at < s.size() && s[at] == ' ')
            ++at;
        if (at < s.size() && s[at] == ':')
            return at + 1;
        if (s.substr(at, kWideColon.size()) == kWideColon)
            return at + kWideColon.size();
    }
    return 0;
}

// Days since 1970-01-01 of a "yyyy/mm/dd" date; nothing for one that is no date.
std::optional<int64_t> DayNumber(std::string_view ymd) {
    if (ymd.size() < 10 || ymd[4] != '/' || ymd[7] != '/')
        return std::nullopt;
    int64_t v[3] = {0, 0, 0};
    const size_t at[3][2] = {{0, 4}, {5, 2}, {8, 2}};
    for (int i = 0; i < 3; ++i)
        for (size_t k = 0; k < at[i][1]; ++k) {
            const char c = ymd[at[i][0] + k];
            if (c < '0' || c > '9')
                return std::nullopt;
            v[i] = v[i] * 10 + (c - '0');
        }
    if (v[0] == 0 || v[1] < 1 || v[1] > 12 || v[2] < 1 || v[2] > 31)
        return std::nullopt;
    // Howard Hinnant's days_from_civil.
    const int64_t y = v[0] - (v[1] <= 2 ? 1 : 0);
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (v[1] + (v[1] > 2 ? -3 : 9)) + 2) / 5 + v[2] - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

int64_t Seconds(std::string_view hms) {
    int64_t s = 0;
    for (size_t i = 0; i < hms.size() && i < 8; i += 3)
        if (i + 1 < hms.size() && hms[i] >= '0' && hms[i] <= '9' && hms[i + 1] >= '0' && hms[i + 1] <= '9')
            s = s * 60 + (hms[i] - '0') * 10 + (hms[i + 1] - '0');
    return s;
}

std::string LowerAscii(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return out;
}

class UnionFind {
public:
    explicit UnionFind(size_t n) : parent_(n) { std::iota(parent_.begin(), parent_.end(), size_t{0}); }
    size_t Find(size_t x) {
        while (parent_[x] != x)
            x = parent_[x] = parent_[parent_[x]];
        return x;
    }
    // The smaller position stays the root: a root is always its set's oldest mail.
    void Join(size_t a, size_t b) {
        a = Find(a);
        b = Find(b);
        if (a != b)
            parent_[std::max(a, b)] = std::min(a, b);
    }

private:
    std::vector<size_t> parent_;
};

constexpr size_t kNone = static_cast<size_t>(-1);
// A list of at least 1 / kWholeReadingShare of the archive's mails is joined from one pass over it.
constexpr int64_t kWholeReadingShare = 4;

// A text and where it stands, sorted so that equal texts lie together in the order they stand:
// by a hash of the text first, the text itself only where hashes meet, so a million texts sort
// without a node per text or a string copied.
struct Placed {
    size_t hash;
    std::string_view text;
    size_t at;
};

void SortByText(std::vector<Placed>& placed) {
    std::sort(placed.begin(), placed.end(), [](const Placed& a, const Placed& b) {
        if (a.hash != b.hash)
            return a.hash < b.hash;
        if (a.text != b.text)
            return a.text < b.text;
        return a.at < b.at;
    });
}

Placed Place(std::string_view text, size_t at) {
    return {std::hash<std::string_view>{}(text), text, at};
}

// Calls `run(begin, end)` for each run of equal texts of sorted `placed`.
template <typename Run> void ForEachRun(const std::vector<Placed>& placed, Run&& run) {
    for (size_t begin = 0; begin < placed.size();) {
        size_t end = begin + 1;
        while (end < placed.size() && placed[end].hash == placed[begin].hash && placed[end].text == placed[begin].text)
            ++end;
        run(begin, end);
        begin = end;
    }
}

uint64_t ThreadHashOf(const ConversationMail& m) {
    // FNV-1a over what names the first mail; stable while that mail stays. The message ID is no part
    // of it (the identifiers printed so far were made without it); its empty place stays so that
    // they remain the same.
    static const std::string kNoPart;
    uint64_t h = 14695981039346656037ull;
    for (const std::string* part : {&m.ymd, &m.hms, &m.friendAddress, &m.subject, &kNoPart}) {
        for (unsigned char c : *part)
            h = (h ^ c) * 1099511628211ull;
        h = (h ^ 0xFF) * 1099511628211ull;
    }
    return (h ^ (m.sent ? 1u : 0u)) * 1099511628211ull;
}

std::string ThreadIdText(uint64_t h) {
    static const char* const kHex = "0123456789abcdef";
    std::string id(16, '0');
    for (int i = 15; i >= 0; --i, h >>= 4)
        id[static_cast<size_t>(i)] = kHex[h & 0xF];
    return id;
}

// A JSON array of the numbers, for json_each.
std::string JsonList(const std::vector<int64_t>& values) {
    std::string list = "[";
    for (int64_t value : values)
        list.append(list.size() > 1 ? "," : "").append(std::to_string(value));
    return list + "]";
}

// Every mail that shares a message ID or a subject key with one of `rows` or with one already
// found, through the conversation index: the mails the joining could put with them, and everything
// joining them needs (the whole run of a subject key decides which mail is a mail's previous one).
// Walked a round at a time, each round one statement per link for all the mails it found.
std::vector<int64_t> LinkedMails(SQLite::Database& db, const std::vector<int64_t>& rows) {
    SQLite::Statement keysOf(db, "SELECT m.SubjectKey FROM json_each(?1) AS j CROSS JOIN tblConversationMail AS m"
                                 " ON m.MailRow = j.value WHERE m.SubjectKey IS NOT NULL");
    SQLite::Statement withKeys(db, "SELECT m.MailRow FROM json_each(?1) AS j CROSS JOIN tblConversationMail AS m"
                                   " ON m.SubjectKey = j.value");
    SQLite::Statement idsOf(db, "SELECT i.Id FROM json_each(?1) AS j CROSS JOIN tblConversationIds AS i"
                                " ON i.MailRow = j.value");
    SQLite::Statement withIds(db, "SELECT i.MailRow FROM json_each(?1) AS j CROSS JOIN tblConversationIds AS i"
                                  " ON i.Id = j.value");
    // What `st` gives for `values` that `known` does not hold yet, taken into it.
    auto unknown = [](SQLite::Statement& st, const std::vector<int64_t>& values, std::unordered_set<int64_t>& known) {
        std::vector<int64_t> found;
        if (values.empty())
            return found;
        st.reset();
        st.bind(1, JsonList(values));
        while (st.executeStep())
            if (const int64_t value = st.getColumn(0).getInt64(); known.insert(value).second)
                found.push_back(value);
        return found;
    };
    std::unordered_set<int64_t> seen, keys, ids;
    std::vector<int64_t> linked, round;
    for (int64_t row : rows)
        if (seen.insert(row).second)
            round.push_back(row);
    while (!round.empty()) {
        linked.insert(linked.end(), round.begin(), round.end());
        const std::vector<int64_t> newKeys = unknown(keysOf, round, keys);
        const std::vector<int64_t> newIds = unknown(idsOf, round, ids);
        round = unknown(withKeys, newKeys, seen);
        const std::vector<int64_t> byId = unknown(withIds, newIds, seen);
        round.insert(round.end(), byId.begin(), byId.end());
    }
    return linked;
}

} // namespace

std::string ConversationSubject(std::string_view subject) {
    TrimBlanks(subject);
    for (size_t n = PrefixLength(subject); n > 0; n = PrefixLength(subject)) {
        subject.remove_prefix(n);
        TrimBlanks(subject);
    }
    return SearchFold(subject);
}

std::string ConversationKey(const ConversationMail& mail) {
    if (!DayNumber(mail.ymd))
        return {};
    std::string subject = ConversationSubject(mail.subject);
    if (subject.empty())
        return {};
    return LowerAscii(mail.friendAddress) + '\n' + subject;
}

std::vector<size_t> JoinConversations(const std::vector<ConversationMail>& mails) {
    const size_t n = mails.size();
    UnionFind sets(n);
    // By message IDs: every mail naming an ID (as its own or as one it answers) joins the first
    // mail that named it.
    std::vector<Placed> named;
    for (size_t i = 0; i < n; ++i) {
        if (!mails[i].messageId.empty())
            named.push_back(Place(mails[i].messageId, i));
        for (const auto& id : mails[i].parents)
            if (!id.empty())
                named.push_back(Place(id, i));
    }
    SortByText(named);
    ForEachRun(named, [&](size_t begin, size_t end) {
        for (size_t k = begin + 1; k < end; ++k)
            sets.Join(named[k].at, named[begin].at);
    });
    // Each mail's previous one with the same friend and subject.
    std::vector<std::string> keys(n);
    std::vector<Placed> keyed;
    keyed.reserve(n);
    for (size_t i = 0; i < n; ++i)
        if (keys[i] = ConversationKey(mails[i]); !keys[i].empty())
            keyed.push_back(Place(keys[i], i));
    SortByText(keyed);
    std::vector<size_t> previous(n, kNone);
    ForEachRun(keyed, [&](size_t begin, size_t end) {
        for (size_t k = begin + 1; k < end; ++k)
            previous[keyed[k].at] = keyed[k - 1].at;
    });
    // By friend and subject, oldest first: a mail that names no mail it answers joins the
    // conversation of the last mail with the same friend and subject, if that conversation's
    // previous mail is recent enough.
    std::vector<std::optional<int64_t>> lastTime(n);
    for (size_t i = 0; i < n; ++i) {
        const ConversationMail& m = mails[i];
        const auto day = DayNumber(m.ymd);
        const std::optional<int64_t> time = day ? std::optional<int64_t>(*day * 86400 + Seconds(m.hms)) : std::nullopt;
        if (m.parents.empty() && previous[i] != kNone) {
            // A mail with a subject key has a date.
            const auto& last = lastTime[sets.Find(previous[i])];
            if (last && *time - *last <= kConversationGapDays * 86400)
                sets.Join(i, previous[i]);
        }
        auto& last = lastTime[sets.Find(i)];
        if (time && (!last || *time > *last))
            last = time;
    }
    std::vector<size_t> first(n);
    for (size_t i = 0; i < n; ++i)
        first[i] = sets.Find(i);
    return first;
}

std::vector<ConversationMail> ReadConversationMails(SQLite::Database& db, const std::vector<int64_t>* rows,
                                                    bool dateOrder) {
    SQLite::Statement hasFields(db, "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = 'tblHeaderFields'");
    const bool fields = hasFields.executeStep();
    const std::string from =
        rows ? "json_each(?1) AS h CROSS JOIN tblKamoMail ON tblKamoMail.rowid = h.value" : "tblKamoMail";
    SQLite::Statement st(
        db, "SELECT tblKamoMail.rowid, " + MailColumn::kYmd + ", " + MailColumn::kHms + ", " + MailColumn::kFlag +
                ", " + MailColumn::kSndAdd + ", " + MailColumn::kRcvAdd + ", " + MailColumn::kSubject + ", " +
                (fields ? "tblHeaderFields_MessageId, tblHeaderFields_InReplyTo, tblHeaderFields_References"
                          " FROM " +
                              from + " LEFT JOIN tblHeaderFields ON " + MailKeyJoin("tblHeaderFields")
                        : "'', '', '' FROM " + from) +
                (dateOrder ? " ORDER BY " + MailKeyColumns() + ", tblKamoMail.rowid" : std::string()));
    if (rows)
        st.bind(1, JsonList(*rows));
    std::vector<ConversationMail> mails;
    while (st.executeStep()) {
        ConversationMail m;
        m.rowId = st.getColumn(0).getInt64();
        m.ymd = st.getColumn(1).getString();
        m.hms = st.getColumn(2).getString();
        m.sent = st.getColumn(3).getInt64() != 0;
        m.friendAddress = st.getColumn(m.sent ? 5 : 4).getString();
        m.subject = st.getColumn(6).getString();
        m.messageId = st.getColumn(7).getString();
        for (int c : {8, 9}) {
            const std::string ids = st.getColumn(c).getString();
            size_t start = 0;
            while (start < ids.size()) {
                size_t end = ids.find(' ', start);
                if (end == std::string::npos)
                    end = ids.size();
                if (end > start)
                    m.parents.push_back(ids.substr(start, end - start));
                start = end + 1;
            }
        }
        mails.push_back(std::move(m));
    }
    return mails;
}

Conversation ConversationOf(SQLite::Database& db, int64_t rowId, WaitReporter& wait, OwedIndex owed) {
    const Conversations linked(db, {rowId}, wait, owed);
    return {linked.ThreadOf(rowId), linked.MailsWith(rowId)};
}

Conversations::Conversations(SQLite::Database& db) {
    Join(ReadConversationMails(db, nullptr, true));
}

Conversations::Conversations(SQLite::Database& db, const std::vector<int64_t>& rows, WaitReporter& wait,
                             OwedIndex owed) {
    auto step = [&] {
        if (wait.CancelRequested())
            throw ConversationsStopped();
    };
    // Walking the links of a list that holds much of the archive reads it all, a statement per link
    // at a time: one pass over the archive costs less and gives the same, index or none.
    const int64_t highest = db.execAndGet("SELECT IFNULL(MAX(rowid), 0) FROM tblKamoMail").getInt64();
    const bool whole = static_cast<int64_t>(rows.size()) * kWholeReadingShare >= highest;
    if (!whole && (owed == OwedIndex::Make || ConversationIndexOwed(db) <= kQuietConversationRows))
        UpdateConversationIndex(db, wait);
    std::vector<ConversationMail> mails;
    if (whole || !ConversationIndexComplete(db)) {
        mails = ReadConversationMails(db, nullptr, true);
    } else {
        const std::vector<int64_t> linked = LinkedMails(db, rows);
        step();
        mails = ReadConversationMails(db, &linked, true);
    }
    step();
    Join(std::move(mails));
    step();
}

void Conversations::Join(std::vector<ConversationMail> mails) {
    const std::vector<size_t> first = JoinConversations(mails);
    const size_t n = mails.size();
    rows_.reserve(n);
    entries_.resize(n);
    sorted_.reserve(n);
    std::vector<size_t> last(n, kNone); // of a first mail: its conversation's last mail so far
    for (size_t i = 0; i < n; ++i) {
        rows_.push_back(mails[i].rowId);
        sorted_.emplace_back(mails[i].rowId, i);
        Entry& e = entries_[i];
        e.first = first[i];
        e.next = kNone;
        e.messageId = std::move(mails[i].messageId);
        Entry& head = entries_[first[i]];
        if (first[i] == i)
            e.hash = ThreadHashOf(mails[i]);
        else
            entries_[last[first[i]]].next = i;
        last[first[i]] = i;
        ++head.count;
    }
    std::sort(sorted_.begin(), sorted_.end());
}

size_t Conversations::PositionOf(int64_t rowId) const {
    const auto it = std::lower_bound(sorted_.begin(), sorted_.end(), std::pair<int64_t, size_t>(rowId, 0));
    return it == sorted_.end() || it->first != rowId ? kNone : it->second;
}

std::string Conversations::ThreadOf(int64_t rowId) const {
    const size_t at = PositionOf(rowId);
    return at == kNone ? std::string() : ThreadIdText(entries_[entries_[at].first].hash);
}

std::vector<int64_t> Conversations::MailsWith(int64_t rowId) const {
    const size_t at = PositionOf(rowId);
    if (at == kNone)
        return {};
    std::vector<int64_t> rows;
    for (size_t i = entries_[at].first; i != kNone; i = entries_[i].next)
        rows.push_back(rows_[i]);
    return rows;
}

size_t Conversations::SizeOf(int64_t rowId) const {
    const size_t at = PositionOf(rowId);
    return at == kNone ? 0 : entries_[entries_[at].first].count;
}

const std::string& Conversations::MessageIdOf(int64_t rowId) const {
    static const std::string kNoId;
    const size_t at = PositionOf(rowId);
    return at == kNone ? kNoId : entries_[at].messageId;
}

std::vector<ThreadedLine> ThreadedOrder(const std::vector<std::string>& threadOfLine) {
    const size_t n = threadOfLine.size();
    // Each line's conversation as runs of lines in the list's order; a line without one is a run
    // of its own.
    std::vector<Placed> placed;
    placed.reserve(n);
    for (size_t i = 0; i < n; ++i)
        if (!threadOfLine[i].empty())
            placed.push_back(Place(threadOfLine[i], i));
    SortByText(placed);
    std::vector<size_t> runOf(n, kNone); // of a run's first line: where its run begins in `placed`
    std::vector<size_t> runEnd;          // by the same index
    runEnd.resize(placed.size());
    ForEachRun(placed, [&](size_t begin, size_t end) {
        runOf[placed[begin].at] = begin;
        runEnd[begin] = end;
    });
    std::vector<bool> inRun(n, false);
    for (const Placed& p : placed)
        inRun[p.at] = true;
    std::vector<ThreadedLine> lines;
    lines.reserve(n);
    for (size_t i = 0; i < n; ++i) {
        if (!inRun[i]) {
            lines.push_back({i, 0});
        } else if (const size_t begin = runOf[i]; begin != kNone) {
            for (size_t k = begin; k < runEnd[begin]; ++k)
                lines.push_back({placed[k].at, k == begin ? 0 : 1});
        }
    }
    return lines;
}

} // namespace kamo
