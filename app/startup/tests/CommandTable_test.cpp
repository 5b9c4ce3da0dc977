// The command table is what the terminal runs and prints, and what the README lists.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "common/CommandTable.h"
#include "startup/ArchiveTerminalCommands.h"
#include "startup/ExportCommand.h"
#include "startup/ListCommand.h"
#include "startup/ReadCommand.h"
#include "startup/SearchCommand.h"
#include "startup/TerminalCommands.h"
#include "testsupport/TestSupport.h"

namespace kamo {
namespace {

std::set<std::string> TerminalNames() {
    std::set<std::string> names;
    for (const auto& c : Commands())
        if (!c.terminal.empty())
            names.insert(std::string(c.terminal));
    return names;
}

// Every option a command takes, in any of its modes, and the names of its modes.
std::set<std::string> OptionNames(const CommandDef& c) {
    std::set<std::string> names;
    for (const auto& o : c.options)
        names.insert(std::string(o.name));
    for (const auto& m : c.modes) {
        names.insert(std::string(m.name));
        for (const auto& o : m.options)
            names.insert(std::string(o.name));
    }
    return names;
}

TEST(CommandTable, EveryCommandIsDeclaredOnceAndEveryTerminalOneRuns) {
    std::set<std::string> controls, terminal;
    const std::string help = HelpText();
    for (const auto& c : Commands()) {
        EXPECT_FALSE(c.control.empty() && c.terminal.empty()) << "a command nobody can run";
        if (!c.control.empty()) {
            EXPECT_TRUE(controls.insert(std::string(c.control)).second) << c.control << " declared twice";
        }
        if (c.terminal.empty()) {
            EXPECT_TRUE(c.options.empty() && c.modes.empty() && c.summary.empty()) << c.control;
            EXPECT_FALSE(c.compacts) << c.control << ": only a terminal session compacts here";
            continue;
        }
        EXPECT_TRUE(terminal.insert(std::string(c.terminal)).second) << c.terminal << " declared twice";
        EXPECT_NE(FindTerminalHandler(c.terminal), nullptr) << c.terminal << " has no handler";
        ASSERT_FALSE(c.summary.empty()) << c.terminal;
        const std::size_t at = help.find("\n" + CommandLine(c) + "  ");
        ASSERT_NE(at, std::string::npos) << c.terminal;
        EXPECT_NE(help.find(std::string(c.summary) + "\n", at), std::string::npos) << c.terminal;
        // A command that writes the archive and compacts it may take a while; a quick look never compacts.
        EXPECT_TRUE(!c.compacts || c.writes) << c.terminal;
    }
    EXPECT_EQ(FindTerminalHandler("nonsense"), nullptr);
    EXPECT_EQ(FindWindowCommand("lstSubject"), nullptr);
    EXPECT_EQ(UsageText("read"), "使い方: kamomail read [--postpet-dir DIR] [--all] [--watch [--settle-ms N]]");
}

TEST(CommandTable, EveryMenuEntryHasAMenuACaptionAndItsOwnPlace) {
    std::set<std::pair<std::string, int>> places;
    for (const auto& c : Commands()) {
        if (c.menu.empty()) {
            EXPECT_TRUE(c.caption.empty() && c.shortcut.empty()) << c.control << ": a caption nobody shows";
            continue;
        }
        EXPECT_FALSE(c.control.empty() || c.caption.empty()) << c.menu;
        const bool known = c.menu == kButtonRow || std::any_of(Menus().begin(), Menus().end(),
                                                               [&](const MenuDef& m) { return m.menu == c.menu; });
        EXPECT_TRUE(known) << c.control << " in an unknown menu " << c.menu;
        EXPECT_TRUE(places.emplace(std::string(c.menu), c.place).second) << c.control << " shares its place";
    }
    for (const auto& m : Menus())
        EXPECT_TRUE(m.parent.empty() ||
                    std::any_of(Menus().begin(), Menus().end(), [&](const MenuDef& p) { return p.menu == m.parent; }))
            << m.menu;
}

TEST(CommandTable, TheReadmeListsExactlyTheTerminalCommandsWithTheirOptions) {
    std::ifstream in(std::string(KAMOMAIL_SOURCE_DIR) + "/README.md");
    ASSERT_TRUE(in);
    std::stringstream text;
    text << in.rdbuf();
    // The quick-start block: "    build/bin/kamomail NAME ..." one line per command.
    const std::regex line(R"(\n    build/bin/kamomail ([a-z-]+)[^\n]*)");
    std::set<std::string> listed;
    std::map<std::string, std::string> lines; // command -> its lines
    const std::string readme = text.str();
    for (std::sregex_iterator it(readme.begin(), readme.end(), line), end; it != end; ++it) {
        listed.insert((*it)[1].str());
        lines[(*it)[1].str()] += (*it)[0].str();
    }
    EXPECT_EQ(listed, TerminalNames());
    for (const auto& c : Commands())
        for (const std::string& option : OptionNames(c))
            EXPECT_NE(lines[std::string(c.terminal)].find(option), std::string::npos) << c.terminal << " " << option;
}

// The manual page's synopsis, as the build made it: one entry per terminal command, with each of its
// options and modes.
TEST(CommandTable, TheManualPageListsTheTerminalCommandsWithTheirOptions) {
    std::ifstream in(std::filesystem::path(KAMOMAIL_BUILD_DIR) / "packaging" / "kamomail.1");
    ASSERT_TRUE(in);
    std::stringstream text;
    text << in.rdbuf();
    std::string page = text.str();
    const std::size_t from = page.find(".SH SYNOPSIS"), to = page.find(".SH DESCRIPTION");
    ASSERT_TRUE(from != std::string::npos && to != std::string::npos);
    std::string synopsis = page.substr(from, to - from);
    // Plain words: no escapes, fonts or macros.
    synopsis = std::regex_replace(synopsis, std::regex(R"(\\f[BIPR])"), "");
    synopsis = std::regex_replace(synopsis, std::regex(R"(\\-)"), "-");
    synopsis = std::regex_replace(synopsis, std::regex(R"((^|\n)\.[A-Z]+ ?)"), "$1");
    std::map<std::string, std::string> entries; // command -> its words
    std::stringstream lines(synopsis);
    std::string line, current;
    while (std::getline(lines, line)) {
        if (line.rfind("kamomail ", 0) == 0) {
            std::stringstream words(line.substr(9));
            words >> current;
        }
        if (!current.empty())
            entries[current] += line + ' ';
        if (line == ".br")
            current.clear();
    }
    std::set<std::string> listed;
    for (const auto& [name, words] : entries)
        listed.insert(name);
    EXPECT_EQ(listed, TerminalNames());
    for (const auto& c : Commands()) {
        if (c.terminal.empty())
            continue;
        for (const std::string& option : OptionNames(c))
            EXPECT_NE(entries[std::string(c.terminal)].find(option), std::string::npos) << c.terminal << " " << option;
        for (const auto& mode : c.modes)
            EXPECT_NE(entries[std::string(c.terminal)].find(std::string(c.modeOption) + " " + std::string(mode.name)),
                      std::string::npos)
                << c.terminal << " " << mode.name;
    }
}

// What the parser and the usage lines rely on: an option is one thing wherever it is declared, its
// group and what it needs are the command's, and a command with `--help` explains each option.
TEST(CommandTable, EveryOptionIsDeclaredSoundly) {
    for (const auto& c : Commands()) {
        std::map<std::string_view, const OptionDef*> byName;
        std::vector<const std::vector<OptionDef>*> lists = {&c.options};
        for (const auto& m : c.modes)
            lists.push_back(&m.options);
        for (const auto* options : lists)
            for (const auto& o : *options) {
                EXPECT_EQ(o.name.rfind("--", 0), 0u) << c.terminal << " " << o.name;
                const auto [it, first] = byName.emplace(o.name, &o);
                EXPECT_TRUE(first ||
                            (it->second->value == o.value && it->second->group == o.group && options != lists[0]))
                    << c.terminal << " " << o.name << " declared twice or two ways";
                EXPECT_TRUE(o.group.empty() || FindGroup(c, o.group)) << c.terminal << " " << o.name;
                EXPECT_TRUE(!c.helpOption || !o.help.empty() || o.name == c.modeOption) << c.terminal << " " << o.name;
            }
        for (const auto& [name, o] : byName)
            EXPECT_TRUE(o->needs.empty() || byName.count(o->needs)) << c.terminal << " " << name;
        EXPECT_EQ(c.modes.empty(), c.modeOption.empty()) << c.terminal;
        EXPECT_TRUE(c.modeOption.empty() || (byName.count(c.modeOption) && !byName[c.modeOption]->value.empty()))
            << c.terminal;
        EXPECT_EQ(c.operands == Operands::None, c.operand.empty()) << c.terminal;
    }
}

// A wrong argument is told the same way by every command: "kamomail NAME: " the parser's words, then
// the command's usage, exit status 2, before any session starts (an empty data folder would show one).
TEST(CommandTable, EveryCommandRefusesAWrongArgumentInTheSameWords) {
    test::TempDir dir;
    setenv("KAMOMAIL_CONFIG_DIR", (dir / "config").c_str(), 1);
    setenv("KAMOMAIL_DATA_DIR", (dir / "data").c_str(), 1);
    using Run = int (*)(const std::vector<std::string>&, std::ostream&, std::ostream&);
    const std::map<std::string, Run> runs = {
        {"read", [](auto& a, auto& o, auto& e) { return RunReadCommand(a, o, e); }},
        {"search", [](auto& a, auto& o, auto& e) { return RunSearchCommand(a, o, e, false); }},
        {"list", RunListCommand},
        {"export", [](auto& a, auto& o, auto& e) { return RunExportCommand(a, o, e, false); }},
        {"import", RunTableImportCommand},
        {"friends", RunFriendsCommand},
        {"backup", RunBackupCommand},
        {"backups", RunBackupsCommand},
        {"trash", RunTrashCommand},
        {"index", [](auto& a, auto& o, auto& e) { return RunIndexCommand(a, o, e, false); }},
    };
    for (const auto& c : Commands()) {
        if (c.terminal.empty() || c.terminal.rfind("--", 0) == 0)
            continue;
        const std::string name(c.terminal);
        ASSERT_TRUE(runs.count(name)) << name;
        std::vector<std::string> args;
        if (!c.modes.empty())
            args = {std::string(c.modeOption), std::string(c.modes.front().name)};
        args.push_back("--no-such-option");
        std::ostringstream out, err;
        EXPECT_EQ(runs.at(name)(args, out, err), 2) << name;
        EXPECT_EQ(err.str(), "kamomail " + name + ": 不明な引数です: --no-such-option\n" + UsageText(name) + "\n");
        EXPECT_EQ(out.str(), "") << name;
    }
    EXPECT_FALSE(std::filesystem::exists(dir / "data"));
}

// Each format of `export` has its writer: without a target every one asks for it (a format without a
// writer would say it cannot write).
TEST(CommandTable, EveryExportFormatHasItsWriter) {
    test::TempDir dir;
    setenv("KAMOMAIL_CONFIG_DIR", (dir / "config").c_str(), 1);
    setenv("KAMOMAIL_DATA_DIR", (dir / "data").c_str(), 1);
    const CommandDef* exportCommand = FindTerminalCommand("export");
    ASSERT_NE(exportCommand, nullptr);
    ASSERT_FALSE(exportCommand->modes.empty());
    for (const auto& mode : exportCommand->modes) {
        std::ostringstream out, err;
        EXPECT_EQ(RunExportCommand({"--format", std::string(mode.name)}, out, err, false), 2) << mode.name;
        EXPECT_EQ(err.str().rfind("kamomail export: 書き出し先を指定して下さい。\n使い方: ", 0), 0u) << err.str();
    }
}

} // namespace
} // namespace kamo
