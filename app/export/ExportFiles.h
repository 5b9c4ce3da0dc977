#pragma once
// How the exports put their files down: each file written the one way (FileWriter: a private
// temporary renamed into place, never through a link), each folder they make private (0700).
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

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

// "<date>-<time>-<sub-key>-<s|r>-<key>": the name of a mail's file (without its extension) in the eml
// and HTML exports, the same on every export, so exporting again replaces the mail's own file.
std::string MailFileStem(const MailRecord& mail);

// The wait window's count line and bar: "1,234 / 5,678 件" (the total when known).
void ShowExportCount(WaitReporter& wait, int64_t done, const std::optional<int64_t>& total);

} // namespace kamo
