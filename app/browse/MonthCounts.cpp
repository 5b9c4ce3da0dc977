#include "browse/MonthCounts.h"

#include <algorithm>

#include "common/Messages.h"
#include "common/MessagesBrowse.h"
#include "common/NumberText.h"

namespace kamo {

std::vector<MonthCount> CountMailByMonth(SQLite::Database& db) {
    return CountMonths(db);
}

std::vector<MonthCount> CountMailByMonth(SQLite::Database& db, ViewMode mode, const std::string& key) {
    // The subject list's condition: sender or receiver is the key.
    if (mode == ViewMode::Address)
        return CountMonthsOfAddress(db, key);
    if (mode == ViewMode::Name)
        return CountMonthsOfName(db, key);
    return CountMonths(db);
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
    const std::string when = ParseMonth(count.month, year, month)
                                 ? Say(BrowseText::MonthOfYear, {std::to_string(year), std::to_string(month)})
                                 : count.month;
    return Say(BrowseText::MonthTip, {when, WithSeparators(count.received), WithSeparators(count.sent)});
}

} // namespace kamo
