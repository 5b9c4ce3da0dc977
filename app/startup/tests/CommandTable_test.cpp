// The command table is what the terminal runs and prints, and what the README lists.
#include <gtest/gtest.h>

#include <fstream>
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
            EXPECT_TRUE(c.usage.empty()) << c.control;
            EXPECT_FALSE(c.compacts) << c.control << ": only a terminal session compacts here";
            continue;
        }
        EXPECT_TRUE(terminal.insert(std::string(c.terminal)).second) << c.terminal << " declared twice";
        EXPECT_NE(FindTerminalHandler(c.terminal), nullptr) << c.terminal << " has no handler";
        ASSERT_FALSE(c.usage.empty()) << c.terminal;
        EXPECT_EQ(c.usage.rfind("kamomail " + std::string(c.terminal), 0), 0u) << c.usage;
        EXPECT_NE(help.find(std::string(c.usage) + "\n"), std::string::npos) << c.terminal;
        // A command that writes the archive and compacts it may take a while; a quick look never compacts.
        EXPECT_TRUE(!c.compacts || c.writes) << c.terminal;
    }
    EXPECT_EQ(FindTerminalHandler("nonsense"), nullptr);
    EXPECT_EQ(FindWindowCommand("lstSubject"), nullptr);
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

} // namespace
} // namespace kamo
