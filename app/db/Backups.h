#pragma once
// Dated backups of the archive: one a day in the folder "backup" of the data folder, named
// "KamoMail-yyyy-mm-dd.Mdb"; a second backup on the same day replaces the first. A backup is a
// consistent copy made from the open connection (VACUUM INTO), synced and checked with
// PRAGMA integrity_check before it takes its name, so a failed backup never replaces a good one.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include <SQLiteCpp/Database.h>

namespace kamo {

std::filesystem::path BackupFolder(const std::filesystem::path& dataDir);

// True when `target` (its links resolved) is the archive, its .Bak, .New or .Bak.New, or a file in the
// backup folder beside it: compared by device and inode, so another name or a hard link is caught too.
// Nothing is ever exported over one of them.
bool IsArchiveOrCopy(const std::filesystem::path& target, const std::filesystem::path& archive);

// "yyyy-mm-dd" of the local date now.
std::string TodayText();

// Makes the backup of `day` ("yyyy-mm-dd") from the open archive and returns its path. Throws
// Failure or SQLite::Exception when it fails; the day's previous
// backup then stays as it was.
std::filesystem::path MakeBackup(SQLite::Database& db, const std::filesystem::path& dataDir, const std::string& day);

// Removes what a backup that was killed or failed left in the backup folder: "KamoMail-yyyy-mm-dd.Mdb.New"
// and its "-journal" (only those names, never another file). A backup is made by the one running
// program only (the instance lock), so a caller holding the lock finds none being written. Returns the
// number removed.
int RemoveStaleBackupTemps(const std::filesystem::path& dataDir);

struct BackupInfo {
    std::filesystem::path path;
    std::string day;    // "yyyy-mm-dd"
    uintmax_t size = 0; // bytes
    int64_t mails = -1; // -1 when the file cannot be read as an archive
};

// The backups in the folder, newest first.
std::vector<BackupInfo> ListBackups(const std::filesystem::path& dataDir);

// A backup opened for viewing: read-only and immutable, so nothing can change the file, not even a
// journal played back.
std::unique_ptr<SQLite::Database> OpenBackupReadOnly(const std::filesystem::path& backup);

} // namespace kamo
