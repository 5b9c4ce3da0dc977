#pragma once
// Every command of the program, the window's and the terminal's, declared once, in one row: the window
// control that runs it and where it sits (menu, place, caption, shortcut), its terminal name with its
// options and --help line, whether it writes and whether its terminal session compacts. The window
// builds its menus and command buttons from here, keeps the writing ones off while a backup is on
// display and refuses a control that is not declared here; the terminal dispatches, prints its help and
// its usage lines from here; tests hold the README's and the manual page's command lists to it. A new
// command is one row here and its handler, bound by name, in each front end that runs it.
#include <string>
#include <string_view>
#include <vector>

namespace kamo {

// The window's menus, in the order they are made; a command names the one it sits in by `menu`.
struct MenuDef {
    std::string_view menu = {};    // the menu's object name
    std::string_view control = {}; // its entry in the menu above, switched off by the control lock; empty: none
    std::string_view parent = {};  // the menu it opens from; empty: the menu bar
    std::string_view caption = {};
};

// The commands that sit in the button row under the lists, not in a menu.
inline constexpr std::string_view kButtonRow = "buttons";

struct CommandDef {
    std::string_view control = {};  // the window's button or menu entry that runs it; empty when none
    std::string_view terminal = {}; // `kamomail <terminal>`; empty when the terminal has no such command
    // Writes the archive (its mail, friends, filters or derived tables) or its backups: kept off while a
    // backup is on display, which is opened read-only.
    bool writes = false;
    // The terminal session compacts the archive before the command runs.
    bool compacts = false;
    // Only while a backup is on display (going back to the archive).
    bool backupViewOnly = false;
    std::string_view options = {}; // the terminal command's arguments, as its usage shows them
    std::string_view summary = {}; // what it does, in --help
    // The window: the menu (a MenuDef's `menu`) or kButtonRow; empty for a control made elsewhere.
    std::string_view menu = {};
    int place = 0; // its order there; the tens are groups, with a separator between them
    std::string_view caption = {};
    std::string_view toolTip = {};
    // A key ("Ctrl+Q", "F5") or the platform's standard one: "Copy", "SelectAll", "Find", "Delete",
    // "HelpContents", "Print".
    std::string_view shortcut = {};
    bool checkable = false;
};

const std::vector<CommandDef>& Commands();
const std::vector<MenuDef>& Menus();

// The command a window control runs, or nothing when the control runs none.
const CommandDef* FindWindowCommand(std::string_view control);
// The terminal command of that name (including "--help" and "--version"), or nothing.
const CommandDef* FindTerminalCommand(std::string_view name);
// "kamomail read [--postpet-dir DIR] ...": the command with its options.
std::string CommandLine(const CommandDef& command);
// "使い方: kamomail read ...": what a terminal command prints after a wrong argument.
std::string UsageText(std::string_view terminal);

} // namespace kamo
