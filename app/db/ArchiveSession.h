#pragma once
// The archive session: the one owner of the open archive while the program runs. It holds the
// instance lock, the settings, the filter tables and the database connection; start-up makes it
// for the window program and the terminal commands alike, and every command works through it.
//
// Members are declared so that they go in the right order: the connection closes before the lock
// is released. Anything that keeps a prepared statement on the archive (list models, stores) must
// live inside the session's lifetime; the window receives the session by reference and so dies
// first.
#include <filesystem>
#include <memory>

#include <SQLiteCpp/Database.h>

#include "common/FilterTable.h"
#include "common/Settings.h"
#include "db/ArchiveStartup.h"
#include "platform/Folders.h"
#include "platform/InstanceLock.h"

namespace kamo {

class Prompter;

class ArchiveSession {
public:
    // From parts already prepared (tests, and the start functions below). `lock` may be null where
    // the caller guards against a second copy itself (tests).
    ArchiveSession(AppFolders folders, std::unique_ptr<InstanceLock> lock, std::unique_ptr<SQLite::Database> db,
                   Settings settings = {});
    // Removes the conversion library's temporary files from the data folder.
    ~ArchiveSession();
    ArchiveSession(const ArchiveSession&) = delete;
    ArchiveSession& operator=(const ArchiveSession&) = delete;

    // The archive on display: the archive itself, or a backup opened read-only for viewing.
    SQLite::Database& Database() { return backup_ ? *backup_ : *db_; }
    // The archive, whatever is on display.
    SQLite::Database& Archive() { return *db_; }
    const std::filesystem::path& ArchivePath() const { return archivePath_; }

    // Backup view: `backup` (opened read-only) is on display until ShowArchive().
    void ShowBackup(std::unique_ptr<SQLite::Database> backup, std::filesystem::path path);
    void ShowArchive();
    bool ViewingBackup() const { return backup_ != nullptr; }
    const std::filesystem::path& BackupShown() const { return backupPath_; }

    // Closes the archive connection and opens the file again (after the file was replaced). Nothing
    // may hold a statement on the archive meanwhile. Throws when the file cannot be opened.
    void CloseArchive();
    void ReopenArchive();
    // The window's start-up upkeep (db/Compaction.h): the .Bak and the compaction on a worker thread,
    // begun before the window's load, which may wait for the user.
    void StartUpkeep(UpkeepStepHook hook = {});
    // A run that ends before its window shows: the upkeep finishes the .Bak and stops there.
    void EndUpkeepAfterBackup() {
        if (upkeep_)
            upkeep_->StopAfterBackup();
    }
    ArchiveUpkeep* Upkeep() { return upkeep_.get(); }
    // Stops the upkeep and drops what it made so far (a command about to replace the archive file,
    // which uses the same names beside it).
    void StopUpkeep() { upkeep_.reset(); }
    // When the upkeep has a compacted copy ready: the connection closed, the copy put in place when
    // the archive is still as at its snapshot, the archive opened again. Nothing may hold a statement
    // on the archive meanwhile. True when the archive file was replaced.
    bool FinishUpkeep();

    Settings& AppSettings() { return settings_; }
    const Settings& AppSettings() const { return settings_; }
    const AppFolders& Folders() const { return folders_; }
    FilterTables& Filters() { return filters_; }
    const FilterTables& Filters() const { return filters_; }

private:
    AppFolders folders_;
    std::unique_ptr<InstanceLock> lock_; // released last
    Settings settings_;
    FilterTables filters_;
    std::filesystem::path archivePath_;
    std::unique_ptr<SQLite::Database> db_;
    std::unique_ptr<SQLite::Database> backup_; // closed before the archive
    std::filesystem::path backupPath_;
    std::unique_ptr<ArchiveUpkeep> upkeep_; // stopped before the archive closes
};

// Start-up steps 3 to 8 under a lock already taken (the window program shows its splash between
// the two): the archive prepared and opened, the paths set in the session's settings. Nothing,
// after telling the user, when the program must end.
std::unique_ptr<ArchiveSession> OpenSession(const AppFolders& folders, std::unique_ptr<InstanceLock> lock,
                                            Prompter& prompter, const StartupOptions& options = {},
                                            StartupReport* report = nullptr);

// The lock and the archive in one (the terminal commands). Nothing, after telling the user, when
// another copy runs or the archive cannot be opened.
std::unique_ptr<ArchiveSession> StartSession(const AppFolders& folders, Prompter& prompter,
                                             const StartupOptions& options = {}, StartupReport* report = nullptr);

} // namespace kamo
