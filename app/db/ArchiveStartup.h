#pragma once
// The start sequence without its windows: the single-instance guard and the archive made ready
// (restored, upgraded, created, compacted, opened). OpenSession and StartSession (db/ArchiveSession.h)
// build the archive session on these; the window program and the terminal commands use those.
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include <SQLiteCpp/Database.h>

#include "common/Settings.h"
#include "db/Compaction.h"
#include "platform/Folders.h"
#include "platform/InstanceLock.h"

namespace kamo {

class Prompter;

struct StartupOptions {
    bool compact = true;
    CompactStepHook compactHook; // tests: fail or stop at a compaction step
    // Told what each step of the start is doing ("アーカイブを開いています…") when it begins, and a long one
    // ("アーカイブを検査しています…") every so often while it runs, so a splash window can say so and stay painted.
    std::function<void(const std::string& doing)> progress;
};

// What the start did, for callers that report it.
struct StartupReport {
    std::string restoredFrom; // file the missing archive was restored from; empty when none
    bool upgraded = false;    // the version upgrade ran
    bool created = false;     // a new, empty archive was created
    bool compacted = false;
    bool fullCheck = false; // the whole archive was read (integrity_check): it had no matching seal
};

// The single-instance guard: the lock, held as long as the returned object lives. Nothing, after
// "KamoMailはすでに実行されています。", when another copy runs; when that copy is still in a long
// step of its start, the message says which.
std::unique_ptr<InstanceLock> TakeInstanceLock(const AppFolders& folders, Prompter& prompter);

// Sets the settings, help and database paths in `settings`; restores an archive that went missing
// from its .New/.Bak; runs the version upgrade when the stored "Ver" asks for it (and writes the new
// "Ver"); creates the archive when there is none; checks it (in full when it has no matching seal or
// is to be compacted; a broken file is not opened: the user is told and offered the newest sound copy,
// and its seal is taken away); compacts it (failures there are silent and the start goes on); opens it and adds the
// tables it lacks beside the six (AddMissingTables). Nothing, after telling the user, when the program must end.
std::unique_ptr<SQLite::Database> PrepareArchive(const AppFolders& folders, Settings& settings, Prompter& prompter,
                                                 const StartupOptions& options = {}, StartupReport* report = nullptr);

} // namespace kamo
