#include "startup/TerminalCommands.h"

#include <iostream>
#include <utility>

#include "common/CommandTable.h"
#include "common/Messages.h"
#include "common/MessagesTerminal.h"
#include "common/Version.h"
#include "startup/ArchiveTerminalCommands.h"
#include "startup/ExportCommand.h"
#include "startup/ListCommand.h"
#include "startup/ReadCommand.h"
#include "startup/SearchCommand.h"

namespace kamo {
namespace {

int VersionCommand(const std::vector<std::string>&) {
    std::cout << "KamoMail Version " << VersionText() << '\n';
    return 0;
}

int HelpCommand(const std::vector<std::string>&) {
    std::cout << HelpText();
    return 0;
}

// Each terminal command of the table and the function that runs it.
const std::pair<std::string_view, TerminalHandler> kHandlers[] = {
    {"--version", VersionCommand}, {"--help", HelpCommand},     {"read", ReadCommand},     {"search", SearchCommand},
    {"list", ListCommand},         {"export", ExportCommand},   {"import", ImportCommand}, {"friends", FriendsCommand},
    {"backup", BackupCommand},     {"backups", BackupsCommand}, {"index", IndexCommand},   {"trash", TrashCommand},
};

} // namespace

TerminalHandler FindTerminalHandler(std::string_view name) {
    if (!FindTerminalCommand(name))
        return nullptr;
    for (const auto& [command, handler] : kHandlers)
        if (command == name)
            return handler;
    return nullptr;
}

std::string TerminalCommandNames() {
    std::string names;
    for (const auto& c : Commands())
        if (!c.terminal.empty())
            names += (names.empty() ? "" : ", ") + std::string(c.terminal);
    return names;
}

std::string HelpText() {
    // The summaries in one column; a longer command line is followed by two spaces.
    auto entry = [](const std::string& line, std::string_view summary) {
        constexpr std::size_t kColumn = 38;
        return line + std::string(line.size() + 2 < kColumn ? kColumn - line.size() : 2, ' ') + std::string(summary) +
               '\n';
    };
    std::string text =
        Say(TerminalText::HelpHead, {VersionText()}) + "\n\n" + entry("kamomail", TextOf(TerminalText::WindowSummary));
    for (const auto& c : Commands())
        if (!c.terminal.empty())
            text += entry(CommandLine(c), c.summary);
    text += "\n" + Say(TerminalText::HelpFolders) + "\n";
    return text;
}

std::optional<ParsedOptions> ParseArguments(std::string_view terminal, const std::vector<std::string>& args,
                                            std::ostream& err) {
    const CommandDef* command = FindTerminalCommand(terminal);
    if (!command)
        return std::nullopt; // only the table's commands have handlers
    ParsedOptions parsed = ParseOptions(*command, args);
    if (parsed.refusal) {
        RefuseArguments(terminal, *parsed.refusal, err);
        return std::nullopt;
    }
    return parsed;
}

int RefuseArguments(std::string_view terminal, const OptionRefusal& refusal, std::ostream& err) {
    const CommandDef* command = FindTerminalCommand(terminal);
    return RefuseArguments(terminal, command ? RefusalText(*command, refusal) : std::string(), err);
}

int RefuseArguments(std::string_view terminal, const std::string& words, std::ostream& err) {
    if (!words.empty())
        err << "kamomail " << terminal << ": " << words << '\n';
    err << UsageText(terminal) << '\n';
    return 2;
}

std::string CommandHelpText(std::string_view terminal) {
    return UsageText(terminal) + '\n' + OptionsText(terminal);
}

} // namespace kamo
