#pragma once
// How every terminal command starts: the instance lock, the archive made ready, the settings read
// and the filter tables loaded, as the window program does. Messages go where the caller's prompter
// sends them (TerminalPrompter: results on standard output, errors on standard error); a question is
// answered No (nothing is deleted or restored unasked).
#include <iosfwd>
#include <memory>
#include <string>

#include "common/Prompter.h"
#include "db/ArchiveSession.h"

namespace kamo {

// Null after saying why on `err` (another copy runs, the archive or the settings failed). The archive
// is compacted first when the command table says so for `command`.
std::unique_ptr<ArchiveSession> StartTerminalSession(Prompter& prompter, std::ostream& err, const std::string& command);

} // namespace kamo
