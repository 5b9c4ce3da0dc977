#pragma once
// A subject list's lines by conversation: the mail of each line and the conversation it is in, for
// ThreadedOrder (search/Conversations.h), which groups the window's lines and `kamomail list
// --threads` alike.
#include <cstdint>
#include <string>
#include <vector>

#include <SQLiteCpp/Database.h>

#include "browse/SubjectCursor.h"

namespace kamo {

class WaitReporter;

// The archive row of each line's mail (a filter's lines name their mail by its key); 0 for a line
// whose mail is gone.
std::vector<int64_t> MailRowsOfLines(SQLite::Database& db, SubjectSource source, const std::vector<int64_t>& lines);

// Each line's conversation (Conversations::ThreadOf; empty for a line whose mail is gone), joined as
// the archive joins them while reading only the mails linked to the listed ones.
std::vector<std::string> ThreadsOfLines(SQLite::Database& db, SubjectSource source, const std::vector<int64_t>& lines,
                                        WaitReporter& wait);

} // namespace kamo
