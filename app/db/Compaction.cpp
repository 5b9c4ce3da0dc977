#include "db/Compaction.h"

#include <map>
#include <system_error>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>
#include <unistd.h>

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
    SQLite::Statement q(db, "SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT LIKE 'sqlite%'");
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

bool IntegrityOk(SQLite::Database& db) {
    SQLite::Statement q(db, "PRAGMA integrity_check");
    if (!q.executeStep() || q.getColumn(0).getString() != "ok")
        return false;
    return !q.executeStep();
}

bool CopyCompacted(const fs::path& archive, const fs::path& copy) {
    {
        SQLite::Database db(archive.string(), SQLite::OPEN_READWRITE);
        // The first read plays back (rolls back) a journal left by a process that died mid-write.
        db.execAndGet("SELECT count(*) FROM sqlite_master");
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
    return AtomicCopyFile(archive, backupNew);
}

} // namespace

bool IsSoundArchive(const fs::path& file) {
    try {
        if (!FileExists(file))
            return false;
        SQLite::Database db(file.string(), SQLite::OPEN_READONLY);
        if (!IntegrityOk(db))
            return false;
        SQLite::Statement q(db, "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = 'tblKamoMail'");
        return q.executeStep();
    } catch (const std::exception&) {
        return false;
    }
}

bool CompactDatabase(const fs::path& archive, const CompactStepHook& hook) {
    const fs::path fresh = WithSuffix(archive, ".New");
    const fs::path backup = WithSuffix(archive, ".Bak");
    const fs::path backupNew = WithSuffix(archive, ".Bak.New");
    auto step = [&](CompactStep s) { return !hook || hook(s); };
    auto fail = [&]() {
        RemoveWithJournals(fresh);
        Remove(backupNew);
        return false;
    };

    if (!FileExists(archive))
        return false;
    // Leftovers of an interrupted start; the archive itself is there, so they are not needed.
    RemoveWithJournals(fresh);
    Remove(backupNew);
    if (fs::exists(fresh) || fs::exists(backupNew))
        return false;

    try {
        if (!step(CompactStep::Copy) || !CopyCompacted(archive, fresh))
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
