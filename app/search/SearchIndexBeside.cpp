#include "search/SearchIndexBeside.h"

#include <algorithm>
#include <chrono>
#include <iterator>
#include <optional>
#include <utility>
#include <vector>

#include <SQLiteCpp/Statement.h>
#include <SQLiteCpp/Transaction.h>
#include <sys/resource.h>
#include <unistd.h>

#include "db/PieceTransaction.h"
#include "db/Schema.h"
#include "search/SearchIndex.h"

namespace kamo {
namespace {

// The folded text and the index over it in the private database, by these names.
constexpr const char* kSideFolded = "Folded";
constexpr const char* kSideText = "Text";
// The thread is woken for this many mails at once, not for each.
constexpr std::size_t kWakeAfter = 512;
// How often the waiting read's thread lets the window run.
constexpr auto kPumpEvery = std::chrono::milliseconds(50);

} // namespace

std::unique_ptr<SearchIndexBeside> SearchIndexBeside::Begin(SQLite::Database& db) {
    try {
        const std::string path = db.getFilename();
        if (path.empty() || InTransaction(db) || InspectSearchIndex(db) != SearchIndexState::Missing)
            return nullptr;
        std::unique_ptr<SQLite::Database> side = OpenArchive(path);
        // A temporary database of its own, never kept: its pages go to a file only beyond its cache.
        side->exec("ATTACH DATABASE '' AS side");
        side->exec("PRAGMA side.journal_mode = OFF");
        side->exec("PRAGMA side.synchronous = OFF");
        side->exec("PRAGMA side.cache_size = -16384");
        side->exec(SearchFoldedSql(std::string("side.") + kSideFolded));
        side->exec(SearchTextSql(std::string("side.") + kSideText, kSideFolded));
        SetIndexHashSize(*side, "side", kSideText);
        return std::unique_ptr<SearchIndexBeside>(new SearchIndexBeside(std::move(side)));
    } catch (const std::exception&) {
        return nullptr; // (SQLite's errors, no thread to be had, memory) the refresh makes the index
    }
}

SearchIndexBeside::SearchIndexBeside(std::unique_ptr<SQLite::Database> side) : side_(std::move(side)) {
    thread_ = std::thread([this] { Run(); });
}

SearchIndexBeside::~SearchIndexBeside() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    if (thread_.joinable())
        thread_.join();
}

void SearchIndexBeside::Add(int64_t row, const MailRecord& mail) {
    Waiting w{row, mail.subject, mail.sndName, mail.sndAdd, mail.rcvName, mail.rcvAdd, mail.body};
    const std::size_t bytes =
        w.subject.size() + w.sndName.size() + w.sndAdd.size() + w.rcvName.size() + w.rcvAdd.size() + w.body.size();
    std::unique_lock<std::mutex> lock(mutex_);
    if (stored_)
        return; // not handed over: the merge queues it with the mail this read did not store
    changed_.wait(lock, [this] { return done_ || waitingBytes_ < kMostWaitingBytes; });
    if (done_)
        return; // failed: the refresh makes the index
    waiting_.push_back(std::move(w));
    waitingBytes_ += bytes;
    rows_.push_back(row);
    const bool wake = waiting_.size() == kWakeAfter || waitingBytes_ >= kMostWaitingBytes;
    lock.unlock();
    if (wake)
        changed_.notify_all();
}

void SearchIndexBeside::Run() {
    setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), 19);
    bool merged = false;
    try {
        bool complete = false;
        {
            SearchRowWriter writer(*side_, std::string("side.") + kSideFolded, std::string("side.") + kSideText);
            SQLite::Transaction transaction(*side_);
            for (;;) {
                std::deque<Waiting> batch;
                {
                    std::unique_lock<std::mutex> lock(mutex_);
                    changed_.wait(lock, [this] {
                        return stopping_ || ending_ || stored_ || waiting_.size() >= kWakeAfter ||
                               waitingBytes_ >= kMostWaitingBytes;
                    });
                    if (stopping_)
                        break;
                    if ((ending_ || stored_) && waiting_.empty()) {
                        complete = true;
                        break;
                    }
                    batch.swap(waiting_);
                    waitingBytes_ = 0;
                }
                changed_.notify_all();
                for (const Waiting& w : batch) {
                    writer.Put(w.row, {w.subject, w.sndName, w.sndAdd, w.rcvName, w.rcvAdd, w.body});
                    indexed_.fetch_add(1, std::memory_order_relaxed);
                }
            }
            if (complete)
                transaction.commit(); // FTS5 writes out the terms it holds in memory
        }
        {
            std::unique_lock<std::mutex> lock(mutex_);
            changed_.wait(lock, [this] { return stopping_ || ending_; });
            complete = complete && !stopping_;
        }
        merged = complete && PutIntoArchive();
    } catch (const std::exception&) {
        merged = false; // (SQLite's errors, memory) the refresh makes the index
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        done_ = true;
        merged_ = merged;
    }
    changed_.notify_all();
}

