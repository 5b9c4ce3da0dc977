#pragma once
// Database recreation: the archive rebuilt from its own rows into a fresh file with the current
// schema, which then takes the archive's place. The archive file is never missing or half-written:
//   1. Backup:  today's backup of the archive (db/Backups.h)
//   2. Build:   "<archive>.New" created with the current tables
//   3. Copy:    the user's data copied over, table by table, by column name (upkeep/TableRegistry.h);
//               derived tables are not copied
//   4. Refresh: the caller's work on the new file: the derived data made again (RefreshDerivedData)
//   5. Verify:  PRAGMA integrity_check and the same number of rows in the copied tables
//   6. Replace: the archive connection closed, "<archive>.New" synced and renamed over the archive
//               (atomic), the folder synced, the archive opened again
// A failure before Replace removes "<archive>.New" and leaves the archive as it was; a process killed
// there leaves a "<archive>.New" that the next start removes.
#include <functional>

#include <SQLiteCpp/Database.h>

namespace kamo {

class ArchiveSession;

enum class RecreateStep { Backup, Build, Copy, Refresh, Verify, Replace };
// Called before each step; returning false makes that step fail (tests).
using RecreateStepHook = std::function<bool(RecreateStep)>;

// Throws Failure or SQLite::Exception on failure. Nothing may hold a
// statement on the archive while it runs (the window lets go of its lists first).
void RecreateArchive(ArchiveSession& session, const std::function<bool(SQLite::Database&)>& refresh,
                     const RecreateStepHook& hook = {});

} // namespace kamo
