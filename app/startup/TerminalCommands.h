#pragma once
// The terminal's side of the command table (common/CommandTable.h): the function that runs each
// terminal command, its dispatch and its help.
#include <string>
#include <string_view>
#include <vector>

namespace kamo {

using TerminalHandler = int (*)(const std::vector<std::string>& args);

// The function that runs the terminal command of that name, or nothing.
TerminalHandler FindTerminalHandler(std::string_view name);

// "read, search, ...": the terminal's commands, for messages.
std::string TerminalCommandNames();

// The text of `kamomail --help`.
std::string HelpText();

} // namespace kamo
