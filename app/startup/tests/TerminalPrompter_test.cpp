// What a terminal command says and answers: messages on its output, errors and questions on its
// error stream, every question answered No, so a start on a broken archive changes nothing.
#include <gtest/gtest.h>

#include <sstream>

#include "db/ArchiveSession.h"
#include "db/Schema.h"
#include "startup/TerminalPrompter.h"
#include "testsupport/TestSupport.h"

namespace kamo {
namespace {

namespace fs = std::filesystem;

TEST(TerminalPrompter, MessagesErrorsAndQuestionsGoWhereTheyBelong) {
    std::ostringstream out, err;
    TerminalPrompter prompter(out, err);
    prompter.Message("一通目");
    EXPECT_FALSE(prompter.failed);
    EXPECT_FALSE(prompter.AskYesNo("消しますか？"));
    EXPECT_FALSE(prompter.failed); // a question answered No is no failure
    prompter.Error("失敗しました");
    EXPECT_TRUE(prompter.failed);
    // A summary table on the terminal is its text, an error when it reports a problem.
    prompter.ShowTable({"見出し", {}, {}, "合計 3", false});
    prompter.ShowTable({"見出し", {}, {}, "破損 1", true});
    EXPECT_EQ(out.str(), "一通目\n合計 3\n");
    EXPECT_EQ(err.str(), "消しますか？\n（いいえ として続けます）\n失敗しました\n破損 1\n");
}

TEST(TerminalPrompter, ABrokenArchiveIsNotRestoredUnasked) {
    test::TempDir dir;
    AppFolders folders;
    folders.settingsDir = dir / "config";
    folders.dataDir = dir / "data";
    fs::create_directories(folders.settingsDir);
    fs::create_directories(folders.dataDir);
    const fs::path archive = folders.DatabaseFile();
    const fs::path bak = archive.string() + ".Bak";
    CreateTables(*OpenArchive(bak, true));
    const std::string bakBytes = test::ReadFile(bak);
    test::WriteFile(archive, "");

    std::ostringstream out, err;
    TerminalPrompter prompter(out, err);
    EXPECT_EQ(StartSession(folders, prompter, StartupOptions{false, {}, {}}), nullptr);
    EXPECT_TRUE(prompter.failed);
    EXPECT_EQ(out.str(), "");
    const std::string said = err.str();
    EXPECT_NE(said.find("から元に戻しますか？"), std::string::npos) << said;
    EXPECT_NE(said.find("（いいえ として続けます）"), std::string::npos) << said;
    EXPECT_NE(said.find("何も変更していません。"), std::string::npos) << said;
    EXPECT_EQ(fs::file_size(archive), 0u);
    EXPECT_EQ(test::ReadFile(bak), bakBytes);
    EXPECT_FALSE(fs::exists(archive.string() + ".Broken"));
}

} // namespace
} // namespace kamo
