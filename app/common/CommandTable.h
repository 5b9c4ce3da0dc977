#pragma once
// Every command of the program, the window's and the terminal's, declared once, in one row: the window
// control that runs it and where it sits (menu, place, caption, shortcut), its terminal name with its
// options (each with its value, the formats that take it, what it excludes and its help line) and
// --help line, whether it writes and whether its terminal session compacts. The window builds its menus
// and command buttons from here, keeps the writing ones off while a backup is on display and refuses a
// control that is not declared here; the terminal parses every command's arguments
// (common/CommandOptions.h), dispatches, prints its help and its usage lines from here; the build makes
// the manual page's synopsis from here and tests hold the README's command list to it. A new command is
// one row here and its handler, bound by name, in each front end that runs it; a new export format is
// one mode of `export` here and its writer.
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

// One option of a terminal command: a flag (`--all`) or an option with a value (`--postpet-dir DIR`,
// also `--postpet-dir=DIR`).
struct OptionDef {
    std::string_view name = {};
    // The value's placeholder in usage lines ("DIR"; "text|json" names the words it takes); empty: a flag.
    std::string_view value = {};
    // Options that exclude each other share a group (OptionGroupDef of the command): one of them, once.
    // An option of no group may be given again; its last value counts.
    std::string_view group = {};
    std::string_view needs = {}; // an option it is given only together with
    std::string_view help = {};  // its line in `kamomail <command> --help`; empty for a command without one
};

// Options of a command that exclude each other.
struct OptionGroupDef {
    std::string_view name = {};
    // Usage lines show "[caption]" and `--help` names its options under it; empty: usage lines show the
    // options themselves, "[--restore | --empty]".
    std::string_view caption = {};
    std::string_view help = {};
    std::string_view twice = {}; // the words refusing a second option of the group; empty: an unknown argument's
    bool required = false;       // one of them must be given
};

// A mode of a terminal command, chosen by the value of its mode option (`export --format mbox`): the
// operand it takes and the options it takes beside the command's own. The options shared by several
// modes are declared once and joined into each (CommandTable.cpp).
struct ModeDef {
    std::string_view name = {};
    std::string_view operand = {}; // its operand's placeholder, in place of the command's
    std::vector<OptionDef> options = {};
    std::string_view help = {};
};

// What a terminal command takes besides its options.
enum class Operands { None, One, Many };

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
    // The terminal command's arguments: the options every mode takes, the groups among them, the option
    // that chooses a mode (one of `options`) and the modes, the operands.
    std::vector<OptionDef> options = {};
    std::vector<OptionGroupDef> groups = {};
    std::string_view modeOption = {};
    std::vector<ModeDef> modes = {};
    Operands operands = Operands::None;
    std::string_view operand = {}; // its placeholder; "TERM" shows as "TERM..." when it takes many
    bool helpOption = false;       // `kamomail <terminal> --help` prints its usage and options
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
// The mode of that name, or nothing.
const ModeDef* FindMode(const CommandDef& command, std::string_view name);
// "mbox, maildir, ...": the names of the command's modes, for messages.
std::string ModeNames(const CommandDef& command);
// The group of that name, or nothing.
const OptionGroupDef* FindGroup(const CommandDef& command, std::string_view name);

// "kamomail read [--postpet-dir DIR] ...": the command with its options; a command of several modes
// shows "--format FORMAT ..." (its modes are lines of UsageText).
std::string CommandLine(const CommandDef& command);
// "使い方: kamomail read ...": what a terminal command prints after a wrong argument; a command of
// several modes adds a line per mode.
std::string UsageText(std::string_view terminal);
// The lines of `kamomail <terminal> --help` after its usage: each option with its help line.
std::string OptionsText(std::string_view terminal);
// The terminal commands as the manual page's synopsis lists them: one entry per command, per mode of a
// command with several, and per `<command> --help`, in roff.
std::string ManSynopsis();

} // namespace kamo
