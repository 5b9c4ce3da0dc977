#include "db/ArchiveStartup.h"

#include <exception>
#include <fstream>
#include <optional>
#include <string>

#include "common/Messages.h"
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
        prompter.Error("設定フォルダに書き込めません（" + openError + "）。\n" + folders.settingsDir.string());
    } else if (!lock) {
        std::ifstream in(BusyNotePath(folders), std::ios::binary);
        std::string doing;
        std::getline(in, doing);
        prompter.Message(doing.empty() ? std::string("KamoMailはすでに実行されています。")
                                       : "KamoMailはすでに実行されています。\nいま起動の途中です（" + doing +
                                             "）。終わるまでお待ち下さい。");
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
        Tell(options, "アーカイブを確かめています…");
        if (IsOpenableArchive(archive))
            return true;
    }
    report.fullCheck = true;
    bool sound = false;
    bool busy = false;
    {
        const std::string doing = "アーカイブを検査しています…";
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
        prompter.Error(archive.string() + "\nアーカイブは他のプログラムが使用中です" +
                       (holder.empty() ? std::string() : "（" + holder + "）") +
                       "。\nそのプログラムが終わってから、もう一度起動して下さい。アーカイブはそのままです。");
        return false;
    }
    const std::string told =
        archive.string() + "\nアーカイブが壊れています（" + (why ? MessageOf(*why) : std::string()) + "）。";
    const std::filesystem::path copy = NewestSoundCopy(archive);
    if (copy.empty()) {
        prompter.Error(told +
                       "\n元に戻せる健全なコピー（.New / .Bak）がありません。ファイルはそのまま残してあります。");
        return false;
    }
    const std::filesystem::path broken = FreeBrokenName(archive);
    if (!prompter.AskYesNo(told + "\n" + copy.filename().string() + " から元に戻しますか？\n壊れたファイルは " +
                           broken.filename().string() + " として残します。")) {
        prompter.Error(told + "\n何も変更していません。元に戻すには、KamoMail を終了してから\n" + copy.string() +
                       "\nを\n" + archive.string() + "\nにコピーして下さい。");
        return false;
    }
    std::error_code ec;
    std::filesystem::rename(archive, broken, ec);
    if (ec || !AtomicCopyFile(copy, archive)) {
        prompter.Error(told + "\n元に戻せませんでした。" + (ec ? ec.message() : std::string()));
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
            Tell(options, "アーカイブを新しい版に合わせています…");
            try {
                auto db = OpenArchive(archive);
                UpgradeArchive(*db);
            } catch (const std::exception& e) {
                prompter.Error(settings.databasePath + "　" + ErrorText(e));
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
            Tell(options, "アーカイブを作成しています…");
            CreateDatabase(archive, prompter);
            r.created = true;
        }
    } catch (const std::exception& e) {
        prompter.Error(settings.databasePath + "　" + ErrorText(e));
        return nullptr;
    }

    // A start that compacts reads the whole file anyway: it does so here, where damage gets the
    // broken-archive message and the offer of the .Bak, not a silent skip of the compaction.
    const bool sealed = !r.created && !options.compact && ArchiveSealMatches(archive);
    if (!RepairBrokenArchive(folders, archive, sealed, prompter, options, r))
        return nullptr;

    // After a full check the compaction need not read the whole file again before its copy.
    if (options.compact) {
        const std::string doing = "最適化しています…";
        BusyNote note(folders, doing);
        Tell(options, doing);
        r.compacted = CompactDatabase(archive, options.compactHook, r.fullCheck && r.restoredFrom.empty());
    }

    try {
        Tell(options, "アーカイブを開いています…");
        auto db = OpenArchive(archive);
        // An archive written before the attachment table existed gets it here, whatever its "Ver".
        AddMissingTables(*db);
        return db;
    } catch (const std::exception& e) {
        prompter.Error(settings.databasePath + "　" + ErrorText(e));
        return nullptr;
    }
}

} // namespace kamo
