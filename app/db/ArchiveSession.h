#pragma once
// The archive session: the one owner of the open archive while the program runs. It holds the
// instance lock, the settings, the filter tables and the database connection; start-up makes it
// for the window program and the terminal commands alike, and every command works through it.
//
// Members are declared so that they go in the right order: the connection closes before the lock
// is released. Anything that keeps a prepared statement on the archive (list models, stores) must
// live inside the session's lifetime; the window receives the session by reference and so dies
// first.
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

    SQLite::Database& Database() { return *db_; }
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
    std::unique_ptr<SQLite::Database> db_;
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
