#pragma once
// The archive's upkeep as commands: today's backup (memBackUp_Make, `kamomail backup`) and database
// recreation (memDBEdit). Each takes the session, a prompter, a wait reporter and the view.
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include <SQLiteCpp/Database.h>

#include "upkeep/Recreation.h"

namespace kamo {

class ArchiveSession;
class ArchiveView;
class Prompter;
class WaitReporter;
struct TableCount;

// Makes today's backup under the wait window; its path, or nothing after telling the user why.
std::optional<std::filesystem::path> BackupCommand(ArchiveSession& session, Prompter& prompter, WaitReporter& wait);

// Asks, then recreates the archive (a backup first) and shows the view anew. False when the user
// said No or it failed (told; the archive is then as it was).
bool RecreateCommand(ArchiveSession& session, Prompter& prompter, WaitReporter& wait, ArchiveView& view,
                     const RecreateStepHook& hook = {});

// Writes every table as CSV into `folder`; false after telling the user why.
bool ExportCsvCommand(ArchiveSession& session, Prompter& prompter, WaitReporter& wait,
                      const std::filesystem::path& folder);

// What the export tells: the folder, then each table written (what it holds, its file, its rows).
std::string TablesExportedText(const std::filesystem::path& folder, const std::vector<TableCount>& counts);

// Reads such a folder back into the archive (rows not stored yet; files of derived tables are
// named and left unread), then makes the derived data again and shows the view anew. False when nothing was imported
// (told why).
bool ImportCsvCommand(ArchiveSession& session, Prompter& prompter, WaitReporter& wait, ArchiveView& view,
                      const std::filesystem::path& folder);

// What the import tells: the folder, then each table (rows added and already stored, or made again
// from the mail instead of read).
std::string TablesImportedText(const std::filesystem::path& folder, const std::vector<TableCount>& counts);

} // namespace kamo
