#pragma once
// A subject list's lines by conversation: the mail of each line and the conversation it is in, for
// ThreadedOrder (search/Conversations.h), which groups the window's lines and `kamomail list
// --threads` alike.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <SQLiteCpp/Database.h>

#include "browse/SubjectCursor.h"
#include "search/Conversations.h"

namespace kamo {

class WaitReporter;

// The archive row of each line's mail (a filter's lines name their mail by its key); 0 for a line
// whose mail is gone.
std::vector<int64_t> MailRowsOfLines(SQLite::Database& db, SubjectSource source, const std::vector<int64_t>& lines);

// Each line's conversation (Conversations::ThreadOf; empty for a line whose mail is gone), joined as
// the archive joins them while reading only the mails linked to the listed ones.
std::vector<std::string> ThreadsOfLines(SQLite::Database& db, SubjectSource source, const std::vector<int64_t>& lines,
                                        WaitReporter& wait, OwedIndex owed = OwedIndex::Make);

// The same, found on a thread of its own over its own read-only connection to the archive's file,
// so that the caller's thread stays free: the conversation index is first brought up to date here
// when few mails are owed (an index that owes many is read around: the archive is read whole).
// `pump` runs on the caller's thread every few milliseconds while the work goes on and once after
// it; when `stop()` then says so, the work is broken off and nothing is returned. An archive
// without a file of its own (in memory) is worked on the caller's thread, asking `stop()` between
// its steps. Throws what the work threw.
std::optional<std::vector<std::string>> ThreadsOfLinesBeside(SQLite::Database& db, SubjectSource source,
                                                             const std::vector<int64_t>& lines,
                                                             const std::function<void()>& pump,
                                                             const std::function<bool()>& stop);

} // namespace kamo
