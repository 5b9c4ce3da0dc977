#pragma once
// The filter commands that need no window: the filter run (memFilterGo) and the filter subsystem's
// start-up routine.
#include <optional>
#include <string>

#include "common/Failure.h"

namespace kamo {

class ArchiveSession;
class ArchiveView;
class Prompter;
class WaitReporter;

// memFilterGo: runs the filters under the wait window and shows the new filter data. False when
// the run failed (the previous filter data stays; the user is told).
bool MemFilterGo(ArchiveSession& session, Prompter& prompter, WaitReporter& wait, ArchiveView& view);

// How many mails each view filter holds now, one line per filter in table order ("title: N 件").
std::string FilterCountsText(ArchiveSession& session);

// The start-up routine: loads the Filter Table and the Read Filter Table. The failure
// (FiltersNotLoaded, with SQLite's reason) when they could not be read; the tables then hold what was
// read before the error.
std::optional<Failure> FilterStartUp(ArchiveSession& session);

} // namespace kamo
