#pragma once
// The catalogue's chapter of the terminal: the words of `kamomail --help` around the commands' own
// lines (the commands' rows, common/CommandTable.cpp, hold those), the usage line, and the refusals
// of the option parser (common/CommandOptions.h) and of the mail output's options.
namespace kamo {

enum class TerminalText {
    // kamomail --help.
    HelpHead,      // {1} the version
    WindowSummary, // the line of `kamomail` alone
    HelpFolders,   // the settings and data folders, after the commands
    // kamomail <command> --help and after a refusal.
    Usage,         // {1} the command line
    GroupWithHelp, // {1} an option group's caption, {2} its help
    // The parser's refusals.
    UnknownArgument,  // {1} the argument
    OptionNeeds,      // {1} the option, {2} the option it goes with
    NoMode,           // {1} the mode option, {2} the modes' names
    UnknownMode,      // {1} the value given, {2} the modes' names
    OneKeyOnly,       // a second key of `list`
    OneSelectionOnly, // a second selection of `export`
    // The mail output of `search` and `list`.
    BadOutputFormat, // {1} the value given
};

const char* TextOf(TerminalText code);

} // namespace kamo
