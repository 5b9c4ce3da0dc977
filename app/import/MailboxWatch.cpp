#include "import/MailboxWatch.h"

#include <algorithm>
#include <cerrno>
#include <set>
#include <system_error>

#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kamo {
namespace {

namespace fs = std::filesystem;

// Every change a writer can make to a mailbox's files or to the folders on the way to them.
constexpr uint32_t kEvents = IN_MODIFY | IN_CLOSE_WRITE | IN_ATTRIB | IN_CREATE | IN_DELETE | IN_MOVED_FROM |
                             IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;

MailboxWatch::FileState StateOfFile(const fs::path& path) {
    MailboxWatch::FileState state;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return state;
    state.exists = true;
    state.size = static_cast<uintmax_t>(st.st_size);
    state.mtimeNs = static_cast<int64_t>(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec;
    state.inode = static_cast<uint64_t>(st.st_ino);
    return state;
}

bool IsFolder(const fs::path& path) {
    std::error_code ec;
    return fs::is_directory(path, ec);
}

int Remaining(MailboxWatch::Clock::time_point at) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(at - MailboxWatch::Clock::now()).count();
    return static_cast<int>(std::clamp<long long>(left, 0, 24LL * 3600 * 1000));
}

} // namespace

MailboxWatch::MailboxWatch(fs::path postPetDir, std::vector<MailboxChoice> mailboxes, std::chrono::milliseconds settle)
    : postPetDir_(std::move(postPetDir)), mailboxes_(std::move(mailboxes)), settle_(settle), taken_(mailboxes_.size()) {
    fd_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd_ < 0)
        throw std::system_error(errno, std::generic_category(), "inotify_init1");
    Arm();
    StartSettling();
}

MailboxWatch::~MailboxWatch() {
    if (fd_ >= 0)
        ::close(fd_);
}

void MailboxWatch::Arm() {
    // The folder of each mailbox, or its nearest existing parent while it is missing.
    // A mailbox folder missing inside the PostPet folder is normal (PostPet makes it when it needs
    // it) and its making is seen from the PostPet folder; only the PostPet folder missing is waited for.
    std::set<fs::path> wanted;
    waiting_ = !IsFolder(postPetDir_);
    for (const auto& choice : mailboxes_) {
        fs::path folder = LocateMailbox(postPetDir_, *choice.box).list.parent_path();
        while (!IsFolder(folder)) {
            const fs::path up = folder.parent_path();
            if (up.empty() || up == folder)
                break;
            folder = up;
        }
        if (IsFolder(folder))
            wanted.insert(folder);
    }
    // Adding a watch again is harmless (the same folder keeps its descriptor); a folder made anew
    // at the same path gets a fresh one. Descriptors no longer wanted are given up.
    std::map<int, fs::path> armed;
    for (const auto& folder : wanted) {
        const int wd = ::inotify_add_watch(fd_, folder.c_str(), kEvents);
        if (wd >= 0)
            armed[wd] = folder;
        else
            waiting_ = true; // vanished just now, or not ours to watch: looked at again later
    }
    for (const auto& [wd, folder] : watches_)
        if (!armed.count(wd))
            ::inotify_rm_watch(fd_, wd); // may already be gone with its folder
    watches_ = std::move(armed);
    recheckAt_.reset();
    if (waiting_)
        recheckAt_ = Clock::now() + kMissingRecheck;
}

std::vector<MailboxWatch::BoxState> MailboxWatch::Look() const {
    std::vector<BoxState> states;
    states.reserve(mailboxes_.size());
    for (const auto& choice : mailboxes_) {
        const MailboxFiles files = LocateMailbox(postPetDir_, *choice.box);
        states.push_back({StateOfFile(files.list), StateOfFile(files.mail)});
    }
    return states;
}

void MailboxWatch::StartSettling() {
    settling_ = Look();
    settleAt_ = Clock::now() + settle_;
}

int MailboxWatch::TimeoutMs() const {
    int timeout = -1;
    if (settleAt_)
        timeout = Remaining(*settleAt_);
    if (recheckAt_) {
        const int recheck = Remaining(*recheckAt_);
        timeout = timeout < 0 ? recheck : std::min(timeout, recheck);
    }
    return timeout;
}

void MailboxWatch::TakeEvents() {
    alignas(struct inotify_event) char buffer[16 * 1024];
    bool changed = false;
    for (;;) {
        const ssize_t n = ::read(fd_, buffer, sizeof buffer);
        if (n <= 0)
            break; // EAGAIN: drained
        changed = true;
    }
    if (changed) {
        // Any change in a watched folder may be a mailbox written, or a folder on the way gone or
        // back; looking costs a few stat calls.
        Arm();
        StartSettling();
    }
}

std::vector<MailboxChoice> MailboxWatch::TakeDue() {
    const auto now = Clock::now();
    if (recheckAt_ && now >= *recheckAt_) {
        const bool wasWaiting = waiting_;
        Arm();
        if (wasWaiting && !waiting_)
            StartSettling(); // back (mounted again): read what it holds once it is still
    }
    if (!settleAt_ || now < *settleAt_)
        return {};
    const std::vector<BoxState> states = Look();
    if (states != settling_) {
        // Still being written (or written without an event reaching us): another settle time.
        StartSettling();
        return {};
    }
    settleAt_.reset();
    std::vector<MailboxChoice> due;
    for (size_t i = 0; i < mailboxes_.size(); ++i) {
        if (!states[i].list.exists || states[i] == taken_[i])
            continue;
        taken_[i] = states[i];
        due.push_back(mailboxes_[i]);
    }
    return due;
}

} // namespace kamo
