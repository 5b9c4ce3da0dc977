#pragma once
// File operations with the guarantees the program relies on: replacing a file never leaves it
// half-written or missing, and a failure is reported, never mistaken for success.
#include <filesystem>
#include <functional>
#include <string_view>

namespace kamo {

// True when `path` names an existing ordinary file (not a folder).
bool FileExists(const std::filesystem::path& path);

// Flushes a file's contents to the disk. False when it cannot be opened or synced.
bool SyncFile(const std::filesystem::path& path);

// Flushes a folder's entries (after a create, rename or unlink in it) to the disk.
bool SyncFolder(const std::filesystem::path& folder);

// Replaces `path` with `bytes`: a temporary file in the same folder, written and synced, renamed
// over the file, then the folder synced. A symbolic link is followed, so the link stays a link.
// Keeps the permission bits of the file it replaces (a new file gets 0644). False on any failure;
// the old file then stays as it was and no temporary file is left behind.
bool AtomicWriteFile(const std::filesystem::path& path, std::string_view bytes);

// Copies `from` to `to` the same way, so `to` is either its old self or a complete copy.
bool AtomicCopyFile(const std::filesystem::path& from, const std::filesystem::path& to);

// Copies `from` into a new file `to` (created exclusively, never through a link, with the permission
// bits of `from`) at the speed the file system allows: a reflink where it shares blocks, else
// copy_file_range, else reads and writes; then syncs it. `keepGoing` is asked between pieces; when it
// says no, or anything fails, `to` is removed and the result is false.
bool CloneFile(const std::filesystem::path& from, const std::filesystem::path& to,
               const std::function<bool()>& keepGoing = {});

// Removes every ordinary file named "*.tmp" (any letter case) directly in `dataDir`, but only when
// "Friend.Tmp" or "KamoMail.Tmp" is there: the conversion library's leftovers. Returns the number
// of files removed.
int DeleteTempFiles(const std::filesystem::path& dataDir);

} // namespace kamo
