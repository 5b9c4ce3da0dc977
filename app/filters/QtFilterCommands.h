#pragma once
// memFilter, the filter editor as the main window opens it.
#include <functional>

class QWidget;

namespace kamo {

class ArchiveSession;
class ArchiveView;
class Prompter;
class WaitReporter;
class frmFilter;

// Opens the editor modally over `parent`; unless it was cancelled, stores the filters and runs them
// (memFilterGo). `runner` shows the editor (default: exec); tests drive it instead.
void MemFilter(ArchiveSession& session, Prompter& prompter, WaitReporter& wait, ArchiveView& view, QWidget* parent,
               const std::function<int(frmFilter&)>& runner = {});

} // namespace kamo
