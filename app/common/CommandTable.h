#pragma once
// Every command of the program, the window's and the terminal's, declared once: what it is called,
// whether it writes, how its terminal session starts, its line in --help. The window keeps the writing
// ones off while a backup is on display and refuses a control that is not declared here; the terminal
// dispatches and prints its help from here; a test holds the README's command list to it. A new
// command is one line here and its handler in the front end that runs it.
#include <string_view>
#include <vector>

namespace kamo {

struct CommandDef {
    std::string_view control;  // the window's button or menu entry that runs it; empty when none
    std::string_view terminal; // `kamomail <terminal>`; empty when the terminal has no such command
    // Writes the archive (its mail, friends, filters or derived tables) or its backups: kept off while a
    // backup is on display, which is opened read-only.
    bool writes = false;
    // The terminal session compacts the archive before the command runs.
    bool compacts = false;
    // Only while a backup is on display (going back to the archive).
    bool backupViewOnly = false;
    std::string_view usage; // the terminal command's line in --help
};

const std::vector<CommandDef>& Commands();

// The command a window control runs, or nothing when the control runs none.
const CommandDef* FindWindowCommand(std::string_view control);
// The terminal command of that name (including "--help" and "--version"), or nothing.
const CommandDef* FindTerminalCommand(std::string_view name);

} // namespace kamo
