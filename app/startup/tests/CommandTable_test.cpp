// The command table is what the terminal runs and prints, and what the README lists.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "common/CommandTable.h"
#include "startup/TerminalCommands.h"

namespace kamo {
namespace {

std::set<std::string> TerminalNames() {
    std::set<std::string> names;
    for (const auto& c : Commands())
        if (!c.terminal.empty())
            names.insert(std::string(c.terminal));
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
            EXPECT_TRUE(c.options.empty() && c.summary.empty()) << c.control;
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

TEST(CommandTable, TheReadmeListsExactlyTheTerminalCommands) {
    std::ifstream in(std::string(KAMOMAIL_SOURCE_DIR) + "/README.md");
    ASSERT_TRUE(in);
    std::stringstream text;
    text << in.rdbuf();
    // The quick-start block: "    build/bin/kamomail NAME ..." one line per command.
    const std::regex line(R"(\n    build/bin/kamomail ([a-z-]+))");
    std::set<std::string> listed;
    const std::string readme = text.str();
    for (std::sregex_iterator it(readme.begin(), readme.end(), line), end; it != end; ++it)
        listed.insert((*it)[1].str());
    EXPECT_EQ(listed, TerminalNames());
}

// The manual page's synopsis: one entry per terminal command, with each of its options.
TEST(CommandTable, TheManualPageListsTheTerminalCommandsWithTheirOptions) {
    std::ifstream in(std::string(KAMOMAIL_SOURCE_DIR) + "/packaging/kamomail.1.in");
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
    const std::regex option(R"(--[a-z-]+)");
    for (const auto& c : Commands()) {
        if (c.terminal.empty())
            continue;
        const std::string options(c.options);
        for (std::sregex_iterator it(options.begin(), options.end(), option), end; it != end; ++it)
            EXPECT_NE(entries[std::string(c.terminal)].find(it->str()), std::string::npos)
                << c.terminal << " " << it->str();
    }
}

} // namespace
} // namespace kamo
