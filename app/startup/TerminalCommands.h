#pragma once
// The terminal's side of the command table (common/CommandTable.h): the function that runs each
// terminal command, its dispatch, its arguments and its help.
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/CommandOptions.h"

namespace kamo {

using TerminalHandler = int (*)(const std::vector<std::string>& args);

// The function that runs the terminal command of that name, or nothing.
TerminalHandler FindTerminalHandler(std::string_view name);

// "read, search, ...": the terminal's commands, for messages.
std::string TerminalCommandNames();

// The text of `kamomail --help`.
std::string HelpText();

// The arguments of the terminal command of that name, parsed by its row (common/CommandOptions.h). A
// refusal is told on `err` ("kamomail <terminal>: " its words, then the command's usage) and gives
// nothing: the command then exits 2.
std::optional<ParsedOptions> ParseArguments(std::string_view terminal, const std::vector<std::string>& args,
                                            std::ostream& err);
// Tells a refusal the command found itself (a value it cannot use) the same way, in the parser's words
// or its own; returns 2.
int RefuseArguments(std::string_view terminal, const OptionRefusal& refusal, std::ostream& err);
int RefuseArguments(std::string_view terminal, const std::string& words, std::ostream& err);
// `kamomail <terminal> --help`: its usage and its options.
std::string CommandHelpText(std::string_view terminal);

} // namespace kamo
