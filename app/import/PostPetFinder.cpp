#include "import/PostPetFinder.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <set>
#include <system_error>

namespace kamo {
namespace fs = std::filesystem;

namespace {

constexpr int kSearchDepth = 3; // "Program Files" / vendor / product
// In the home folder: a copied disk or folder / "Program Files" / vendor / product, with room for a
// folder or two above them ("~/バックアップ/2001/C/Program Files/So-net/PostPet ...").
constexpr int kHomeDepth = 6;
// A home folder with a large tree of its own is not walked to its end at start-up.
constexpr int kHomeFolderBudget = 20000;

struct Walk {
    std::set<fs::path> seen;
    std::vector<FoundPostPet> found;
    bool skipHidden = false;
    int budget = -1; // folders still to look into; -1 unbounded
};

void Search(const fs::path& dir, int depth, Walk& walk) {
    std::error_code ec;
    if (walk.budget == 0 || !fs::is_directory(dir, ec) || !walk.seen.insert(fs::weakly_canonical(dir, ec)).second)
        return;
    if (walk.budget > 0)
        --walk.budget;
    if (auto f = DescribePostPetFolder(dir)) {
        walk.found.push_back(std::move(*f));
        return;
    }
    if (depth == 0)
        return;
    for (const auto& entry : fs::directory_iterator(dir, fs::directory_options::skip_permission_denied, ec)) {
        if (walk.skipHidden) {
            std::error_code linkEc;
            if (entry.path().filename().string().starts_with('.') || entry.is_symlink(linkEc))
                continue;
        }
        if (entry.is_directory(ec))
            Search(entry.path(), depth - 1, walk);
    }
}

} // namespace

bool HoldsAnyMailbox(const fs::path& dir) {
    for (const auto& box : Mailboxes()) {
        const MailboxFiles files = LocateMailbox(dir, box);
        std::error_code ec;
        if (fs::exists(files.list, ec) || fs::exists(files.mail, ec))
            return true;
    }
    return false;
}

int64_t CountListRecords(const fs::path& listFile) {
    std::error_code ec;
    if (!fs::is_regular_file(listFile, ec))
        return 0;
    std::ifstream in(listFile, std::ios::binary);
    int64_t count = 0;
    for (;;) {
        char head[8];
        if (!in.read(head, 8) || std::memcmp(head, "SsS1", 4) != 0)
            return count;
        const auto b = reinterpret_cast<const unsigned char*>(head + 4);
        const uint64_t length =
            uint64_t(b[0]) | (uint64_t(b[1]) << 8) | (uint64_t(b[2]) << 16) | (uint64_t(b[3]) << 24);
        in.seekg(static_cast<std::streamoff>(length + 4), std::ios::cur);
        if (!in)
            return count;
        ++count;
    }
}

std::vector<fs::path> PostPetSearchRoots(const fs::path& home, const fs::path& winePrefix,
                                         const std::vector<fs::path>& mountRoots) {
    std::vector<fs::path> roots;
    std::error_code ec;
    if (!winePrefix.empty())
        roots.push_back(winePrefix / "drive_c");
    if (!home.empty()) {
        roots.push_back(home / ".wine" / "drive_c");
        for (const auto& prefix : fs::directory_iterator(home / ".local" / "share" / "wineprefixes", ec))
            roots.push_back(prefix.path() / "drive_c");
    }
    for (const auto& mountRoot : mountRoots) {
        // /mnt/c, /media/disk, /media/<user>/disk
        for (const auto& a : fs::directory_iterator(mountRoot, fs::directory_options::skip_permission_denied, ec)) {
            roots.push_back(a.path());
            std::error_code inner;
            for (const auto& b : fs::directory_iterator(a.path(), fs::directory_options::skip_permission_denied, inner))
                if (b.is_directory(inner) && b.path().filename().string().rfind("Program Files", 0) != 0)
                    roots.push_back(b.path());
        }
    }
    return roots;
}

std::optional<FoundPostPet> DescribePostPetFolder(const fs::path& dir) {
    if (!HoldsAnyMailbox(dir))
        return std::nullopt;
    FoundPostPet f;
    f.dir = dir;
    for (const auto& box : Mailboxes()) {
        const int64_t n = CountListRecords(LocateMailbox(dir, box).list);
        f.mails += n;
        if (n > 0)
            f.withMail.push_back(&box);
    }
    return f;
}

std::vector<FoundPostPet> FindPostPetFolders(const std::vector<fs::path>& roots,
                                             const std::vector<fs::path>& wholeTrees) {
    Walk walk;
    for (const auto& root : roots)
        for (const char* programs : {"Program Files", "Program Files (x86)"})
            Search(root / programs, kSearchDepth, walk);
    for (const auto& tree : wholeTrees) {
        if (tree.empty())
            continue;
        walk.skipHidden = true;
        walk.budget = kHomeFolderBudget;
        Search(tree, kHomeDepth, walk);
    }
    std::vector<FoundPostPet> found = std::move(walk.found);
    std::stable_sort(found.begin(), found.end(),
                     [](const FoundPostPet& a, const FoundPostPet& b) { return a.mails > b.mails; });
    return found;
}

void TickMailboxesWithMail(const FoundPostPet& found, std::array<int16_t, 17>& sendFlags,
                           std::array<int16_t, 17>& recievFlags) {
    sendFlags.fill(0);
    recievFlags.fill(0);
    for (const MailboxInfo* box : found.withMail) {
        if (box->recievIndex >= 0)
            recievFlags[static_cast<size_t>(box->recievIndex)] = 1;
        else if (box->sendIndex >= 0)
            sendFlags[static_cast<size_t>(box->sendIndex)] = 1;
    }
}

} // namespace kamo
