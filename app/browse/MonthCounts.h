#pragma once
// The archive over time: mails per month, received and sent apart, for the whole archive or for
// one key of the address or name view.
#include <cstdint>
#include <string>
#include <vector>

#include <SQLiteCpp/Database.h>

#include "browse/ViewModes.h"
#include "db/BrowseQueries.h"

namespace kamo {

// Every month that has mail (MonthCount, db/BrowseQueries.h), oldest first (mail without a date
// counts in no month).
std::vector<MonthCount> CountMailByMonth(SQLite::Database& db);
// The mail a key's subject list shows (address or name mode: sender or receiver is the key), by
// month. Any other mode counts the whole archive.
std::vector<MonthCount> CountMailByMonth(SQLite::Database& db, ViewMode mode, const std::string& key);

// "yyyy/mm" into year and month (1 to 12); false for anything else.
bool ParseMonth(const std::string& month, int& year, int& monthOfYear);
// The most mail of one month, received and sent apart, over the months that are dates: the chart's
// scale (mail of an unreadable date, "0000/00", has no bar). Zero when there is none.
struct BusiestMonth {
    int64_t received = 0;
    int64_t sent = 0;
};
BusiestMonth BusiestMonthOf(const std::vector<MonthCount>& counts);
// The tool tip of a month's bar: "2003年4月 受信 12 通 / 送信 3 通", big counts with separators.
std::string MonthTip(const MonthCount& count);

} // namespace kamo
