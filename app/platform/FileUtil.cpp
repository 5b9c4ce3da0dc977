#include "platform/FileUtil.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/AsciiText.h"

namespace kamo {
namespace fs = std::filesystem;

namespace {

// Closes a descriptor on every path out of a function.
class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() { Close(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    bool Close() {
        if (fd_ < 0)
            return true;
        int rc = ::close(fd_);
        fd_ = -1;
        return rc == 0;
    }

private:
    int fd_;
};

bool WriteAll(int fd, std::string_view bytes) {
    const char* p = bytes.data();
    size_t left = bytes.size();
    while (left > 0) {
        ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        p += n;
        left -= static_cast<size_t>(n);
    }
    return true;
}

// A symbolic link is replaced at its target so that a linked settings file keeps its link.
fs::path ResolveTarget(const fs::path& path) {
    std::error_code ec;
    if (fs::is_symlink(path, ec)) {
        fs::path target = fs::weakly_canonical(path, ec);
        if (!ec)
            return target;
    }
    return path;
}

fs::path FolderOf(const fs::path& path) {
    fs::path folder = path.parent_path();
    return folder.empty() ? fs::path(".") : folder;
}

// Creates a uniquely named temporary file next to `target`; returns its descriptor and name.
int MakeTempBeside(const fs::path& target, std::string& name) {
    std::string pattern = (FolderOf(target) / ("." + target.filename().string() + ".XXXXXX")).string();
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    int fd = ::mkostemp(buf.data(), O_CLOEXEC);
    if (fd >= 0)
        name.assign(buf.data());
    return fd;
}

// Every replacement of a file goes this way: the new contents go to a temporary file beside the
// real file (a symbolic link is followed and stays a link), which gets the old file's permission
// bits (a new file 0644), is synced and renamed over it; then the folder is synced. On failure the
// temporary file is removed and the old file is untouched.
bool ReplaceFile(const fs::path& path, const std::function<bool(int fd)>& writeContents) {
    const fs::path target = ResolveTarget(path);
    std::string tempName;
    Fd fd(MakeTempBeside(target, tempName));
    if (fd.get() < 0)
        return false;

    struct stat old {};
    mode_t mode = 0644;
    if (::stat(target.c_str(), &old) == 0)
        mode = old.st_mode & 07777;

    bool ok = writeContents(fd.get()) && ::fchmod(fd.get(), mode) == 0 && ::fsync(fd.get()) == 0;
    ok = fd.Close() && ok;
    if (ok)
        ok = ::rename(tempName.c_str(), target.c_str()) == 0;
    if (!ok) {
        ::unlink(tempName.c_str());
        return false;
    }
    return SyncFolder(FolderOf(target));
}

} // namespace

bool FileExists(const fs::path& path) {
    std::error_code ec;
    return fs::is_regular_file(path, ec);
}

bool SyncFile(const fs::path& path) {
    Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0)
        return false;
    if (::fsync(fd.get()) != 0)
        return false;
    return fd.Close();
}

bool SyncFolder(const fs::path& folder) {
    Fd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.get() < 0)
        return false;
    if (::fsync(fd.get()) != 0)
        return false;
    return fd.Close();
}

bool AtomicWriteFile(const fs::path& path, std::string_view bytes) {
    return ReplaceFile(path, [&](int fd) { return WriteAll(fd, bytes); });
}

bool AtomicCopyFile(const fs::path& from, const fs::path& to) {
    Fd in(::open(from.c_str(), O_RDONLY | O_CLOEXEC));
    if (in.get() < 0)
        return false;
    return ReplaceFile(to, [&](int out) {
        std::vector<char> buf(1 << 16);
        for (;;) {
            ssize_t n = ::read(in.get(), buf.data(), buf.size());
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                return false;
            if (n == 0)
                return true;
            if (!WriteAll(out, std::string_view(buf.data(), static_cast<size_t>(n))))
                return false;
        }
    });
}

bool CloneFile(const fs::path& from, const fs::path& to, const std::function<bool()>& keepGoing) {
    Fd in(::open(from.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat st {};
    if (in.get() < 0 || ::fstat(in.get(), &st) != 0)
        return false;
    Fd out(::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, st.st_mode & 0777));
    if (out.get() < 0)
        return false;
    auto copy = [&]() {
        if (::ioctl(out.get(), FICLONE, in.get()) == 0)
            return true;
        constexpr size_t kPiece = 64 << 20;
        off_t done = 0;
        bool kernelCopy = true;
        std::vector<char> buf;
        while (done < st.st_size) {
            if (keepGoing && !keepGoing())
                return false;
            const size_t want = static_cast<size_t>(std::min<off_t>(st.st_size - done, kPiece));
            ssize_t n = -1;
            if (kernelCopy) {
                n = ::copy_file_range(in.get(), nullptr, out.get(), nullptr, want, 0);
                if (n < 0 && (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP)) {
                    kernelCopy = false;
                    continue;
                }
            } else {
                buf.resize(1 << 20);
                n = ::read(in.get(), buf.data(), std::min(want, buf.size()));
                if (n > 0 && !WriteAll(out.get(), std::string_view(buf.data(), static_cast<size_t>(n))))
                    return false;
            }
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return false; // an error, or the file shrank under us
            done += n;
        }
        return true;
    };
    const bool ok = copy() && ::fsync(out.get()) == 0 && out.Close();
    if (!ok) {
        out.Close();
        ::unlink(to.c_str());
    }
    return ok;
}

int DeleteTempFiles(const fs::path& dataDir) {
    std::error_code ec;
    std::vector<fs::path> temps;
    bool libraryLeftovers = false;
    for (fs::directory_iterator it(dataDir, ec), end; !ec && it != end; it.increment(ec)) {
        if (!it->is_regular_file(ec))
            continue;
        const std::string name = it->path().filename().string();
        if (EqualsNoCase(name, "Friend.Tmp") || EqualsNoCase(name, "KamoMail.Tmp"))
            libraryLeftovers = true;
        if (EndsWithNoCase(name, ".tmp"))
            temps.push_back(it->path());
    }
    if (!libraryLeftovers)
        return 0;
    int removed = 0;
    for (const auto& p : temps) {
        if (fs::remove(p, ec))
            ++removed;
    }
    return removed;
}

} // namespace kamo