void SearchIndexBeside::StoreEnded() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stored_ = true;
    }
    changed_.notify_all();
}

bool SearchIndexBeside::Finish(WaitReporter& wait) {
    int64_t total = 0;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ending_ = true;
        total = static_cast<int64_t>(rows_.size());
    }
    changed_.notify_all();
    std::optional<WaitScope> scope;
    if (total > kQuietIndexRows) {
        scope.emplace(wait);
        wait.ShowPhase(WaitPhase::IndexingSearch);
    }
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(mutex_);
            if (changed_.wait_for(lock, kPumpEvery, [this] { return done_; }))
                break;
        }
        if (scope) {
            const int64_t done = std::min(indexed_.load(std::memory_order_relaxed), total);
            wait.ShowCount(WaitCount::IndexRows, done, total);
            wait.SetProgress(done, total);
        }
        wait.Pump();
    }
    thread_.join();
    if (scope) {
        wait.ShowCount(WaitCount::IndexRows, total, total);
        wait.SetProgress(total, total);
        wait.Pump();
    }
    return merged_;
}

bool SearchIndexBeside::PutIntoArchive() {
    SQLite::Database& db = *side_;
    SQLite::Transaction transaction(db);
    if (InspectSearchIndex(db) != SearchIndexState::Missing)
        return false; // made meanwhile
    // Every row of the mail table, from its smallest index (the rows alone would be read out of the
    // whole table), against the rows handed over.
    std::vector<int64_t> mail;
    {
        SQLite::Statement all(db, "SELECT rowid FROM main.tblKamoMail");
        while (all.executeStep())
            mail.push_back(all.getColumn(0).getInt64());
    }
    std::sort(mail.begin(), mail.end());
    std::sort(rows_.begin(), rows_.end());
    // A row handed over that is no longer in the mail table (none should be) leaves the index first.
    std::vector<int64_t> gone;
    std::set_difference(rows_.begin(), rows_.end(), mail.begin(), mail.end(), std::back_inserter(gone));
    {
        SQLite::Statement forgetText(db, std::string("INSERT INTO side.") + kSideText + " (" + kSideText +
                                             ", rowid, Subject, SndName, SndAdd, RcvName, RcvAdd, Body) SELECT"
                                             " 'delete', MailRow, Subject, SndName, SndAdd, RcvName, RcvAdd, Body"
                                             " FROM side." +
                                             kSideFolded + " WHERE MailRow = ?1");
        SQLite::Statement forgetFolded(db, std::string("DELETE FROM side.") + kSideFolded + " WHERE MailRow = ?1");
        for (const int64_t row : gone)
            for (SQLite::Statement* forget : {&forgetText, &forgetFolded}) {
                forget->reset();
                forget->bind(1, row);
                forget->exec();
            }
    }
    // The index's tables as the archive declares them, their FTS5 pages those made here: the same
    // index. This connection's FTS5 does not touch it again.
    CreateSearchIndex(db);
    const std::string text = std::string("main.") + kSearchTextTable;
    db.exec("DELETE FROM " + text + "_data");
    db.exec("INSERT INTO " + text + "_data (id, block) SELECT id, block FROM side." + kSideText + "_data");
    db.exec("DELETE FROM " + text + "_idx");
    db.exec("INSERT INTO " + text + "_idx (segid, term, pgno) SELECT segid, term, pgno FROM side." + kSideText +
            "_idx");
    db.exec(std::string("INSERT INTO main.tblSearchFolded SELECT * FROM side.") + kSideFolded);
    // Mail this read did not store (an older archive's) waits for the refresh, as after a rebuild.
    std::vector<int64_t> older;
    std::set_difference(mail.begin(), mail.end(), rows_.begin(), rows_.end(), std::back_inserter(older));
    SQLite::Statement queue(db, "INSERT INTO main.tblSearchQueue (MailRow) VALUES (?1)");
    for (const int64_t row : older) {
        queue.reset();
        queue.bind(1, row);
        queue.exec();
    }
    transaction.commit();
    return true;
}

} // namespace kamo
