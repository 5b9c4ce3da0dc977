#pragma once
// Compacting the archive at each start, and bringing back an archive file that went missing.
//
// The archive file is never absent, whatever fails and wherever the process is killed:
//   1. Copy:       VACUUM INTO "<archive>.New" (opening the archive first plays back a journal a
//                  crash left beside it; a journal still there afterwards stops the compaction)
//   2. SyncCopy:   fsync "<archive>.New"
//   3. Verify:     PRAGMA integrity_check on the copy, and the same row count in every table
//   4. Backup:     "<archive>.Bak.New" as a hard link to the archive (a copy where links fail)
//   5. Replace:    rename "<archive>.New" over the archive (atomic)
//   6. KeepBackup: rename "<archive>.Bak.New" over "<archive>.Bak" (the previous archive)
//   7. SyncFolder: fsync the folder
// A failure before Replace removes the leftovers and keeps the archive as it was.
#include <filesystem>
#include <functional>
#include <string>

namespace kamo {

enum class CompactStep { Copy, SyncCopy, Verify, Backup, Replace, KeepBackup, SyncFolder };

// Called before each step; returning false makes that step fail. Lets tests fail or end the
// process at any step.
using CompactStepHook = std::function<bool(CompactStep)>;

// Compacts the archive (which must not be open). False when it was not compacted; the archive is
// then the one that was there. An archive that is not complete (IsCompleteArchive) is left alone;
// `checked` says the caller has just run that full check on it, so it is not run twice.
// A symbolic link stays a link: the file it points to is compacted, in its own folder, with its
// permission bits and owner kept.
bool CompactDatabase(const std::filesystem::path& archive, const CompactStepHook& hook = {}, bool checked = false);

// When the archive file is missing, puts back the newest sound copy beside it: a complete, verified
// "<archive>.New", else "<archive>.Bak.New", else "<archive>.Bak" (copied, so the .Bak stays).
// Returns the name of the file it was restored from, or an empty string.
std::string RecoverMissingDatabase(const std::filesystem::path& archive);

// True when `file` opens as an SQLite database that passes PRAGMA integrity_check and holds the
// mail table: an archive the program can open. `why` gets the reason otherwise, for the user.
bool IsSoundArchive(const std::filesystem::path& file, std::string* why = nullptr);

// True when `file` is a sound archive with all six tables: the only kind that is compacted (a
// broken file must never become the .Bak in place of a good one).
bool IsCompleteArchive(const std::filesystem::path& file, std::string* why = nullptr);

// The cheap check of an archive the last clean close sealed (db/ArchiveSeal.h): it opens, its size
// is the pages its header counts, and it has all six tables. Reads the header and schema only.
bool IsOpenableArchive(const std::filesystem::path& file, std::string* why = nullptr);

// The newest sound copy of the archive beside it (.New, .Bak.New, .Bak), or an empty path.
std::filesystem::path NewestSoundCopy(const std::filesystem::path& archive);

} // namespace kamo
