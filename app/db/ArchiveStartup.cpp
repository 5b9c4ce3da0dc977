#include "db/ArchiveStartup.h"

#include <exception>

#include "common/Prompter.h"
#include "db/Archive.h"
#include "db/Schema.h"
#include "platform/FileUtil.h"
#include "platform/SettingsStore.h"

namespace kamo {

std::unique_ptr<InstanceLock> TakeInstanceLock(const AppFolders& folders, Prompter& prompter) {
    auto lock = InstanceLock::TryAcquire(folders.settingsDir);
    if (!lock)
        prompter.Message("KamoMailはすでに実行されています。");
    return lock;
}

std::unique_ptr<SQLite::Database> PrepareArchive(const AppFolders& folders, Settings& settings, Prompter& prompter,
                                                 const StartupOptions& options, StartupReport* report) {
    StartupReport local;
    StartupReport& r = report ? *report : local;
    const std::filesystem::path archive = folders.DatabaseFile();
    settings.settingsPath = folders.SettingsFile().string();
    settings.helpPath = folders.helpPath.string();
    settings.databasePath = archive.string();

    // Before anything could create an empty archive in its place.
    r.restoredFrom = RecoverMissingDatabase(archive);

    if (NeedsVersionUpgrade(StoredVersionText(settings.settingsPath))) {
        if (FileExists(archive)) {
            try {
                auto db = OpenArchive(archive);
                UpgradeArchive(*db);
            } catch (const std::exception& e) {
                prompter.Error(settings.databasePath + "　" + e.what());
                return nullptr;
            }
        }
        r.upgraded = true;
        if (!WriteVersionKey(settings.settingsPath)) {
            prompter.Error(settings.settingsPath + "　書き込みエラー");
            return nullptr;
        }
    }

    try {
        if (!FileExists(archive)) {
            CreateDatabase(archive, prompter);
            r.created = true;
        }
    } catch (const std::exception& e) {
        prompter.Error(settings.databasePath + "　" + e.what());
        return nullptr;
    }

    if (options.compact)
        r.compacted = CompactDatabase(archive, options.compactHook);

    try {
        return OpenArchive(archive);
    } catch (const std::exception& e) {
        prompter.Error(settings.databasePath + "　" + e.what());
        return nullptr;
    }
}

StartedArchive StartWithoutWindow(const AppFolders& folders, Settings& settings, Prompter& prompter,
                                  const StartupOptions& options, StartupReport* report) {
    StartedArchive started;
    started.lock = TakeInstanceLock(folders, prompter);
    if (!started.lock)
        return started;
    started.db = PrepareArchive(folders, settings, prompter, options, report);
    if (!started.db)
        started.lock.reset();
    return started;
}

} // namespace kamo
