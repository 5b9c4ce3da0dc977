#include "platform/FileUtil.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/FileDescriptor.h"
#include "platform/Folders.h"

namespace kamo {
namespace fs = std::filesystem;

namespace {

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

// Creates a uniquely named temporary file in `folder`, exclusively and never through a link.
int MakeTempIn(const fs::path& folder, const fs::path& target, unsigned mode, fs::path& name) {
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        char suffix[16];
        std::snprintf(suffix, sizeof suffix, ".%08x", static_cast<unsigned>(random()));
        name = folder / ("." + target.filename().string() + suffix);
        const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode & 0600);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    errno = EEXIST;
    return -1;
}

} // namespace

bool FileExists(const fs::path& path) {
    std::error_code ec;
    return fs::is_regular_file(path, ec);
}

ReadFileResult ReadRegularFile(const fs::path& path, size_t maxBytes, std::string& bytes) {
    bytes.clear();
    // Whatever is in the file's place is looked at before it is opened: opening a device may do
    // something by itself.
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return errno == ENOENT ? ReadFileResult::Missing : ReadFileResult::Failed;
    if (!S_ISREG(st.st_mode))
        return ReadFileResult::NotRegular;
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (fd.Get() < 0)
        return errno == ENOENT ? ReadFileResult::Missing : ReadFileResult::Failed;
    if (::fstat(fd.Get(), &st) != 0)
        return ReadFileResult::Failed;
    if (!S_ISREG(st.st_mode))
        return ReadFileResult::NotRegular; // replaced between the look and the opening
    if (static_cast<uintmax_t>(st.st_size) > maxBytes)
        return ReadFileResult::TooLarge;
    bytes.reserve(static_cast<size_t>(st.st_size));
    char buf[1 << 16];
    for (;;) {
        const ssize_t n = ::read(fd.Get(), buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            bytes.clear();
            return ReadFileResult::Failed;
        }
        if (n == 0)
            return ReadFileResult::Ok;
        if (bytes.size() + static_cast<size_t>(n) > maxBytes) {
            bytes.clear();
            return ReadFileResult::TooLarge; // grew while it was read
        }
        bytes.append(buf, static_cast<size_t>(n));
    }
}

bool SyncFile(const fs::path& path) {
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.Get() < 0)
        return false;
    if (::fsync(fd.Get()) != 0)
        return false;
    return fd.Close();
}

bool SyncFolder(const fs::path& folder) {
    FileDescriptor fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.Get() < 0)
        return false;
    if (::fsync(fd.Get()) != 0)
        return false;
    return fd.Close();
}

unsigned PrivateModeOf(const fs::path& archive) {
    struct stat st {};
    if (::stat(archive.c_str(), &st) != 0)
        return 0600;
    return st.st_mode & 0600;
}

FileWriter::FileWriter(const fs::path& target, const WriteHow& how, const fs::path& tempFolder)
    : target_(how.followLink ? ResolveTarget(target) : target), how_(how) {
    struct stat st {};
    if (!how_.followLink && ::lstat(target_.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        Fail(ELOOP);
        return;
    }
    fd_ = MakeTempIn(tempFolder.empty() ? FolderOf(target_) : tempFolder, target_, how_.mode, temp_);
    if (fd_ < 0) {
        Fail(errno);
        temp_.clear();
        return;
    }
    // Exactly the mode asked for whatever the umask, and never wider than 0600 while being written.
    if (::fchmod(fd_, how_.mode & 0600) != 0)
        Fail(errno);
}

FileWriter::~FileWriter() {
    if (fd_ >= 0)
        ::close(fd_);
    if (!temp_.empty())
        ::unlink(temp_.c_str());
}

bool FileWriter::Fail(int error) {
    if (error_ == 0)
        error_ = error;
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    return false;
}

bool FileWriter::Write(std::string_view bytes) {
    if (fd_ < 0)
        return false;
    return WriteAll(fd_, bytes) || Fail(errno);
}

bool FileWriter::Commit() {
    if (fd_ < 0)
        return false;
    mode_t mode = how_.mode & 07777;
    struct stat old {};
    if (how_.keepMode && ::stat(target_.c_str(), &old) == 0)
        mode = old.st_mode & 07777;
    if (::fchmod(fd_, mode) != 0 || ::fsync(fd_) != 0)
        return Fail(errno);
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0)
        return Fail(errno);
    // A link planted at the name meanwhile would be replaced itself by the rename, never written
    // through; a refused link is still refused.
    struct stat st {};
    if (!how_.followLink && ::lstat(target_.c_str(), &st) == 0 && S_ISLNK(st.st_mode))
        return Fail(ELOOP);
    if (::rename(temp_.c_str(), target_.c_str()) != 0)
        return Fail(errno);
    temp_.clear();
    return SyncFolder(FolderOf(target_)) || Fail(errno);
}

