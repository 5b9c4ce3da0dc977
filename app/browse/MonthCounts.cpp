#include "browse/MonthCounts.h"

#include <algorithm>
#include <optional>

#include <SQLiteCpp/Statement.h>

#include "common/NumberText.h"
#include "db/MailRows.h"

namespace kamo {
namespace {

// The first `n` characters of UTF-8 text, as substr() counts them; false when it has fewer.
bool FirstCharacters(const std::string& text, size_t n, std::string& first) {
    size_t i = 0, chars = 0;
    for (; i < text.size() && chars < n; ++chars) {
        ++i;
        while (i < text.size() && (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80)
            ++i;
    }
    first = text.substr(0, i);
    return chars == n;
}

// No byte of UTF-8 text is 0xFF: every text that starts with a prefix sorts below prefix + "\xFF".
const std::string kAfterPrefix = "\xFF";

// The months are walked down the primary index, whose first columns are the date and the direction:
// one jump to each month's first date, then one counted index range per month. The cost is a pass
// over the index entries without reading a mail or sorting, and nothing at all for empty months.
class MonthWalker {
    static std::string FirstDateSql(const char* comparison) {
        return "SELECT MIN(" + MailColumn::kYmd + ") FROM tblKamoMail WHERE " + MailColumn::kYmd + " " + comparison +
               " ?1";
    }
    static std::string CountSql() { return "SELECT COUNT(*), TOTAL(" + MailColumn::kFlag + " <> 0) FROM tblKamoMail"; }

public:
    MonthWalker(SQLite::Database& db, const std::string& condition)
        : from_(db, FirstDateSql(">=")), after_(db, FirstDateSql(">")),
          range_(db,
                 CountSql() + " WHERE " + MailColumn::kYmd + " >= ?1 AND " + MailColumn::kYmd + " < ?2" + condition),
          exact_(db, CountSql() + " WHERE " + MailColumn::kYmd + " = ?1" + condition) {}

    void BindKey(const std::string& key) {
        range_.bind(3, key);
        exact_.bind(3, key);
    }

    std::vector<MonthCount> Walk() {
        std::vector<MonthCount> months;
        std::optional<std::string> ymd = First(from_, "");
        while (ymd) {
            std::string month;
            const bool whole = FirstCharacters(*ymd, 7, month);
            MonthCount count{month, 0, 0};
            if (whole) {
                Count(range_, count, month, month + kAfterPrefix);
                ymd = First(from_, month + kAfterPrefix);
            } else {
                // A date shorter than a month is a group of its own; longer dates that start
                // with it belong to theirs.
                Count(exact_, count, *ymd, {});
                ymd = First(after_, *ymd);
            }
            if (count.received + count.sent > 0)
                months.push_back(std::move(count));
        }
        return months;
    }

private:
    static std::optional<std::string> First(SQLite::Statement& st, const std::string& bound) {
        st.reset();
        st.bind(1, bound);
        std::optional<std::string> value;
        if (st.executeStep() && !st.getColumn(0).isNull())
            value = st.getColumn(0).getString();
        st.reset();
        return value;
    }

    static void Count(SQLite::Statement& st, MonthCount& count, const std::string& from,
                      const std::optional<std::string>& below) {
        st.reset();
        st.bind(1, from);
        if (below)
            st.bind(2, *below);
        if (st.executeStep()) {
            const int64_t all = st.getColumn(0).getInt64();
            count.sent = static_cast<int64_t>(st.getColumn(1).getDouble());
            count.received = all - count.sent;
        }
        st.reset();
    }

    SQLite::Statement from_;
    SQLite::Statement after_;
    SQLite::Statement range_;
    SQLite::Statement exact_;
};

int64_t CountOf(SQLite::Database& db, const std::string& sql, const std::string& key) {
    SQLite::Statement st(db, sql);
    st.bind(1, key);
    return st.executeStep() ? st.getColumn(0).getInt64() : 0;
}

} // namespace

std::vector<MonthCount> CountMailByMonth(SQLite::Database& db) {
    return MonthWalker(db, "").Walk();
}

std::vector<MonthCount> CountMailByMonth(SQLite::Database& db, ViewMode mode, const std::string& key) {
    using namespace MailColumn;
    std::string condition;
    if (mode == ViewMode::Address) {
        // The subject list's condition. A key in a small part of the archive is read through its
        // own two indexes (each mail then looked up for its direction); a key in much of it (the
        // owner's own address) costs less as a pass over the primary index, which holds both
        // addresses: the unary + keeps the planner off the address indexes.
        const int64_t keyMails = CountOf(db,
                                         "SELECT (SELECT COUNT(*) FROM tblKamoMail WHERE " + kSndAdd +
                                             " = ?1) + (SELECT COUNT(*) FROM tblKamoMail WHERE " + kRcvAdd + " = ?1)",
                                         key);
        // The archive's size by its highest row id: exact enough to choose a way, without a count.
        const int64_t allMails = db.execAndGet("SELECT IFNULL(MAX(rowid), 0) FROM tblKamoMail").getInt64();
        const std::string plus = keyMails * 3 > allMails ? "+" : "";
        condition = " AND (" + plus + kSndAdd + " = ?3 OR " + plus + kRcvAdd + " = ?3)";
    } else if (mode == ViewMode::Name) {
        condition = " AND (" + kSndName + " = ?3 OR " + kRcvName + " = ?3)";
    } else {
        return CountMailByMonth(db);
    }
    MonthWalker walker(db, condition);
    walker.BindKey(key);
    return walker.Walk();
}

bool ParseMonth(const std::string& month, int& year, int& monthOfYear) {
    if (month.size() != 7 || month[4] != '/')
        return false;
    int y = 0, m = 0;
    for (int i = 0; i < 7; ++i) {
        if (i == 4)
            continue;
        if (month[i] < '0' || month[i] > '9')
            return false;
        (i < 4 ? y : m) = (i < 4 ? y : m) * 10 + (month[i] - '0');
    }
    if (m < 1 || m > 12)
        return false;
    year = y;
    monthOfYear = m;
    return true;
}

BusiestMonth BusiestMonthOf(const std::vector<MonthCount>& counts) {
    BusiestMonth most;
    for (const MonthCount& c : counts) {
        int year = 0, month = 0;
        if (!ParseMonth(c.month, year, month))
            continue;
        most.received = std::max(most.received, c.received);
        most.sent = std::max(most.sent, c.sent);
    }
    return most;
}

std::string MonthTip(const MonthCount& count) {
    int year = 0, month = 0;
    const std::string when =
        ParseMonth(count.month, year, month) ? std::to_string(year) + "年" + std::to_string(month) + "月" : count.month;
    return when + " 受信 " + WithSeparators(count.received) + " 通 / 送信 " + WithSeparators(count.sent) + " 通";
}

} // namespace kamo
