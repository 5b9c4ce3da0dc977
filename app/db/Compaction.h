#pragma once
// Compacting the archive at each start, and bringing back an archive file that went missing.
//
// The archive file is never absent, whatever fails and wherever the process is killed:
//   1. Copy:       VACUUM INTO "<archive>.New" (opening the archive first plays back a journal a
//                  crash left beside it; a journal still there afterwards stops the compaction)
//   2. SyncCopy:   fsync "<archive>.New"
//   3. Verify:     PRAGMA integrity_check on the copy, and the same row count in every table
//   4. Backup:     "<archive>.Bak.New" as a hard link to the archive (a copy where links fail)
//   5. Replace:    rename "<archive>.New" over the archive (atomic)
//   6. KeepBackup: rename "<archive>.Bak.New" over "<archive>.Bak" (the previous archive)
//   7. SyncFolder: fsync the folder
// A failure before Replace removes the leftovers and keeps the archive as it was.
#include <atomic>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include <SQLiteCpp/Database.h>

#include "common/Failure.h"
#include "db/ArchiveSeal.h"

struct sqlite3;

namespace kamo {

enum class CompactStep { Copy, SyncCopy, Verify, Backup, Replace, KeepBackup, SyncFolder };

// Called before each step; returning false makes that step fail. Lets tests fail or end the
// process at any step.
using CompactStepHook = std::function<bool(CompactStep)>;

// Compacts the archive (which must not be open). False when it was not compacted; the archive is
// then the one that was there. An archive that is not complete (IsCompleteArchive) is left alone;
// `checked` says the caller has just run that full check on it, so it is not run twice. An archive
// another program holds (a lock on it, ArchiveLockHolder) is not replaced: that program would go on
// with the old file. A symbolic link stays a link: the file it points to is compacted, in its own folder, with its
// permission bits and owner kept.
bool CompactDatabase(const std::filesystem::path& archive, const CompactStepHook& hook = {}, bool checked = false);

// The window's start-up upkeep, off the path to the first screen: the same guarantees as
// CompactDatabase, on a worker thread, over a snapshot, so the window is usable meanwhile.
//   1. Snapshot:      the archive copied to "<archive>.Bak.New" at copy speed under a read lock, so
//                     it is the archive as one moment left it (writers wait, for the copy only)
//   2. CheckSnapshot: every page of the copy read (quick_check, all six tables): an archive damaged
//                     behind the program's back is caught here, and the .Bak stays as it was
//   3. KeepBackup:    "<archive>.Bak.New" renamed over "<archive>.Bak", the folder synced
//   4. Compact:       when the archive has free pages, VACUUM INTO "<archive>.New" from the .Bak
//   5. VerifyCopy:    "<archive>.New" synced, every page read back, the same row count in every table
//   6. PutInPlace:    on the owner's thread, with its connection closed, "<archive>.New" renamed over
//                     the archive, only when the archive is still as at the snapshot (else the next
//                     start compacts)
// A kill at any moment leaves the archive, and a sound .Bak, as they were or as they became; the next
// start removes a leftover .New or .Bak.New.
enum class UpkeepStep { Snapshot, CheckSnapshot, KeepBackup, Compact, VerifyCopy, PutInPlace };
using UpkeepStepHook = std::function<bool(UpkeepStep)>;

class ArchiveUpkeep {
public:
    enum class Outcome {
        Running,
        Kept,      // the .Bak is the archive as at the start; there was nothing to compact, or no time
        CopyReady, // the .Bak is kept and a compacted copy waits for PutInPlace
        Placed,    // the compacted copy is the archive now
        Changed,   // the archive changed after the snapshot: the copy was dropped
        Broken,    // the archive failed the full check: nothing was touched (Problem says why)
        Failed,    // a step failed or was stopped: the archive and .Bak are as they were
    };

    explicit ArchiveUpkeep(std::filesystem::path archive, UpkeepStepHook hook = {});
    // Stops the work at its next safe point (an SQLite statement is interrupted) and waits for it.
    ~ArchiveUpkeep();
    ArchiveUpkeep(const ArchiveUpkeep&) = delete;
    ArchiveUpkeep& operator=(const ArchiveUpkeep&) = delete;

    // Steps 1 to 5 on a worker thread, or on this one.
    void Start();
    void Run();
    bool Finished() const { return outcome_.load() != Outcome::Running; }
    void Wait();
    Outcome Result() const { return outcome_.load(); }
    // What the check found wrong when the outcome is Broken.
    std::optional<Failure> Problem() const;

    // Step 6, on the thread that owns the archive's connection, which must be closed. True when the
    // compacted copy took the archive's place.
    bool PutInPlace();

    // Lets the work run until the .Bak is kept (steps 1 to 3), stops it there (Kept; a compaction
    // already under way is interrupted: Failed) and waits for it.
    void StopAfterBackup();

private:
    void Work();
    bool Interruptible(SQLite::Database& db, const std::function<void()>& work);

    std::filesystem::path archive_;
    UpkeepStepHook hook_;
    std::thread worker_;
    std::atomic<Outcome> outcome_{Outcome::Running};
    std::atomic<bool> stop_{false};
    mutable std::mutex mutex_;
    sqlite3* running_ = nullptr; // the statement's connection, for interrupting it
    bool backupOnly_ = false;    // StopAfterBackup was called
    bool backupKept_ = false;    // step 3 is done
    std::optional<Failure> problem_;
    std::optional<ArchiveStamp> snapshot_;
};

// When the archive file is missing, puts back the newest sound copy beside it: a complete, verified
// "<archive>.New", else "<archive>.Bak.New", else "<archive>.Bak" (copied, so the .Bak stays).
// Returns the name of the file it was restored from, or an empty string.
std::string RecoverMissingDatabase(const std::filesystem::path& archive);

// True when `file` opens as an SQLite database that passes PRAGMA integrity_check and holds the
// mail table: an archive the program can open. `why` gets the reason otherwise.
// `pump` is called every so often while the file is read. `busy`, when given, says whether the
// file could not be read because another program holds it locked (then it may well be sound).
bool IsSoundArchive(const std::filesystem::path& file, std::optional<Failure>* why = nullptr,
                    const std::function<void()>& pump = {}, bool* busy = nullptr);

// The program holding an SQLite lock on the file ("sqlite3 (PID 1234)"), or empty when none is
// known.
std::string ArchiveLockHolder(const std::filesystem::path& file);

// True when `file` is a sound archive with all six tables: the only kind that is compacted (a
// broken file must never become the .Bak in place of a good one).
bool IsCompleteArchive(const std::filesystem::path& file, std::optional<Failure>* why = nullptr);

// The cheap check of an archive the last clean close sealed (db/ArchiveSeal.h): it opens, its size
// is the pages its header counts, and it has all six tables. Reads the header and schema only.
bool IsOpenableArchive(const std::filesystem::path& file, std::optional<Failure>* why = nullptr);

// Removes what a compaction or an upkeep killed midway left beside the archive (through a link,
// beside the file it names): "<archive>.New", "<archive>.New-journal" and "<archive>.Bak.New", by
// those names and only where they are ordinary files. Only while the archive is there (else they are
// what RecoverMissingDatabase restores from) and the caller holds the instance lock (else they may
// be another run's work). Returns the number removed.
int RemoveUpkeepLeftovers(const std::filesystem::path& archive);

// The newest sound copy of the archive beside it (.New, .Bak.New, .Bak), or an empty path.
std::filesystem::path NewestSoundCopy(const std::filesystem::path& archive);

} // namespace kamo
