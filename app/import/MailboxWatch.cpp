#include "import/MailboxWatch.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <set>
#include <system_error>

#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/Failure.h"
#include "common/Messages.h"
#include "common/MessagesRead.h"

namespace kamo {
namespace {

namespace fs = std::filesystem;
using std::chrono::milliseconds;

// Every change a writer can make to a mailbox's files or to the folders on the way to them.
constexpr uint32_t kEvents = IN_MODIFY | IN_CLOSE_WRITE | IN_ATTRIB | IN_CREATE | IN_DELETE | IN_MOVED_FROM |
                             IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;

// The shortest wait before a retry, whatever the settle time.
constexpr milliseconds kRetryLeast{100};

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
    const auto left = std::chrono::ceil<milliseconds>(at - MailboxWatch::Clock::now()).count();
    return static_cast<int>(std::clamp<long long>(left, 0, 24LL * 3600 * 1000));
}

void Earliest(int& timeout, MailboxWatch::Clock::time_point at) {
    const int left = Remaining(at);
    timeout = timeout < 0 ? left : std::min(timeout, left);
}

} // namespace

MailboxWatch::MailboxWatch(fs::path postPetDir, std::vector<MailboxChoice> mailboxes, milliseconds settle)
    : postPetDir_(std::move(postPetDir)), settle_(settle) {
    if (!postPetDir_.has_filename()) // "pp/" names the folder its mailboxes' paths call "pp"
        postPetDir_ = postPetDir_.parent_path();
    for (const auto& choice : mailboxes) {
        Box box;
        box.choice = choice;
        boxes_.push_back(box);
    }
    fd_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd_ < 0) {
        const int error = errno;
        throw Failure(FailureCode::WatchNotStarted, {"inotify_init1", std::generic_category().message(error)});
    }
    Arm();
    const auto now = Clock::now(); // one time for all, so mailboxes written together are due together
    for (auto& box : boxes_)
        StartSettling(box, Look(box), now);
}

MailboxWatch::~MailboxWatch() {
    if (fd_ >= 0)
        ::close(fd_);
}

