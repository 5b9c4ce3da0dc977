// The map a newcomer reads first names only what is there: every file, folder, type and function in
// backticks in docs/architecture.md exists in the tree.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>

namespace kamo {
namespace {

namespace fs = std::filesystem;

const fs::path kRoot = KAMOMAIL_SOURCE_DIR;

std::string Read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Every identifier of the sources (C++ outside comments, CMake, scripts), once.
std::set<std::string> SourceWords() {
    std::set<std::string> words;
    const std::regex word("[A-Za-z_][A-Za-z0-9_]*");
    for (const char* top : {"app", "library", "tools", "bench", "packaging"}) {
        for (const auto& entry : fs::recursive_directory_iterator(kRoot / top)) {
            const std::string ext = entry.path().extension().string();
            if (!entry.is_regular_file() || (ext != ".h" && ext != ".cpp" && ext != ".c" && ext != ".txt" &&
                                             ext != ".map" && ext != ".in" && ext != ".cmake"))
                continue;
            std::string text = Read(entry.path());
            // Comments name things that may be gone; only code counts.
            if (ext == ".h" || ext == ".cpp" || ext == ".c")
                text = std::regex_replace(text, std::regex("//[^\n]*"), "");
            for (std::sregex_iterator it(text.begin(), text.end(), word), end; it != end; ++it)
                words.insert(it->str());
        }
    }
    return words;
}

// Where a path named in the map may live: from the root, or inside app/ (the map names app's
// folders as `db/...`).
bool PathExists(const std::string& path) {
    for (const fs::path& base : {kRoot, kRoot / "app"})
        if (fs::exists(base / path))
            return true;
    return false;
}

TEST(DocsMap, EveryNameInBackticksExistsInTheTree) {
    const std::string map = Read(kRoot / "docs" / "architecture.md");
    ASSERT_FALSE(map.empty());
    const std::set<std::string> words = SourceWords();
    const std::regex ticked("`([^`\n]+)`");
    const std::regex identifier("[A-Za-z_][A-Za-z0-9_]*");
    const std::regex sourcePath(R"([A-Za-z0-9_./<>-]+(/|\.h|\.cpp|\.txt|\.md))");
    int checked = 0;
    for (std::sregex_iterator it(map.begin(), map.end(), ticked), end; it != end; ++it) {
        std::string name = (*it)[1].str();
        if (std::regex_match(name, sourcePath)) {
            if (name.find('<') != std::string::npos)
                continue; // a pattern such as lib/<arch>/kamomail
            EXPECT_TRUE(PathExists(name)) << name;
            ++checked;
            continue;
        }
        // A member or a call: Class::Member(), Function().
        if (name.size() > 2 && name.compare(name.size() - 2, 2, "()") == 0)
            name.resize(name.size() - 2);
        std::vector<std::string> parts;
        for (size_t start = 0;;) {
            const size_t colons = name.find("::", start);
            parts.push_back(name.substr(start, colons - start));
            if (colons == std::string::npos)
                break;
            start = colons + 2;
        }
        bool allIdentifiers = true;
        for (const auto& p : parts)
            allIdentifiers = allIdentifiers && std::regex_match(p, identifier);
        if (!allIdentifiers)
            continue; // a command line, a file of the user's, a message
        for (const auto& p : parts) {
            EXPECT_TRUE(words.count(p)) << "`" << (*it)[1].str() << "`: no " << p << " in the sources";
            ++checked;
        }
    }
    EXPECT_GT(checked, 100); // the map names the code; a map without names would pass for nothing
}

} // namespace
} // namespace kamo
