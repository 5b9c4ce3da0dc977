#pragma once
// The search index of a read into an archive that has none yet (a first read), made beside the
// read on the other processor instead of after it.
//
// Each mail the read stores is handed over with its row; a thread of its own, at the lowest
// priority so that the read's own threads come first, folds and indexes it into a private
// temporary database while the read goes on. At the end, before anything else changes the mail,
// that thread puts the index into the archive in one transaction, through a connection of its
// own, with the rows this read did not store queued: the archive then holds what UpdateSearchIndex
// would have made, and the read's connection finds it when it next looks, as it would find an
// index another program made. Meanwhile the read's thread only waits, keeping the window alive.
//
// Nothing is lost on the way: until that transaction the archive has no index, and the refresh
// makes one from the mail as it would without this; the same happens when anything here fails.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <SQLiteCpp/Database.h>

#include "common/MailRecord.h"
#include "common/WaitReporter.h"

namespace kamo {

class SearchIndexBeside {
public:
    // Null when the archive already has an index (or a damaged one), when `db` is in a
    // transaction, or when the archive cannot be opened a second time.
    static std::unique_ptr<SearchIndexBeside> Begin(SQLite::Database& db);
    ~SearchIndexBeside(); // stops the thread; what it made is dropped
    SearchIndexBeside(const SearchIndexBeside&) = delete;
    SearchIndexBeside& operator=(const SearchIndexBeside&) = delete;

    // A mail the read stored as row `row` of the mail table. Waits while much is still waiting.
    void Add(int64_t row, const MailRecord& mail);
    // No more mail comes: the thread indexes what is waiting and writes out what its index holds in
    // memory now, while the read's thread does its last work, instead of at Finish. A mail added
    // after it is not taken: it is queued with the mail this read did not store, for the refresh.
    void StoreEnded();
    // Indexes what is left and puts the index into the archive, with `wait` pumped meanwhile (more
    // than kQuietIndexRows mails show the index's phase and count). False when it could not (the
    // archive got an index meanwhile, an error): the refresh makes the index then.
    bool Finish(WaitReporter& wait);

    // Bytes of mail text waiting before Add waits for the thread.
    static constexpr std::size_t kMostWaitingBytes = 8u << 20;

private:
    struct Waiting {
        int64_t row;
        std::string subject, sndName, sndAdd, rcvName, rcvAdd, body;
    };
    explicit SearchIndexBeside(std::unique_ptr<SQLite::Database> side);
    void Run();
    bool PutIntoArchive();

    std::unique_ptr<SQLite::Database> side_; // the archive as main, the index being made as "side"
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Waiting> waiting_;
    std::size_t waitingBytes_ = 0;
    std::vector<int64_t> rows_; // handed over; the thread's once it has ended
    std::atomic<int64_t> indexed_{0};
    bool stored_ = false;   // no more mail comes: index the rest
    bool ending_ = false;   // index the rest and put it in
    bool stopping_ = false; // drop everything
    bool done_ = false;     // the thread has ended
    bool merged_ = false;   // ... with the index in the archive
    std::thread thread_;
};

} // namespace kamo
