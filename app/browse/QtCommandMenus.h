#pragma once
// The window's commands where the command table (common/CommandTable.h) places them: the menus with
// their entries, and the row of command buttons. Each entry and button runs the handler the window binds
// to its control name; each is registered with the control lock.
#include <QString>
#include <functional>
#include <map>
#include <string_view>

class QHBoxLayout;
class QMenuBar;
class QObject;
class QWidget;

namespace kamo {

class QtCommandRegistry;

// The window's handler of each command control.
using CommandSlots = std::map<std::string_view, std::function<void()>>;

// Every menu of the table in `bar` and every menu entry in its menu (owned by `owner`). Throws
// std::logic_error for an entry without a handler, so no declared command is silently missing.
void BuildCommandMenus(QMenuBar& bar, QObject& owner, QtCommandRegistry& registry, const CommandSlots& handlers);

// The buttons of kButtonRow in their order, a stretch between groups, as children of `parent`.
QHBoxLayout* BuildCommandButtons(QWidget& parent, QtCommandRegistry& registry, const CommandSlots& handlers);

} // namespace kamo