void MailboxWatch::Arm() {
    // The PostPet folder itself (it may be moved away and made anew, which its mailbox folders
    // would never tell) and the folder of each mailbox, or its nearest existing parent while it is
    // missing. A mailbox folder missing inside the PostPet folder is normal (PostPet makes it when
    // it needs it) and its making is seen from the PostPet folder; only the PostPet folder missing
    // is waited for.
    std::set<fs::path> wanted;
    waiting_ = !IsFolder(postPetDir_);
    std::vector<fs::path> folders{postPetDir_};
    for (const auto& box : boxes_)
        folders.push_back(LocateMailbox(postPetDir_, *box.choice.box).list.parent_path());
    for (fs::path folder : folders) {
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

MailboxWatch::BoxState MailboxWatch::Look(const Box& box) const {
    const MailboxFiles files = LocateMailbox(postPetDir_, *box.choice.box);
    return {StateOfFile(files.list), StateOfFile(files.mail)};
}

void MailboxWatch::StartSettling(Box& box, const BoxState& state, Clock::time_point now) {
    box.settling = state;
    box.settleAt = now + settle_;
}

MailboxWatch::Box* MailboxWatch::Find(const MailboxChoice& choice) {
    for (auto& box : boxes_)
        if (box.choice.box == choice.box)
            return &box;
    return nullptr;
}

int MailboxWatch::TimeoutMs() const {
    int timeout = -1;
    for (const auto& box : boxes_) {
        if (box.settleAt)
            Earliest(timeout, *box.settleAt);
        else if (box.retryAt)
            Earliest(timeout, *box.retryAt);
    }
    if (recheckAt_)
        Earliest(timeout, *recheckAt_);
    return timeout;
}

void MailboxWatch::TakeEvents() {
    alignas(struct inotify_event) char buffer[16 * 1024];
    bool any = false;
    bool overflow = false;
    std::set<std::pair<fs::path, std::string>> named; // (folder, file name) of each change
    for (;;) {
        const ssize_t n = ::read(fd_, buffer, sizeof buffer);
        if (n <= 0)
            break; // EAGAIN: drained
        any = true;
        for (ssize_t at = 0; at + static_cast<ssize_t>(sizeof(inotify_event)) <= n;) {
            inotify_event event;
            std::memcpy(&event, buffer + at, sizeof event);
            if (event.mask & IN_Q_OVERFLOW)
                overflow = true;
            const auto folder = watches_.find(event.wd);
            if (event.len > 0 && folder != watches_.end())
                named.emplace(folder->second, std::string(buffer + at + sizeof event));
            at += static_cast<ssize_t>(sizeof event + event.len);
        }
    }
    if (!any)
        return;
    // Any change may be a folder on the way gone or back; looking costs a few stat calls.
    Arm();
    const auto at = Clock::now();
    // A mailbox settles anew when its own files changed: by what they look like, or by an event
    // naming them (a write too quick to move the modification time). Other files do not count.
    for (auto& box : boxes_) {
        const MailboxFiles files = LocateMailbox(postPetDir_, *box.choice.box);
        const fs::path folder = files.list.parent_path();
        const bool touched = overflow || named.count({folder, files.list.filename().string()}) ||
                             named.count({folder, files.mail.filename().string()});
        const BoxState now = Look(box);
        if (touched || now != box.settling)
            StartSettling(box, now, at);
    }
}

std::vector<MailboxChoice> MailboxWatch::TakeDue() {
    const auto now = Clock::now();
    if (recheckAt_ && now >= *recheckAt_) {
        const bool wasWaiting = waiting_;
        Arm();
        if (wasWaiting && !waiting_) // back (mounted again): read what it holds once it is still
            for (auto& box : boxes_)
                StartSettling(box, Look(box), now);
    }
    std::vector<MailboxChoice> due;
    for (auto& box : boxes_) {
        bool fresh = false;
        if (box.settleAt) {
            if (now < *box.settleAt)
                continue;
            fresh = true;
        } else if (!box.retryAt || now < *box.retryAt) {
            continue;
        }
        const BoxState state = Look(box);
        if (state != box.settling) {
            // Still being written (or written without an event reaching us): another settle time.
            StartSettling(box, state, now);
            continue;
        }
        box.settleAt.reset();
        box.retryAt.reset();
        if (fresh && box.taken != state)
            box.backoff = milliseconds{0}; // a new change starts its retries afresh
        if (!state.list.exists || box.taken == state)
            continue;
        box.taken = state;
        due.push_back(box.choice);
    }
    return due;
}

milliseconds MailboxWatch::Retry(Box& box, Clock::time_point now, std::optional<Clock::time_point> before) {
    const milliseconds first = std::max(settle_, kRetryLeast);
    box.backoff = box.backoff.count() == 0 ? first : std::min(box.backoff * 2, kRetryMost);
    auto at = now + box.backoff;
    if (before && *before < at)
        at = std::max(*before, now);
    box.retryAt = at;
    box.taken.reset();
    box.settling = Look(box);
    return std::chrono::ceil<milliseconds>(at - now);
}

milliseconds MailboxWatch::ReadFailed(const std::vector<MailboxChoice>& boxes) {
    milliseconds wait{0};
    const auto now = Clock::now(); // one time for all, so they are tried again together
    for (const auto& choice : boxes)
        if (Box* box = Find(choice))
            wait = std::max(wait, Retry(*box, now));
    return wait;
}

std::optional<milliseconds> MailboxWatch::ReadDamaged(const MailboxChoice& choice) {
    Box* box = Find(choice);
    if (!box)
        return std::nullopt;
    const BoxState state = box->taken.value_or(Look(*box));
    const auto now = Clock::now();
    if (box->damaged != state) {
        box->damaged = state;
        box->damagedSince = now;
    }
    const auto stands = box->damagedSince + settle_ * kDamageSettles;
    if (now >= stands)
        return std::nullopt;
    // The last attempt comes when the damage would stand, so a mailbox really damaged is told then.
    return Retry(*box, now, stands);
}

std::string RetryNote(milliseconds wait) {
    const auto seconds = std::max<long long>(1, std::chrono::ceil<std::chrono::seconds>(wait).count());
    return Say(ReadText::RetryIn, {std::to_string(seconds)});
}

std::string SetAsideUnfinished(MailboxWatch& watch, const std::vector<MailboxChoice>& read, ReadSummary& summary) {
    std::string note;
    for (auto& box : summary.mailboxes) {
        if (box.damaged == 0)
            continue;
        const auto choice =
            std::find_if(read.begin(), read.end(), [&](const MailboxChoice& c) { return box.name == c.box->name; });
        if (choice == read.end())
            continue;
        const auto wait = watch.ReadDamaged(*choice);
        if (!wait)
            continue;
        box.damaged = 0;
        box.damagedAt.clear();
        box.problem.reset();
        const std::string aside = Say(ReadText::StillBeingWritten, {box.name, RetryNote(*wait)});
        note = note.empty() ? aside : Say(ReadText::ListJoin, {note, aside});
    }
    return note;
}

} // namespace kamo
