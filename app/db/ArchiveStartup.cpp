#include "db/ArchiveStartup.h"

#include <exception>
#include <fstream>
#include <optional>
#include <string>

#include "common/Messages.h"
#include "common/MessagesArchive.h"
#include "common/Prompter.h"
#include "db/Archive.h"
#include "db/ArchiveSeal.h"
#include "db/Schema.h"
#include "platform/FileUtil.h"
#include "platform/SettingsStore.h"

namespace kamo {

namespace {

// What a copy in a long step of its start is doing, for a second start to tell: a line in the
// settings folder beside the lock, there only while the step runs.
std::filesystem::path BusyNotePath(const AppFolders& folders) {
    return folders.settingsDir / "KamoMail.busy";
}

class BusyNote {
public:
    BusyNote(const AppFolders& folders, const std::string& doing) : path_(BusyNotePath(folders)) {
        AtomicWriteFile(path_, doing);
    }
    ~BusyNote() {
        std::error_code ec;
        std::filesystem::remove(path_, ec);
    }
    BusyNote(const BusyNote&) = delete;
    BusyNote& operator=(const BusyNote&) = delete;

private:
    std::filesystem::path path_;
};

} // namespace

std::unique_ptr<InstanceLock> TakeInstanceLock(const AppFolders& folders, Prompter& prompter) {
    std::string openError;
    auto lock = InstanceLock::TryAcquire(folders.settingsDir, &openError);
    std::error_code ec;
    if (!lock && !openError.empty()) {
        prompter.Error(Say(ArchiveText::SettingsFolderUnwritable, {openError, folders.settingsDir.string()}));
    } else if (!lock) {
        std::ifstream in(BusyNotePath(folders), std::ios::binary);
        std::string doing;
        std::getline(in, doing);
        prompter.Message(doing.empty() ? Say(ArchiveText::AlreadyRunning)
                                       : Say(ArchiveText::AlreadyRunningStarting, {doing}));
    } else {
        // A note left by a copy that was killed in its start says nothing any more.
        std::filesystem::remove(BusyNotePath(folders), ec);
    }
    return lock;
}

namespace {

// Each step says what it does as it begins, so the splash says what the start waits for.
void Tell(const StartupOptions& options, const std::string& doing) {
    if (options.progress)
        options.progress(doing);
}

// A name beside the archive that is not taken yet: "<archive>.Broken", "<archive>.Broken.2", ...
std::filesystem::path FreeBrokenName(const std::filesystem::path& archive) {
    std::filesystem::path name = archive.string() + ".Broken";
    for (int n = 2; std::filesystem::exists(std::filesystem::symlink_status(name)); ++n)
        name = archive.string() + ".Broken." + std::to_string(n);
    return name;
}

// An archive file that is there but broken (empty, failing the integrity check, no mail table) is
// neither compacted nor opened: the user is told, and on their word it is put aside and the newest
// sound copy put in its place. Every other file stays as it is. False when the start must end.
bool RepairBrokenArchive(const AppFolders& folders, const std::filesystem::path& archive, bool sealed,
                         Prompter& prompter, const StartupOptions& options, StartupReport& report) {
    std::optional<Failure> why;
    // A sealed archive is as the last clean close left it: its header and schema are enough. Any
    // doubt there, or no seal, and the whole file is read.
    if (sealed) {
        Tell(options, Say(ArchiveText::CheckingArchive));
        if (IsOpenableArchive(archive))
            return true;
    }
    report.fullCheck = true;
    bool sound = false;
    bool busy = false;
    {
        const std::string doing = Say(ArchiveText::InspectingArchive);
        BusyNote note(folders, doing);
        Tell(options, doing);
        sound = IsSoundArchive(
            archive, &why, [&] { Tell(options, doing); }, &busy);
    }
    if (sound)
        return true;
    if (!busy)
        // A seal left by an earlier close would have the next start trust this file again.
        BreakArchiveSeal(archive);
    if (busy) {
        // In use, not broken: nothing to restore, and nothing may be copied over it.
        const std::string holder = ArchiveLockHolder(archive);
        prompter.Error(holder.empty() ? Say(ArchiveText::ArchiveInUse, {archive.string()})
                                      : Say(ArchiveText::ArchiveInUseBy, {archive.string(), holder}));
        return false;
    }
    const std::string told = Say(ArchiveText::ArchiveBroken, {archive.string(), why ? MessageOf(*why) : std::string()});
    const std::filesystem::path copy = NewestSoundCopy(archive);
    if (copy.empty()) {
        prompter.Error(Say(ArchiveText::NoSoundCopy, {told}));
        return false;
    }
    const std::filesystem::path broken = FreeBrokenName(archive);
    if (!prompter.AskYesNo(
            Say(ArchiveText::RestoreQuestion, {told, copy.filename().string(), broken.filename().string()}))) {
        prompter.Error(Say(ArchiveText::RestoreDeclined, {told, copy.string(), archive.string()}));
        return false;
    }
    std::error_code ec;
    std::filesystem::rename(archive, broken, ec);
    if (ec || !AtomicCopyFile(copy, archive)) {
        prompter.Error(Say(ArchiveText::RestoreFailed, {told, ec ? ec.message() : std::string()}));
        return false;
    }
    report.restoredFrom = copy.filename().string();
    return true;
}

} // namespace

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
            Tell(options, Say(ArchiveText::UpgradingArchive));
            try {
                auto db = OpenArchive(archive);
                UpgradeArchive(*db);
            } catch (const std::exception& e) {
                prompter.Error(Say(ArchiveText::FileError, {settings.databasePath, ErrorText(e)}));
                return nullptr;
            }
        }
        r.upgraded = true;
        if (!WriteVersionKey(settings.settingsPath)) {
            prompter.Error(Say(ArchiveText::SettingsWriteError, {settings.settingsPath}));
            return nullptr;
        }
    }

    try {
        if (!FileExists(archive)) {
            Tell(options, Say(ArchiveText::CreatingArchive));
            CreateDatabase(archive, prompter);
            r.created = true;
        }
    } catch (const std::exception& e) {
        prompter.Error(Say(ArchiveText::FileError, {settings.databasePath, ErrorText(e)}));
        return nullptr;
    }

    // A start that compacts reads the whole file anyway: it does so here, where damage gets the
    // broken-archive message and the offer of the .Bak, not a silent skip of the compaction.
    const bool sealed = !r.created && !options.compact && ArchiveSealMatches(archive);
    if (!RepairBrokenArchive(folders, archive, sealed, prompter, options, r))
        return nullptr;

    // After a full check the compaction need not read the whole file again before its copy.
    if (options.compact) {
        const std::string doing = Say(ArchiveText::Compacting);
        BusyNote note(folders, doing);
        Tell(options, doing);
        r.compacted = CompactDatabase(archive, options.compactHook, r.fullCheck && r.restoredFrom.empty());
    }

    try {
        Tell(options, Say(ArchiveText::OpeningArchive));
        auto db = OpenArchive(archive);
        // An archive written before the attachment table existed gets it here, whatever its "Ver".
        AddMissingTables(*db);
        return db;
    } catch (const std::exception& e) {
        prompter.Error(Say(ArchiveText::FileError, {settings.databasePath, ErrorText(e)}));
        return nullptr;
    }
}

} // namespace kamo
