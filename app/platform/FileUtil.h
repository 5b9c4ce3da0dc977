#pragma once
// File operations with the guarantees the program relies on: replacing a file never leaves it
// half-written or missing, and a failure is reported, never mistaken for success.
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

namespace kamo {

// True when `path` names an existing ordinary file (not a folder).
bool FileExists(const std::filesystem::path& path);

// Reading a whole file that the user names: only a regular file, opened without waiting (a FIFO,
// a device or a folder in its place is not read and never blocks), of at most `maxBytes` (checked
// before and while reading, so a file that grows is caught too).
enum class ReadFileResult { Ok, Missing, NotRegular, TooLarge, Failed };
ReadFileResult ReadRegularFile(const std::filesystem::path& path, size_t maxBytes, std::string& bytes);

// Flushes a file's contents to the disk. False when it cannot be opened or synced.
bool SyncFile(const std::filesystem::path& path);

// Flushes a folder's entries (after a create, rename or unlink in it) to the disk.
bool SyncFolder(const std::filesystem::path& folder);

// How a file is written. Every file the program writes goes one way: a temporary created
// exclusively (O_EXCL|O_NOFOLLOW) beside the target with `mode` from the start, written, synced,
// renamed over the target, the folder synced; on any failure the temporary is removed and the
// target stays as it was. Nothing is ever written through a symbolic link.
struct WriteHow {
    unsigned mode = 0600;   // permission bits of the new file
    bool keepMode = true;   // a file being replaced keeps its own permission bits
    bool followLink = true; // a link at the name: replace the file it names (true) or refuse (false)
};

// Mail, tables and copies of the archive: `mode` whatever was there, a link at the name refused.
inline WriteHow PrivateFile(unsigned mode = 0600) {
    return {mode & 0600, false, false};
}

// The permission bits for a copy or an export of `archive`: 0600, or the archive's when narrower.
unsigned PrivateModeOf(const std::filesystem::path& archive);

// A file being written the one way. `tempFolder` (same file system) holds the temporary when it
// must not sit beside the target (Maildir's tmp/). Removes the temporary unless Commit succeeds.
class FileWriter {
public:
    FileWriter(const std::filesystem::path& target, const WriteHow& how, const std::filesystem::path& tempFolder = {});
    ~FileWriter();
    FileWriter(const FileWriter&) = delete;
    FileWriter& operator=(const FileWriter&) = delete;

    bool Ok() const { return fd_ >= 0; }
    int Error() const { return error_; } // errno of the first failure (ELOOP: a link refused)
    int Fd() const { return fd_; }
    bool Write(std::string_view bytes);
    bool Commit();

private:
    bool Fail(int error);
    std::filesystem::path target_;
    std::filesystem::path temp_;
    WriteHow how_;
    int fd_ = -1;
    int error_ = 0;
};

// Replaces `path` with `bytes` through a FileWriter. The default keeps what the settings file is:
// a link stays a link, the permission bits stay (a new file gets 0600). False on any failure.
bool AtomicWriteFile(const std::filesystem::path& path, std::string_view bytes, const WriteHow& how = {});

// Copies `from` to `to` the same way, so `to` is either its old self or a complete copy.
bool AtomicCopyFile(const std::filesystem::path& from, const std::filesystem::path& to, const WriteHow& how = {});

// Creates `path` empty, exclusively (never through a link) with `mode`, for SQLite to fill (VACUUM
// INTO accepts an empty file and keeps its permission bits). False when anything is in the way.
bool CreateEmptyFile(const std::filesystem::path& path, unsigned mode);

// Copies `from` into a new file `to` (created exclusively, never through a link, with the permission
// bits of `from`, 0600 at most) at the speed the file system allows: a reflink where it shares blocks, else
// copy_file_range, else reads and writes; then syncs it. `keepGoing` is asked between pieces; when it
// says no, or anything fails, `to` is removed and the result is false.
bool CloneFile(const std::filesystem::path& from, const std::filesystem::path& to,
               const std::function<bool()>& keepGoing = {});

// Removes the conversion files the program makes in `dataDir` (kConversionFileNames in
// platform/Folders.h), by their exact names and only where they are ordinary files; every other file
// stays. Returns the number of files removed.
int DeleteTempFiles(const std::filesystem::path& dataDir);

// Removes the temporaries a FileWriter for `target` left behind when its process was killed (".<name>.xxxxxxxx",
// eight hex digits, an ordinary file) beside `target` and, when `target` is a link, beside the file it names.
// Only for a file no other running program of ours writes: the caller holds the instance lock. Returns
// the number removed.
int RemoveStaleWriterTemps(const std::filesystem::path& target);

} // namespace kamo
