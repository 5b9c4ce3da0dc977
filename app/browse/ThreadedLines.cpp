#include "browse/ThreadedLines.h"

#include <stdexcept>

#include "db/BrowseQueries.h"
#include "search/Conversations.h"

namespace kamo {

std::vector<int64_t> MailRowsOfLines(SQLite::Database& db, SubjectSource source, const std::vector<int64_t>& lines) {
    if (source == SubjectSource::Mail)
        return lines;
    SubjectLineReader reader(db, source);
    MailRowFinder rowOf(db);
    std::vector<int64_t> rows;
    rows.reserve(lines.size());
    for (int64_t line : lines) {
        int64_t row = 0;
        try {
            row = rowOf.Find(reader.Read(line).key).value_or(0);
        } catch (const std::out_of_range&) {
            // The line is gone from the filter's lines: no mail.
        }
        rows.push_back(row);
    }
    return rows;
}

std::vector<std::string> ThreadsOfLines(SQLite::Database& db, SubjectSource source, const std::vector<int64_t>& lines,
                                        WaitReporter& wait) {
    std::vector<int64_t> rows = MailRowsOfLines(db, source, lines);
    std::vector<int64_t> mails;
    mails.reserve(rows.size());
    for (int64_t row : rows)
        if (row != 0)
            mails.push_back(row);
    const Conversations conversations(db, mails, wait);
    std::vector<std::string> threads;
    threads.reserve(rows.size());
    for (int64_t row : rows)
        threads.push_back(row != 0 ? conversations.ThreadOf(row) : std::string());
    return threads;
}

} // namespace kamo
