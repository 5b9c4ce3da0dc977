#pragma once
// Creating the archive file and bringing an archive of an older version up to the current tables.
#include <filesystem>

#include <SQLiteCpp/Database.h>

namespace kamo {

class Prompter;

// Builds a new, empty archive with the six tables and the added ones (Schema.h) at `path`. When a
// file is already there the user is asked "Fileは既に存在します。削除しますか？" ("Table Create"); No
// leaves it untouched and returns false. The new archive is built beside the old file and renamed over it only when
// complete, so a failed creation (thrown as SQLite::Exception or std::filesystem::filesystem_error) leaves the old file
// as it was.
bool CreateDatabase(const std::filesystem::path& path, Prompter& prompter);

// Re-creates every table (the six and the added ones), column, index and trigger of the current
// schema that the archive lacks, keeping every row (a table that lacks columns is rebuilt in the
// current column order, columns unknown to this version kept at its end). One transaction: on failure nothing changes.
// Returns whether anything changed; on an archive that is already current it writes nothing at all.
bool UpgradeArchive(SQLite::Database& db);

} // namespace kamo
