#include "db/ArchiveSeal.h"

#include <cerrno>
#include <cstdio>
#include <sstream>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/FileUtil.h"

namespace kamo {
namespace fs = std::filesystem;

namespace {

constexpr const char* kSealTag = "KamoMail archive closed 1";
constexpr size_t kMaxSealBytes = 256; // the tag and four numbers

std::string SealText(const ArchiveStamp& s) {
    std::ostringstream out;
    out << kSealTag << ' ' << s.size << ' ' << s.modifiedNs << ' ' << s.inode << ' ' << s.changeCounter << '\n';
    return out.str();
}

bool HasJournal(const fs::path& archive) {
    std::error_code ec;
    return fs::exists(archive.string() + "-journal", ec) || fs::exists(archive.string() + "-wal", ec);
}

} // namespace

std::optional<ArchiveStamp> ReadArchiveStamp(const fs::path& archive) {
    const int fd = ::open(archive.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK); // a FIFO in its place never blocks
    if (fd < 0)
        return std::nullopt;
    struct stat st {};
    unsigned char header[28] = {};
    const bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ::pread(fd, header, sizeof header, 0) == 28;
    ::close(fd);
    if (!ok)
        return std::nullopt;
    ArchiveStamp stamp;
    stamp.size = static_cast<uint64_t>(st.st_size);
    stamp.modifiedNs = static_cast<int64_t>(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec;
    stamp.inode = static_cast<uint64_t>(st.st_ino);
    stamp.changeCounter = (uint32_t{header[24]} << 24) | (uint32_t{header[25]} << 16) | (uint32_t{header[26]} << 8) |
                          uint32_t{header[27]};
    return stamp;
}

bool ArchiveSealMatches(const fs::path& archive) {
    // Only a seal this program could have written is read: a FIFO, a device or a large file in its
    // place is no seal, and never blocks or fills the memory.
    std::string sealed;
    if (ReadRegularFile(ArchiveSealPath(archive), kMaxSealBytes, sealed) != ReadFileResult::Ok)
        return false;
    const auto now = ReadArchiveStamp(archive);
    return now && !HasJournal(archive) && sealed == SealText(*now);
}

bool SealArchive(const fs::path& archive) {
    const auto stamp = ReadArchiveStamp(archive);
    if (!stamp || HasJournal(archive))
        return false;
    return AtomicWriteFile(ArchiveSealPath(archive), SealText(*stamp), PrivateFile());
}

void BreakArchiveSeal(const fs::path& archive) {
    ::unlink(ArchiveSealPath(archive).c_str());
}

fs::path ArchiveSealPath(const fs::path& archive) {
    return archive.string() + ".Closed";
}

} // namespace kamo