bool AtomicWriteFile(const fs::path& path, std::string_view bytes, const WriteHow& how) {
    FileWriter out(path, how);
    return out.Write(bytes) && out.Commit();
}

bool AtomicCopyFile(const fs::path& from, const fs::path& to, const WriteHow& how) {
    FileDescriptor in(::open(from.c_str(), O_RDONLY | O_CLOEXEC));
    if (in.Get() < 0)
        return false;
    FileWriter out(to, how);
    std::vector<char> buf(1 << 16);
    for (;;) {
        const ssize_t n = ::read(in.Get(), buf.data(), buf.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0)
            return out.Commit();
        if (!out.Write(std::string_view(buf.data(), static_cast<size_t>(n))))
            return false;
    }
}

bool CreateEmptyFile(const fs::path& path, unsigned mode) {
    FileDescriptor fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode & 0600));
    return fd.Get() >= 0 && ::fchmod(fd.Get(), mode & 0600) == 0 && fd.Close();
}

bool CloneFile(const fs::path& from, const fs::path& to, const std::function<bool()>& keepGoing) {
    FileDescriptor in(::open(from.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat st {};
    if (in.Get() < 0 || ::fstat(in.Get(), &st) != 0)
        return false;
    FileDescriptor out(::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, st.st_mode & 0600));
    if (out.Get() < 0)
        return false;
    auto copy = [&]() {
        if (::ioctl(out.Get(), FICLONE, in.Get()) == 0)
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
                n = ::copy_file_range(in.Get(), nullptr, out.Get(), nullptr, want, 0);
                if (n < 0 && (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP)) {
                    kernelCopy = false;
                    continue;
                }
            } else {
                buf.resize(1 << 20);
                n = ::read(in.Get(), buf.data(), std::min(want, buf.size()));
                if (n > 0 && !WriteAll(out.Get(), std::string_view(buf.data(), static_cast<size_t>(n))))
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
    const bool ok = copy() && ::fsync(out.Get()) == 0 && out.Close();
    if (!ok) {
        out.Close();
        ::unlink(to.c_str());
    }
    return ok;
}

int RemoveStaleWriterTemps(const fs::path& target) {
    int removed = 0;
    std::vector<fs::path> places{target};
    const fs::path resolved = ResolveTarget(target);
    if (resolved != target)
        places.push_back(resolved);
    for (const auto& place : places) {
        // Exactly the names MakeTempIn gives: "." + the file's name + "." + eight hex digits.
        const std::string prefix = "." + place.filename().string() + ".";
        std::error_code ec;
        for (fs::directory_iterator it(FolderOf(place), ec), end; !ec && it != end; it.increment(ec)) {
            const std::string name = it->path().filename().string();
            if (name.size() != prefix.size() + 8 || name.compare(0, prefix.size(), prefix) != 0)
                continue;
            if (!std::all_of(name.begin() + static_cast<std::ptrdiff_t>(prefix.size()), name.end(),
                             [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); }))
                continue;
            std::error_code statError;
            if (it->is_symlink(statError) || !it->is_regular_file(statError))
                continue;
            if (fs::remove(it->path(), statError))
                ++removed;
        }
    }
    return removed;
}

int DeleteTempFiles(const fs::path& dataDir) {
    int removed = 0;
    for (const char* name : kConversionFileNames) {
        const fs::path file = dataDir / name;
        struct stat st {};
        if (::lstat(file.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::unlink(file.c_str()) == 0)
            ++removed;
    }
    return removed;
}

} // namespace kamo
