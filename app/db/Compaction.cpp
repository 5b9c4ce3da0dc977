#include "db/Compaction.h"

#include <fstream>
#include <map>
#include <optional>
#include <system_error>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>
#include <SQLiteCpp/Transaction.h>
#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/Messages.h"
#include "common/MessagesArchive.h"
#include "db/PieceTransaction.h"
#include "db/Schema.h"
#include "platform/FileUtil.h"

namespace kamo {
namespace fs = std::filesystem;

namespace {

fs::path WithSuffix(const fs::path& p, const char* suffix) {
    return fs::path(p.string() + suffix);
}

fs::path FolderOf(const fs::path& p) {
    return p.parent_path().empty() ? fs::path(".") : p.parent_path();
}

bool HasJournal(const fs::path& p) {
    return fs::exists(WithSuffix(p, "-journal")) || fs::exists(WithSuffix(p, "-wal"));
}

void Remove(const fs::path& p) {
    std::error_code ec;
    fs::remove(p, ec);
}

void RemoveWithJournals(const fs::path& p) {
    for (const char* suffix : {"", "-journal", "-wal", "-shm"})
        Remove(WithSuffix(p, suffix));
}

std::map<std::string, int64_t> RowCounts(SQLite::Database& db) {
    std::vector<std::string> tables;
    // Virtual tables are left out: their rows live in real (shadow) tables, which are counted, and
    // counting a full-text index through its module reads all of it.
    SQLite::Statement q(db, "SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT LIKE 'sqlite%'"
                            " AND sql NOT LIKE 'CREATE VIRTUAL TABLE%'");
    while (q.executeStep())
        tables.push_back(q.getColumn(0).getString());
    std::map<std::string, int64_t> counts;
    for (const auto& t : tables) {
        std::string quoted = "\"";
        for (char c : t)
            quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
        quoted += "\"";
        counts[t] = db.execAndGet("SELECT count(*) FROM " + quoted).getInt64();
    }
    return counts;
}

// integrity_check reads every page and checks every index against its table; quick_check reads
// every page and its structure, in a tenth of the time, without comparing the indexes.
bool IntegrityOk(SQLite::Database& db, bool quick = false) {
    SQLite::Statement q(db, quick ? "PRAGMA quick_check" : "PRAGMA integrity_check");
    if (!q.executeStep() || q.getColumn(0).getString() != "ok")
        return false;
    return !q.executeStep();
}

bool CopyCompacted(const fs::path& archive, const fs::path& copy) {
    {
        SQLite::Database db(archive.string(), SQLite::OPEN_READWRITE);
        // The first read plays back (rolls back) a journal left by a process that died mid-write.
        db.execAndGet("SELECT count(*) FROM sqlite_master");
        // Created narrow before SQLite fills it: the copy is never readable wider than the archive.
        if (!CreateEmptyFile(copy, PrivateModeOf(archive)))
            return false;
        SQLite::Statement vacuum(db, "VACUUM INTO ?");
        vacuum.bind(1, copy.string());
        vacuum.exec();
    }
    return !HasJournal(archive) && !HasJournal(copy);
}

bool VerifyCopy(const fs::path& archive, const fs::path& copy) {
    SQLite::Database original(archive.string(), SQLite::OPEN_READONLY);
    SQLite::Database compacted(copy.string(), SQLite::OPEN_READONLY);
    return IntegrityOk(compacted) && RowCounts(original) == RowCounts(compacted);
}

bool MakeBackupLink(const fs::path& archive, const fs::path& backupNew) {
    if (::link(archive.c_str(), backupNew.c_str()) == 0)
        return true;
    return AtomicCopyFile(archive, backupNew, PrivateFile(PrivateModeOf(archive)));
}

} // namespace

namespace {

// The checks behind IsSoundArchive, IsCompleteArchive and IsOpenableArchive: every table of the
// archive or the mail table only; the whole file read (integrity_check) or only its header and
// schema.
bool CheckArchive(const fs::path& file, bool allTables, bool integrity, std::optional<Failure>* why,
                  const std::function<void()>& pump = {}, bool* busy = nullptr) {
    auto no = [&](FailureCode code, std::vector<std::string> details = {}) {
        if (why)
            why->emplace(code, std::move(details));
        return false;
    };
    if (busy)
        *busy = false;
    try {
        if (!FileExists(file))
            return no(FailureCode::ArchiveFileMissing);
        if (fs::file_size(file) == 0)
            return no(FailureCode::ArchiveFileEmpty);
        // A journal left by a writer that died is played back first, as any later open would.
        SQLite::Database db(file.string(), HasJournal(file) ? SQLite::OPEN_READWRITE : SQLite::OPEN_READONLY);
        // A writer that is about to finish is waited for; one that holds on is another program at work.
        db.setBusyTimeout(2000);
        // A long check lets the caller keep its window painted.
        std::optional<PumpDuringStatements> pumping;
        if (pump)
            pumping.emplace(db, pump);
        if (integrity && !IntegrityOk(db))
            return no(FailureCode::ArchiveIntegrityFailed);
        if (!integrity) {
            // A file cut short or grown behind SQLite's back no longer matches the pages its header counts.
            const int64_t pages = db.execAndGet("PRAGMA page_count").getInt64();
            const int64_t pageSize = db.execAndGet("PRAGMA page_size").getInt64();
            if (static_cast<uintmax_t>(pages * pageSize) != fs::file_size(file))
                return no(FailureCode::ArchiveSizeMismatch);
        }
        SQLite::Statement q(db, "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = ?");
        for (const auto& table : ArchiveTables()) {
            q.bind(1, table.name);
            const bool found = q.executeStep();
            q.reset();
            if (!found)
                return no(FailureCode::ArchiveTableMissing, {table.name});
            if (!allTables)
                break; // tblKamoMail comes first
        }
        return true;
    } catch (const SQLite::Exception& e) {
        // Locked is not broken: another program holds the file, which may be perfectly sound.
        if (busy && (e.getErrorCode() == SQLITE_BUSY || e.getErrorCode() == SQLITE_LOCKED))
            *busy = true;
        return no(FailureCode::ArchiveNotOpenable, {e.what()});
    } catch (const std::exception& e) {
        return no(FailureCode::ArchiveNotOpenable, {e.what()});
    }
}

} // namespace

bool IsSoundArchive(const fs::path& file, std::optional<Failure>* why, const std::function<void()>& pump, bool* busy) {
    return CheckArchive(file, false, true, why, pump, busy);
}

std::string ArchiveLockHolder(const fs::path& file) {
    // SQLite's locks are POSIX record locks from byte 0x40000000 on (pending, reserved, shared range).
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return {};
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    lock.l_start = 0x40000000;
    lock.l_len = 512;
    const bool found = ::fcntl(fd, F_GETLK, &lock) == 0 && lock.l_type != F_UNLCK && lock.l_pid > 0;
    ::close(fd);
    if (!found)
        return {};
    std::ifstream comm("/proc/" + std::to_string(lock.l_pid) + "/comm");
    std::string name;
    std::getline(comm, name);
    return Say(ArchiveText::LockHolder,
               {name.empty() ? Say(ArchiveText::UnknownProcess) : name, std::to_string(lock.l_pid)});
}

bool IsCompleteArchive(const fs::path& file, std::optional<Failure>* why) {
    return CheckArchive(file, true, true, why);
}

bool IsOpenableArchive(const fs::path& file, std::optional<Failure>* why) {
    return CheckArchive(file, true, false, why);
}

int RemoveUpkeepLeftovers(const fs::path& archiveName) {
    std::error_code ec;
    const fs::path archive = fs::is_symlink(archiveName, ec) ? fs::canonical(archiveName, ec) : archiveName;
    if (ec || !FileExists(archive))
        return 0;
    int removed = 0;
    for (const char* suffix : {".New", ".New-journal", ".Bak.New"}) {
        const fs::path leftover = WithSuffix(archive, suffix);
        struct stat st {};
        if (::lstat(leftover.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::unlink(leftover.c_str()) == 0)
            ++removed;
    }
    return removed;
}

fs::path NewestSoundCopy(const fs::path& archive) {
    for (const char* suffix : {".New", ".Bak.New", ".Bak"}) {
        const fs::path candidate = WithSuffix(archive, suffix);
        if (!HasJournal(candidate) && IsSoundArchive(candidate))
            return candidate;
    }
    return {};
}

bool CompactDatabase(const fs::path& archiveName, const CompactStepHook& hook, bool checked) {
    // Through a symbolic link the real file is the archive: it is replaced in its own folder, and
    // the link keeps pointing at it.
    std::error_code linkError;
    const fs::path archive =
        fs::is_symlink(archiveName, linkError) ? fs::canonical(archiveName, linkError) : archiveName;
    if (linkError)
        return false;
    const fs::path fresh = WithSuffix(archive, ".New");
    const fs::path backup = WithSuffix(archive, ".Bak");
    const fs::path backupNew = WithSuffix(archive, ".Bak.New");
    auto step = [&](CompactStep s) { return !hook || hook(s); };
    auto fail = [&]() {
        RemoveWithJournals(fresh);
        Remove(backupNew);
        return false;
    };

    if (!FileExists(archive) || !(checked ? IsOpenableArchive(archive) : IsCompleteArchive(archive)))
        return false;
    struct stat original {};
    if (::stat(archive.c_str(), &original) != 0)
        return false;
    // Leftovers of an interrupted start; the archive itself is there, so they are not needed.
    RemoveWithJournals(fresh);
    Remove(backupNew);
    if (fs::exists(fresh) || fs::exists(backupNew))
        return false;

    try {
        if (!step(CompactStep::Copy) || !CopyCompacted(archive, fresh))
            return fail();
        // The copy takes the archive's place: it keeps its permission bits and owner.
        if (::chmod(fresh.c_str(), original.st_mode & 07777) != 0 ||
            (::chown(fresh.c_str(), original.st_uid, original.st_gid) != 0 && ::geteuid() == 0))
            return fail();
        if (!step(CompactStep::SyncCopy) || !SyncFile(fresh))
            return fail();
        if (!step(CompactStep::Verify) || !VerifyCopy(archive, fresh))
            return fail();
        if (!step(CompactStep::Backup) || !MakeBackupLink(archive, backupNew))
            return fail();
    } catch (const std::exception&) {
        return fail();
    }
    // Another program with the archive open would go on with the old file, its later changes lost:
    // the compaction waits for a start when no one else holds it.
    if (!ArchiveLockHolder(archive).empty())
        return fail();
    if (!step(CompactStep::Replace) || ::rename(fresh.c_str(), archive.c_str()) != 0)
        return fail();
    // The archive is compacted now; what follows only keeps the previous file as .Bak.
    bool ok = step(CompactStep::KeepBackup) && ::rename(backupNew.c_str(), backup.c_str()) == 0;
    if (!ok)
        Remove(backupNew);
    ok = step(CompactStep::SyncFolder) && SyncFolder(FolderOf(archive)) && ok;
    return ok;
}

std::string RecoverMissingDatabase(const fs::path& archive) {
    if (fs::exists(archive))
        return {};
    const fs::path fresh = WithSuffix(archive, ".New");
    const fs::path backupNew = WithSuffix(archive, ".Bak.New");
    const fs::path backup = WithSuffix(archive, ".Bak");

    // A journal of the lost file must not be played into the restored one.
    for (const char* suffix : {"-journal", "-wal", "-shm"})
        Remove(WithSuffix(archive, suffix));

    for (const auto& candidate : {fresh, backupNew}) {
        if (!HasJournal(candidate) && IsSoundArchive(candidate) && ::rename(candidate.c_str(), archive.c_str()) == 0) {
            SyncFolder(FolderOf(archive));
            return candidate.filename().string();
        }
    }
    // The .Bak is copied, not moved: it stays the safety copy. Damaged or not, it holds the mail,
    // which an empty archive would not.
    if (FileExists(backup) && AtomicCopyFile(backup, archive))
        return backup.filename().string();
    return {};
}

} // namespace kamo

namespace kamo {

ArchiveUpkeep::ArchiveUpkeep(fs::path archive, UpkeepStepHook hook) : hook_(std::move(hook)) {
    // Through a symbolic link the real file is the archive, as for CompactDatabase.
    std::error_code ec;
    archive_ = fs::is_symlink(archive, ec) ? fs::canonical(archive, ec) : std::move(archive);
}

ArchiveUpkeep::~ArchiveUpkeep() {
    stop_ = true;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (running_)
            sqlite3_interrupt(running_);
    }
    if (worker_.joinable())
        worker_.join();
}

void ArchiveUpkeep::Start() {
    worker_ = std::thread([this] { Work(); });
}

void ArchiveUpkeep::Run() {
    Work();
}

void ArchiveUpkeep::Wait() {
    if (worker_.joinable())
        worker_.join();
}

std::optional<Failure> ArchiveUpkeep::Problem() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return problem_;
}

