#pragma once
// The main window's filter commands: the editor (memFilter), the filter run (memFilterGo) and the
// filter subsystem's start-up routine. The window's slots call these.
#include <functional>

namespace kamo {

class frmFilter;
class frmKamoMail;

// memFilter: opens the editor modally; unless it was cancelled, stores the filters and runs them.
// `runner` shows the editor (default: exec); tests drive it instead.
void MemFilter(frmKamoMail& window, const std::function<int(frmFilter&)>& runner = {});

// memFilterGo: runs the filters under the wait window and shows the new filter data. False when
// the run failed (the previous filter data stays; the user is told).
bool MemFilterGo(frmKamoMail& window);

// The start-up routine: loads the Filter Table and the Read Filter Table.
void FilterStartUp(frmKamoMail& window);

} // namespace kamo
