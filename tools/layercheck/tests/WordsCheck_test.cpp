// The literal scanner over a table of sources, and the check on a small tree: words in a logic file
// are found, the catalogue, windows, tests and listed content are not, a stale listing is.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <random>

#include "WordsCheck.h"

namespace fs = std::filesystem;
using layercheck::CheckWords;
using layercheck::NonAsciiLiterals;
using layercheck::ParseWordsList;

namespace {

TEST(WordsCheck, FindsTheLinesOfNonAsciiLiteralsOnly) {
    struct Case {
        const char* source;
        std::vector<int> lines;
    };
    const std::vector<Case> cases{
        {"auto a = \"ascii\";\nauto b = \"日本語\";\n", {2}},
        {"// \"日本語\" in a comment\nint x;\n", {}},
        {"/* \"日本語\"\n still comment */ auto s = \"x\";\nauto t = \"、\";\n", {3}},
        {"auto s = \"a \\\" 語\";\n", {1}},               // an escaped quote does not end the literal
        {"char q = '\"'; auto s = \"語\";\n", {1}},       // a quote as a character
        {"auto r = R\"(語\n)\"; auto s = \"x\";\n", {1}}, // a raw string, from its first line
        {"auto r = R\"x()\" 語)x\";\n", {1}},             // its delimiter holds the quote
        {"int RX = 1; auto s = \"ok\"; // 語\n", {}},
        {"auto a = \"語\", b = \"語\";\nauto c = \"x\";\n", {1}}, // one line named once
    };
    for (const auto& c : cases)
        EXPECT_EQ(NonAsciiLiterals(c.source), c.lines) << c.source;
}

TEST(WordsCheck, ATreeKeepsItsWordsAtTheEdgesAndItsListTrue) {
    std::random_device rd;
    const fs::path dir = fs::temp_directory_path() / ("wordscheck-" + std::to_string(rd()));
    auto write = [&](const std::string& relative, const std::string& text) {
        fs::create_directories((dir / relative).parent_path());
        std::ofstream(dir / relative) << text;
    };
    write("common/Messages.cpp", "auto a = \"語\";\n");
    write("common/MessagesRead.cpp", "auto a = \"語\";\n");
    write("common/CommandTable.cpp", "auto a = \"語\";\n");
    write("browse/frmKamoMail.cpp", "auto a = \"語\";\n");
    write("browse/QtPane.cpp", "auto a = \"語\";\n");
    write("browse/tests/A_test.cpp", "auto a = \"語\";\n");
    write("export/HtmlArchive.cpp", "auto a = \"語\";\n");
    write("import/Clean.cpp", "auto a = \"ascii\"; // 語\n");
    std::vector<std::string> errors;
    const auto listed = ParseWordsList("# content\nexport/HtmlArchive.cpp  the archive's pages\n", errors);
    EXPECT_TRUE(errors.empty());
    EXPECT_TRUE(CheckWords(dir, listed).empty());

    write("import/MailRead.cpp", "int x;\nauto a = \"読み込みました\";\n");
    write("browse/Messages.cpp", "auto a = \"語\";\n"); // the catalogue is common's only
    auto problems = CheckWords(dir, listed);
    std::sort(problems.begin(), problems.end());
    ASSERT_EQ(problems.size(), 2u);
    EXPECT_EQ(problems[0].rfind("browse/Messages.cpp:1: ", 0), 0u) << problems[0];
    EXPECT_EQ(problems[1].rfind("import/MailRead.cpp:2: ", 0), 0u) << problems[1];

    fs::remove(dir / "import/MailRead.cpp");
    fs::remove(dir / "browse/Messages.cpp");
    write("export/HtmlArchive.cpp", "auto a = \"<html>\";\n");
    EXPECT_EQ(CheckWords(dir, listed),
              std::vector<std::string>{"words.txt: export/HtmlArchive.cpp is listed but holds no such text"});
    fs::remove_all(dir);
}

TEST(WordsCheck, AListedFileSaysWhyAndOnce) {
    std::vector<std::string> errors;
    ParseWordsList("a.cpp reason\nb.cpp\na.cpp again\n", errors);
    EXPECT_EQ(errors, (std::vector<std::string>{"words.txt:2: b.cpp says not why", "words.txt:3: a.cpp listed twice"}));
}

} // namespace