// Runs `work` with `db` open to sqlite3_interrupt from the destructor; false when it was stopped.
bool ArchiveUpkeep::Interruptible(SQLite::Database& db, const std::function<void()>& work) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (stop_)
            return false;
        running_ = db.getHandle();
    }
    struct Clear {
        ArchiveUpkeep& self;
        ~Clear() {
            std::lock_guard<std::mutex> lock(self.mutex_);
            self.running_ = nullptr;
        }
    } clear{*this};
    work();
    return !stop_;
}

void ArchiveUpkeep::Work() {
    const fs::path fresh = WithSuffix(archive_, ".New");
    const fs::path backup = WithSuffix(archive_, ".Bak");
    const fs::path backupNew = WithSuffix(archive_, ".Bak.New");
    auto step = [&](UpkeepStep s) { return !stop_ && (!hook_ || hook_(s)); };
    auto finish = [&](Outcome outcome) {
        if (outcome == Outcome::Failed || outcome == Outcome::Broken)
            RemoveWithJournals(fresh);
        Remove(backupNew);
        outcome_ = outcome;
    };
    try {
        // Leftovers of an earlier start that was cut short.
        RemoveWithJournals(fresh);
        Remove(backupNew);

        // 1. The archive as one moment left it: a read transaction keeps writers out while it is copied.
        if (!step(UpkeepStep::Snapshot))
            return finish(Outcome::Failed);
        {
            SQLite::Database db(archive_.string(), SQLite::OPEN_READONLY);
            db.setBusyTimeout(5000);
            SQLite::Transaction read(db);
            db.execAndGet("SELECT count(*) FROM sqlite_master");
            if (HasJournal(archive_))
                return finish(Outcome::Failed);
            snapshot_ = ReadArchiveStamp(archive_);
            if (!snapshot_ || !CloneFile(archive_, backupNew, [&] { return !stop_.load(); }))
                return finish(Outcome::Failed);
        }

        // 2. Read in full before it may replace the .Bak.
        if (!step(UpkeepStep::CheckSnapshot))
            return finish(Outcome::Failed);
        {
            SQLite::Database db(backupNew.string(), SQLite::OPEN_READONLY);
            bool sound = false;
            // The start checked the archive in full, or trusted it by its seal: page by page is
            // enough here to keep damage the seal cannot see out of the .Bak.
            if (!Interruptible(db, [&] { sound = IntegrityOk(db, true); }))
                return finish(Outcome::Failed);
            std::optional<Failure> why = Failure(FailureCode::ArchiveQuickCheckFailed);
            if (!sound || !IsOpenableArchive(backupNew, &why)) {
                std::lock_guard<std::mutex> lock(mutex_);
                problem_ = why;
                return finish(Outcome::Broken);
            }
        }

        // 3. The previous archive kept.
        if (!step(UpkeepStep::KeepBackup) || ::rename(backupNew.c_str(), backup.c_str()) != 0 ||
            !SyncFolder(FolderOf(archive_)))
            return finish(Outcome::Failed);
        bool backupOnly = false;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            backupKept_ = true;
            backupOnly = backupOnly_;
        }
        if (backupOnly)
            return finish(Outcome::Kept);

        // 4. Compacted from the .Bak, which nothing writes, when there is anything to gain.
        if (!step(UpkeepStep::Compact))
            return finish(Outcome::Failed);
        {
            SQLite::Database db(backup.string(), SQLite::OPEN_READONLY);
            if (db.execAndGet("PRAGMA freelist_count").getInt64() == 0)
                return finish(Outcome::Kept);
            if (!CreateEmptyFile(fresh, PrivateModeOf(archive_)))
                return finish(Outcome::Failed);
            SQLite::Statement vacuum(db, "VACUUM INTO ?");
            vacuum.bind(1, fresh.string());
            if (!Interruptible(db, [&] { vacuum.exec(); }))
                return finish(Outcome::Failed);
        }
        struct stat original {};
        if (::stat(archive_.c_str(), &original) != 0 || ::chmod(fresh.c_str(), original.st_mode & 07777) != 0)
            return finish(Outcome::Failed);

        // 5. The copy on the disk and read back in full.
        if (!step(UpkeepStep::VerifyCopy) || !SyncFile(fresh))
            return finish(Outcome::Failed);
        {
            SQLite::Database compacted(fresh.string(), SQLite::OPEN_READONLY);
            SQLite::Database previous(backup.string(), SQLite::OPEN_READONLY);
            bool same = false;
            // A copy VACUUM just wrote, its indexes made anew from its tables: every page read back
            // and every table's row count is the proof that it holds what the .Bak holds.
            if (!Interruptible(compacted, [&] { same = IntegrityOk(compacted, true); }))
                return finish(Outcome::Failed);
            if (!same || RowCounts(previous) != RowCounts(compacted) || HasJournal(fresh))
                return finish(Outcome::Failed);
        }
        finish(Outcome::CopyReady);
    } catch (const SQLite::Exception& e) {
        // Damage SQLite cannot read past (a torn page of the schema or of a tree) ends a step with an
        // error rather than a check's answer: the archive is broken, and the user is told, as when
        // the check finds it.
        if (e.getErrorCode() == SQLITE_CORRUPT || e.getErrorCode() == SQLITE_NOTADB) {
            {
                std::lock_guard<std::mutex> lock(mutex_);
                problem_ = Failure(FailureCode::ArchiveQuickCheckFailed, {e.what()});
            }
            finish(Outcome::Broken);
        } else {
            finish(Outcome::Failed);
        }
    } catch (const std::exception&) {
        finish(Outcome::Failed);
    }
}

void ArchiveUpkeep::StopAfterBackup() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        backupOnly_ = true;
        if (backupKept_) {
            stop_ = true;
            if (running_)
                sqlite3_interrupt(running_);
        }
    }
    Wait();
}

bool ArchiveUpkeep::PutInPlace() {
    if (outcome_.load() != Outcome::CopyReady)
        return false;
    const fs::path fresh = WithSuffix(archive_, ".New");
    // Anything written since the snapshot is in the archive, not in the copy: the copy goes.
    if (!(!hook_ || hook_(UpkeepStep::PutInPlace)) || HasJournal(archive_) || ReadArchiveStamp(archive_) != snapshot_) {
        RemoveWithJournals(fresh);
        outcome_ = Outcome::Changed;
        return false;
    }
    if (::rename(fresh.c_str(), archive_.c_str()) != 0) {
        RemoveWithJournals(fresh);
        outcome_ = Outcome::Failed;
        return false;
    }
    SyncFolder(FolderOf(archive_));
    outcome_ = Outcome::Placed;
    return true;
}

} // namespace kamo
