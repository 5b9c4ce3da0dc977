#include "browse/ThreadedLines.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <stdexcept>
#include <thread>

#include <sqlite3.h>

#include "db/BrowseQueries.h"
#include "search/ConversationIndex.h"

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
                                        WaitReporter& wait, OwedIndex owed) {
    std::vector<int64_t> rows = MailRowsOfLines(db, source, lines);
    std::vector<int64_t> mails;
    mails.reserve(rows.size());
    for (int64_t row : rows)
        if (row != 0)
            mails.push_back(row);
    const Conversations conversations(db, mails, wait, owed);
    std::vector<std::string> threads;
    threads.reserve(rows.size());
    for (int64_t row : rows)
        threads.push_back(row != 0 ? conversations.ThreadOf(row) : std::string());
    return threads;
}

namespace {

// The worker's reporter: nothing shown, a stop asked for by the caller's thread.
class StopFlag : public NullWaitReporter {
public:
    bool CancelRequested() const override { return stop.load(); }
    std::atomic<bool> stop{false};
};

} // namespace

std::optional<std::vector<std::string>> ThreadsOfLinesBeside(SQLite::Database& db, SubjectSource source,
                                                             const std::vector<int64_t>& lines,
                                                             const std::function<void()>& pump,
                                                             const std::function<bool()>& stop) {
    // What is owed of the index goes in now, on the archive's own connection, when it is little.
    if (ConversationIndexOwed(db) <= kQuietConversationRows) {
        NullWaitReporter quiet;
        UpdateConversationIndex(db, quiet);
    }
    const char* file = sqlite3_db_filename(db.getHandle(), "main");
    if (!file || !*file) {
        class Asking : public NullWaitReporter {
        public:
            explicit Asking(const std::function<bool()>& stop) : stop_(stop) {}
            bool CancelRequested() const override { return stop_(); }

        private:
            const std::function<bool()>& stop_;
        } asking(stop);
        try {
            return ThreadsOfLines(db, source, lines, asking, OwedIndex::MakeWhenFew);
        } catch (const ConversationsStopped&) {
            return std::nullopt;
        }
    }
    struct Shared {
        std::mutex mutex;
        std::condition_variable changed;
        bool done = false;
        sqlite3* connection = nullptr; // while the worker's is open, for interrupting it
        std::optional<std::vector<std::string>> threads;
        std::exception_ptr failure;
        StopFlag flag;
    } shared;
    const std::string path = file;
    std::thread worker([&shared, path, source, &lines] {
        try {
            SQLite::Database own(path, SQLite::OPEN_READONLY);
            {
                std::lock_guard<std::mutex> lock(shared.mutex);
                shared.connection = own.getHandle();
            }
            try {
                auto threads = ThreadsOfLines(own, source, lines, shared.flag, OwedIndex::MakeWhenFew);
                std::lock_guard<std::mutex> lock(shared.mutex);
                shared.threads = std::move(threads);
            } catch (...) {
                std::lock_guard<std::mutex> lock(shared.mutex);
                if (!shared.flag.stop.load())
                    shared.failure = std::current_exception();
            }
            std::lock_guard<std::mutex> lock(shared.mutex);
            shared.connection = nullptr;
        } catch (...) {
            std::lock_guard<std::mutex> lock(shared.mutex);
            if (!shared.flag.stop.load())
                shared.failure = std::current_exception();
        }
        std::lock_guard<std::mutex> lock(shared.mutex);
        shared.done = true;
        shared.changed.notify_all();
    });
    // The caller's thread keeps its events running; a stop interrupts the worker's statement.
    bool stopped = false;
    for (bool done = false; !done;) {
        pump();
        if (!stopped && stop()) {
            stopped = true;
            std::lock_guard<std::mutex> lock(shared.mutex);
            shared.flag.stop = true;
            if (shared.connection)
                sqlite3_interrupt(shared.connection);
        }
        std::unique_lock<std::mutex> lock(shared.mutex);
        done = shared.changed.wait_for(lock, std::chrono::milliseconds(20), [&] { return shared.done; });
    }
    worker.join();
    pump();
    if (stopped || stop())
        return std::nullopt;
    if (shared.failure)
        std::rethrow_exception(shared.failure);
    return std::move(shared.threads);
}

} // namespace kamo
