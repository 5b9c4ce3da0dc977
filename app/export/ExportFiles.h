#pragma once
// How the exports put their files down: each file written the one way (FileWriter: a private
// temporary renamed into place, never through a link), each folder they make private (0700).
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>

#include "common/Failure.h"
#include "common/MailRecord.h"
#include "common/WaitReporter.h"

namespace kamo {

// Throws the Failure `code` with the path and the system's words for `error`.
[[noreturn]] void FailExport(FailureCode code, const std::filesystem::path& path, int error);

// Writes a whole file with `mode` (at most 0600) and `modified` as its modification time (none: now),
// or throws; the temporary never outlives a failure, a link at the name is refused.
void WriteExportFile(const std::filesystem::path& path, std::string_view bytes, unsigned mode,
                     std::time_t modified = -1, const std::filesystem::path& tempFolder = {});

// Makes `folder` and the folders above it that are missing, each 0700. With `ownOnly` the folder
// must be a real folder, not a link to one: a folder inside an export that a link stands in for
// would send the files elsewhere. Throws when it cannot.
void MakeExportFolder(const std::filesystem::path& folder, bool ownOnly = false);

// "<date>-<time>-<sub-key>-<s|r>-<key>" (the key: the 16 hex digits of MailKeyHash): a mail's own
// name (without its extension) in the eml and HTML exports, the same on every export, so exporting
// again replaces the mail's own file. MailFileNames makes it unique.
std::string MailFileStem(const MailRecord& mail);

// The name an older version gave the same mail: the key's hash cut to 8 digits. Such a file is the
// mail's own from an earlier export, taken away once the mail has its file under the current name.
std::string EarlierMailFileStem(const std::string& stem);

// Takes away a file (or folder) an earlier export left under a name no longer used; a link there is
// taken away itself, never followed. Nothing there: nothing done.
void RemoveEarlierFile(const std::filesystem::path& path);

// The names the mails of one export take in one folder: the mail's own name while no other mail of
// the export has it, else the first free "<own>-2", "<own>-3", ... Two mails never share a file,
// whatever their keys' hashes, and the same mails exported again in the same order get the same
// names (a file an earlier export left under a name is that mail's and is replaced). Own names end in
// 16 hex digits, so no suffixed name is ever another mail's own.
class MailFileNames {
public:
    std::string Claim(const std::string& own);

private:
    std::unordered_set<std::string> taken_;
};

// The wait window's count line and bar: "1,234 / 5,678 件" (the total when known).
void ShowExportCount(WaitReporter& wait, int64_t done, const std::optional<int64_t>& total);

} // namespace kamo
