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

std::string ThreadIdOf(const ConversationMail& m) {
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
    h = (h ^ (m.sent ? 1u : 0u)) * 1099511628211ull;
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
    UnionFind sets(mails.size());
    // By message IDs: every mail naming an ID (as its own or as one it answers) joins the first
    // mail that named it.
    std::unordered_map<std::string, size_t> named;
    for (size_t i = 0; i < mails.size(); ++i) {
        auto name = [&](const std::string& id) {
            if (id.empty())
                return;
            const auto [it, added] = named.emplace(id, i);
            if (!added)
                sets.Join(i, it->second);
        };
        name(mails[i].messageId);
        for (const auto& id : mails[i].parents)
            name(id);
    }
    // By friend and subject, oldest first: a mail that names no mail it answers joins the
    // conversation of the last mail with the same friend and subject, if that conversation's
    // previous mail is recent enough.
    std::unordered_map<std::string, size_t> lastWith; // friend and subject to position
    std::vector<std::optional<int64_t>> lastTime(mails.size());
    for (size_t i = 0; i < mails.size(); ++i) {
        const ConversationMail& m = mails[i];
        const auto day = DayNumber(m.ymd);
        const std::optional<int64_t> time = day ? std::optional<int64_t>(*day * 86400 + Seconds(m.hms)) : std::nullopt;
        const std::string key = ConversationKey(m);
        if (!key.empty()) {
            if (m.parents.empty()) {
                if (const auto it = lastWith.find(key); it != lastWith.end()) {
                    const auto& previous = lastTime[sets.Find(it->second)];
                    if (previous && *time - *previous <= kConversationGapDays * 86400)
                        sets.Join(i, it->second);
                }
            }
            lastWith[key] = i;
        }
        auto& last = lastTime[sets.Find(i)];
        if (time && (!last || *time > *last))
            last = time;
    }
    std::vector<size_t> first(mails.size());
    for (size_t i = 0; i < mails.size(); ++i)
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

Conversation ConversationOf(SQLite::Database& db, int64_t rowId, WaitReporter& wait) {
    const Conversations linked(db, {rowId}, wait);
    return {linked.ThreadOf(rowId), linked.MailsWith(rowId)};
}

Conversations::Conversations(SQLite::Database& db) {
    Join(ReadConversationMails(db, nullptr, true));
}

Conversations::Conversations(SQLite::Database& db, const std::vector<int64_t>& rows, WaitReporter& wait) {
    UpdateConversationIndex(db, wait);
    if (!ConversationIndexComplete(db)) {
        Join(ReadConversationMails(db, nullptr, true));
        return;
    }
    const std::vector<int64_t> linked = LinkedMails(db, rows);
    Join(ReadConversationMails(db, &linked, true));
}

void Conversations::Join(std::vector<ConversationMail> mails) {
    const std::vector<size_t> first = JoinConversations(mails);
    rows_.reserve(mails.size());
    entries_.resize(mails.size());
    for (size_t i = 0; i < mails.size(); ++i) {
        rows_.push_back(mails[i].rowId);
        at_[mails[i].rowId] = i;
        entries_[i].first = first[i];
        entries_[i].messageId = std::move(mails[i].messageId);
        if (first[i] == i)
            entries_[i].threadId = ThreadIdOf(mails[i]);
        else
            members_[first[i]].push_back(i);
    }
}

std::string Conversations::ThreadOf(int64_t rowId) const {
    const auto it = at_.find(rowId);
    return it == at_.end() ? std::string() : entries_[entries_[it->second].first].threadId;
}

std::vector<int64_t> Conversations::MailsWith(int64_t rowId) const {
    const auto it = at_.find(rowId);
    if (it == at_.end())
        return {};
    const size_t first = entries_[it->second].first;
    std::vector<int64_t> rows = {rows_[first]};
    if (const auto m = members_.find(first); m != members_.end())
        for (size_t i : m->second)
            rows.push_back(rows_[i]);
    return rows;
}

size_t Conversations::SizeOf(int64_t rowId) const {
    const auto it = at_.find(rowId);
    if (it == at_.end())
        return 0;
    const auto m = members_.find(entries_[it->second].first);
    return 1 + (m == members_.end() ? 0 : m->second.size());
}

const std::string& Conversations::MessageIdOf(int64_t rowId) const {
    static const std::string kNone;
    const auto it = at_.find(rowId);
    return it == at_.end() ? kNone : entries_[it->second].messageId;
}

std::vector<ThreadedLine> ThreadedOrder(const std::vector<std::string>& threadOfLine) {
    std::vector<std::vector<size_t>> groups;
    std::unordered_map<std::string_view, size_t> groupOf;
    for (size_t i = 0; i < threadOfLine.size(); ++i) {
        const std::string& thread = threadOfLine[i];
        if (thread.empty()) {
            groups.push_back({i});
            continue;
        }
        const auto [it, added] = groupOf.emplace(thread, groups.size());
        if (added)
            groups.emplace_back();
        groups[it->second].push_back(i);
    }
    std::vector<ThreadedLine> lines;
    lines.reserve(threadOfLine.size());
    for (const auto& group : groups)
        for (size_t k = 0; k < group.size(); ++k)
            lines.push_back({group[k], k == 0 ? 0 : 1});
    return lines;
}

} // namespace kamo
