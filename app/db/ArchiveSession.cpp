#include "db/ArchiveSession.h"

#include <utility>

#include "db/ArchiveSeal.h"
#include "db/Backups.h"
#include "db/Compaction.h"
#include "db/Schema.h"
#include "platform/FileUtil.h"

namespace kamo {

ArchiveSession::ArchiveSession(AppFolders folders, std::unique_ptr<InstanceLock> lock,
                               std::unique_ptr<SQLite::Database> db, Settings settings)
    : folders_(std::move(folders)), lock_(std::move(lock)), settings_(std::move(settings)),
      archivePath_(folders_.DatabaseFile()), db_(std::move(db)) {
    // In use from now on: a run that ends without closing the archive leaves no seal.
    BreakArchiveSeal(archivePath_);
    // What our own writers left when a run was killed. Only while this run holds the instance lock:
    // then no other run of the program is writing them.
    if (lock_) {
        RemoveStaleBackupTemps(folders_.dataDir);
        RemoveUpkeepLeftovers(archivePath_);
        // The settings file, the archive (a restore from the .Bak), its seal and the compaction's
        // copy of it are written through a FileWriter; a killed run leaves its temporary.
        for (const auto& target : {folders_.SettingsFile(), archivePath_, ArchiveSealPath(archivePath_),
                                   std::filesystem::path(archivePath_.string() + ".Bak.New")})
            RemoveStaleWriterTemps(target);
    }
}

void ArchiveSession::ShowBackup(std::unique_ptr<SQLite::Database> backup, std::filesystem::path path) {
    backup_ = std::move(backup);
    backupPath_ = std::move(path);
}

void ArchiveSession::ShowArchive() {
    backup_.reset();
    backupPath_.clear();
}

void ArchiveSession::CloseArchive() {
    db_.reset();
}

void ArchiveSession::ReopenArchive() {
    db_.reset();
    db_ = OpenArchive(archivePath_);
}

void ArchiveSession::StartUpkeep(UpkeepStepHook hook) {
    upkeep_ = std::make_unique<ArchiveUpkeep>(archivePath_, std::move(hook));
    upkeep_->Start();
}

bool ArchiveSession::FinishUpkeep() {
    if (!upkeep_ || upkeep_->Result() != ArchiveUpkeep::Outcome::CopyReady)
        return false;
    db_.reset();
    const bool placed = upkeep_->PutInPlace();
    db_ = OpenArchive(archivePath_);
    return placed;
}

ArchiveSession::~ArchiveSession() {
    backup_.reset();
    // Work still running is stopped; a compacted copy that is ready goes in place as the archive closes.
    if (upkeep_ && !upkeep_->Finished())
        upkeep_.reset();
    const bool broken = upkeep_ && upkeep_->Result() == ArchiveUpkeep::Outcome::Broken;
    if (db_) {
        db_.reset();
        if (upkeep_)
            upkeep_->PutInPlace();
        // Closed cleanly: the next start may trust the file as it is left now. One the upkeep found
        // broken is left unsealed, so the next start checks it in full and offers the .Bak.
        if (!broken)
            SealArchive(archivePath_);
    }
    // The conversion library's text files hold mail: they do not outlive the run.
    DeleteTempFiles(folders_.dataDir);
}

std::unique_ptr<ArchiveSession> OpenSession(const AppFolders& folders, std::unique_ptr<InstanceLock> lock,
                                            Prompter& prompter, const StartupOptions& options, StartupReport* report) {
    Settings settings;
    auto db = PrepareArchive(folders, settings, prompter, options, report);
    if (!db)
        return nullptr;
    return std::make_unique<ArchiveSession>(folders, std::move(lock), std::move(db), std::move(settings));
}

std::unique_ptr<ArchiveSession> StartSession(const AppFolders& folders, Prompter& prompter,
                                             const StartupOptions& options, StartupReport* report) {
    auto lock = TakeInstanceLock(folders, prompter);
    if (!lock)
        return nullptr;
    return OpenSession(folders, std::move(lock), prompter, options, report);
}

} // namespace kamo
