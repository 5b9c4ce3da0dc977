#pragma once
// Watching the PostPet folder for mail PostPet writes: which of the chosen mailboxes changed and
// then stayed still for a settle time. Linux inotify, so nothing runs while nothing changes. The
// PostPet folder itself and the folders of the mailboxes are watched, so a PostPet folder moved
// away and made anew is found again; a folder that is missing is waited for by watching its
// nearest existing parent, and while the PostPet folder itself is missing (a disk unmounted, a Wine
// prefix moved away) also by a slow re-check, since a mount over a watched folder sends no event.
//
// Each mailbox (its list and mail file) settles on its own: it is due when the size, modification
// time or file of its list or mail file differ from when it was last taken, and did not change over
// its whole settle time: its files are looked at when their last change came and again when the
// settle time has passed, and only a mailbox whose files were the same both times is taken. Other
// files changing beside them hold nothing back. The read itself stores a mailbox in one transaction.
//
// A read that failed (the archive locked by another program) is tried again after a back-off, and
// so is a mailbox that read as damaged while it may still be being written; see ReadFailed and
// ReadDamaged.
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "import/MailRead.h"
#include "import/Mailboxes.h"

namespace kamo {

class MailboxWatch {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::milliseconds kDefaultSettle{2000};
    // How often a missing folder is looked for again.
    static constexpr std::chrono::milliseconds kMissingRecheck{5000};
    // A failed read is tried again after the settle time, then after twice as long each time, up
    // to this.
    static constexpr std::chrono::milliseconds kRetryMost{5 * 60 * 1000};
    // Damage is believed once the mailbox's files have stayed as they are this many settle times.
    static constexpr int kDamageSettles = 15;

    // Watches `mailboxes` under `postPetDir`. Every mailbox whose list file is there counts as
    // changed at the start, so the first settle time ends with all of them due (mail written while
    // nobody watched is read too). Throws Failure when inotify cannot be had.
    MailboxWatch(std::filesystem::path postPetDir, std::vector<MailboxChoice> mailboxes,
                 std::chrono::milliseconds settle = kDefaultSettle);
    ~MailboxWatch();
    MailboxWatch(const MailboxWatch&) = delete;
    MailboxWatch& operator=(const MailboxWatch&) = delete;

    // Readable when changes wait to be taken by TakeEvents (for poll or a socket notifier).
    int Fd() const { return fd_; }
    // Milliseconds until TakeDue should be asked, 0 when now; -1 when nothing waits but the next
    // change (no timer at all while idle and every folder is there).
    int TimeoutMs() const;
    // Drains the waiting changes, watches the folders again where one went or came back, and starts
    // the settle time of each mailbox whose files changed.
    void TakeEvents();
    // The mailboxes that are due, in read order, each taken once per change (or retry); empty while
    // their changes are still settling. Call when TimeoutMs() has passed (calling earlier is harmless).
    std::vector<MailboxChoice> TakeDue();
    // The read of `boxes` (as TakeDue gave them) failed: each is due again after its back-off
    // (the settle time, doubled at each failure in a row, at most kRetryMost) even when nothing
    // changes, until a read succeeds. Gives the wait before the next attempt.
    std::chrono::milliseconds ReadFailed(const std::vector<MailboxChoice>& boxes);
    // The read of `box` found damaged mail. A writer that paused longer than the settle time leaves
    // a mailbox that reads as damaged until it is whole, so the damage stands only once its files
    // have stayed as they are for kDamageSettles settle times: until then the mailbox is read again
    // after a back-off (or when it changes) and this gives the wait; std::nullopt when it stands.
    std::optional<std::chrono::milliseconds> ReadDamaged(const MailboxChoice& box);

    // True while the PostPet folder is missing and only its nearest existing parent is watched.
    bool Waiting() const { return waiting_; }
    const std::filesystem::path& PostPetDir() const { return postPetDir_; }

    // What decides whether a file changed.
    struct FileState {
        bool exists = false;
        uintmax_t size = 0;
        int64_t mtimeNs = 0;
        uint64_t inode = 0;
        bool operator==(const FileState&) const = default;
    };
    struct BoxState {
        FileState list, mail;
        bool operator==(const BoxState&) const = default;
    };

private:
    struct Box {
        MailboxChoice choice{};
        std::optional<Clock::time_point> settleAt; // set while its files settle
        BoxState settling;                         // its files when their last change came
        std::optional<BoxState> taken;             // its files when it was last taken; none while a read is owed
        std::optional<Clock::time_point> retryAt;  // a read owed after a failure
        std::chrono::milliseconds backoff{0};      // the last wait before a retry, 0 after a fresh change
        std::optional<BoxState> damaged;           // its files when a read first found them damaged
        Clock::time_point damagedSince{};
    };

    BoxState Look(const Box& box) const;
    void Arm();
    void StartSettling(Box& box, const BoxState& state, Clock::time_point now);
    Box* Find(const MailboxChoice& choice);
    std::chrono::milliseconds Retry(Box& box, Clock::time_point now,
                                    std::optional<Clock::time_point> before = std::nullopt);

    std::filesystem::path postPetDir_;
    std::chrono::milliseconds settle_;
    std::vector<Box> boxes_;
    int fd_ = -1;
    std::map<int, std::filesystem::path> watches_; // watch descriptor -> folder
    bool waiting_ = false;
    std::optional<Clock::time_point> recheckAt_;
};

// "3 秒後にもう一度読みます": the wait before a retry, in whole seconds rounded up.
std::string RetryNote(std::chrono::milliseconds wait);

// After a read of the mailboxes `read` that the watch gave: a mailbox that read as damaged but may
// still be being written (MailboxWatch::ReadDamaged) has its damage taken out of `summary`, since
// it is no fault yet, and is read again later. Gives the note that says so, empty when there is none.
std::string SetAsideUnfinished(MailboxWatch& watch, const std::vector<MailboxChoice>& read, ReadSummary& summary);

} // namespace kamo
