#pragma once
// Watching the PostPet folder for mail PostPet writes: which of the chosen mailboxes changed and
// then stayed still for a settle time. Linux inotify, so nothing runs while nothing changes. The
// folders of the mailboxes are watched; a folder that is missing is waited for by watching its
// nearest existing parent, and while the PostPet folder itself is missing (a disk unmounted, a Wine
// prefix moved away) also by a slow re-check, since a mount over a watched folder sends no event.
//
// A mailbox is due when the size, modification time or file of its list or mail file differ from
// when it was last taken, and did not change over the whole settle time: the files are looked at
// when the last change came and again when the settle time has passed, and only a mailbox whose
// files were the same both times is taken. The read itself stores a mailbox in one transaction.
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <vector>

#include "import/Mailboxes.h"

namespace kamo {

class MailboxWatch {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::milliseconds kDefaultSettle{2000};
    // How often a missing folder is looked for again.
    static constexpr std::chrono::milliseconds kMissingRecheck{5000};

    // Watches `mailboxes` under `postPetDir`. Every mailbox whose list file is there counts as
    // changed at the start, so the first settle time ends with all of them due (mail written while
    // nobody watched is read too). Throws std::system_error when inotify cannot be had.
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
    // the settle time when something changed.
    void TakeEvents();
    // The mailboxes that are due, in read order, each taken once per change; empty while a change
    // is still settling. Call when TimeoutMs() has passed (calling earlier is harmless).
    std::vector<MailboxChoice> TakeDue();
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
    std::vector<BoxState> Look() const;
    void Arm();
    void StartSettling();

    std::filesystem::path postPetDir_;
    std::vector<MailboxChoice> mailboxes_;
    std::chrono::milliseconds settle_;
    int fd_ = -1;
    std::map<int, std::filesystem::path> watches_; // watch descriptor -> folder
    bool waiting_ = false;
    std::optional<Clock::time_point> recheckAt_;
    std::optional<Clock::time_point> settleAt_;
    std::vector<BoxState> settling_; // the files when the last change came
    std::vector<BoxState> taken_;    // the files when each mailbox was last taken
};

} // namespace kamo
