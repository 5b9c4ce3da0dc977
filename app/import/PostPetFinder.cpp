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

void Search(const fs::path& dir, int depth, std::set<fs::path>& seen, std::vector<FoundPostPet>& found) {
    std::error_code ec;
    if (!fs::is_directory(dir, ec) || !seen.insert(fs::weakly_canonical(dir, ec)).second)
        return;
    if (HoldsAnyMailbox(dir)) {
        FoundPostPet f;
        f.dir = dir;
        for (const auto& box : Mailboxes()) {
            const int64_t n = CountListRecords(LocateMailbox(dir, box).list);
            f.mails += n;
            if (n > 0)
                f.withMail.push_back(&box);
        }
        found.push_back(std::move(f));
        return;
    }
    if (depth == 0)
        return;
    for (const auto& entry : fs::directory_iterator(dir, fs::directory_options::skip_permission_denied, ec))
        if (entry.is_directory(ec))
            Search(entry.path(), depth - 1, seen, found);
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

std::vector<FoundPostPet> FindPostPetFolders(const std::vector<fs::path>& roots) {
    std::vector<FoundPostPet> found;
    std::set<fs::path> seen;
    for (const auto& root : roots)
        for (const char* programs : {"Program Files", "Program Files (x86)"})
            Search(root / programs, kSearchDepth, seen, found);
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
