#pragma once
// The start of a terminal command that reads or exports the archive: the instance lock and the
// archive made ready as at every start, compacted only when the command table says so for `command`
// (a quick command must not copy a large archive first). Nothing, after telling the user on `err`,
// when another copy runs or the archive cannot be opened.
#include <cstdint>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>

#include "db/ArchiveSession.h"

namespace kamo {

std::unique_ptr<ArchiveSession> StartCommandSession(std::ostream& err, const std::string& command);

// A filter named on the command line by its number or, failing that, by its name (tblFilter_Header).
std::optional<int64_t> FindFilterNumber(SQLite::Database& db, const std::string& wanted);

} // namespace kamo
