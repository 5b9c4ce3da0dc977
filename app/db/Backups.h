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

// "yyyy-mm-dd" of the local date now.
std::string TodayText();

// Makes the backup of `day` ("yyyy-mm-dd") from the open archive and returns its path. Throws
// std::runtime_error (with a Japanese message) or SQLite::Exception when it fails; the day's previous
// backup then stays as it was.
std::filesystem::path MakeBackup(SQLite::Database& db, const std::filesystem::path& dataDir, const std::string& day);

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
