// A failure thrown by the logic reaches the user in the same Japanese words at both edges: the
// window's trap (Guarded) and the terminal's standard error.
#include <gtest/gtest.h>

#include <functional>

#include <sys/wait.h>

#include "common/ArchiveView.h"
#include "common/Guarded.h"
#include "common/Messages.h"
#include "common/WaitReporter.h"
#include "db/Backups.h"
#include "db/Schema.h"
#include "db/tests/ArchiveFiles.h"
#include "filters/FilterCommands.h"
#include "friends/FriendBook.h"
#include "import/MailReadCommand.h"
#include "testsupport/ScriptedPrompter.h"
#include "testsupport/TestSupport.h"
#include "upkeep/Recreation.h"
#include "upkeep/TableExchange.h"

namespace kamo {
namespace {

class ErrorWords : public ::testing::Test, public test::SessionInFolder {};

TEST_F(ErrorWords, EachConvertedModulesFailureShowsItsOldWordsInTheWindow) {
    const std::string csv = (dir / "csv").string();
    struct Case {
        const char* module;
        std::function<void()> work;
        std::string says;
    };
    const std::vector<Case> cases{
        {"backups", [&] { OpenBackupReadOnly(dir / "none.Mdb"); },
         "バックアップが見つかりません。\n" + (dir / "none.Mdb").string()},
        {"recreation", [&] { RecreateArchive(*session, {}, [](RecreateStep s) { return s != RecreateStep::Copy; }); },
         "データのコピーに失敗しました。"},
        {"csv folder", [&] { ImportTables(session->Database(), dir / "nowhere"); },
         "取り込むフォルダが見つかりません。\n" + (dir / "nowhere").string()},
        {"csv line",
         [&] {
             std::filesystem::create_directories(csv);
             test::WriteFile(dir / "csv" / "tblFriend.csv", "a,b\r\n");
             ImportTables(session->Database(), csv);
         },
         "tblFriend.csv の 1 行目: 見出しの行が tblFriend の列と合いません\n何も取り込んでいません。"},
        {"friend book",
         [&] {
             SaveFriends(session->Database(), {{"1", "ポチ", "太郎", "a@x.jp", 0}, {"1", "タマ", "花子", "A@x.jp", 0}});
         },
         "アドレス A@x.jp が二度あります。"},
    };
    for (const auto& c : cases) {
        ScriptedPrompter window;
        Guarded(window, c.work);
        ASSERT_EQ(window.shown.size(), 1u) << c.module;
        EXPECT_EQ(window.shown[0].text, "エラーが発生しました。\n" + c.says) << c.module;
    }
}

TEST_F(ErrorWords, FiltersThatDoNotLoadAreToldWithTheirReasonKept) {
    EXPECT_FALSE(FilterStartUp(*session).has_value());
    session->Database().exec("DROP TABLE tblFilter");
    const auto failure = FilterStartUp(*session);
    ASSERT_TRUE(failure.has_value());
    EXPECT_EQ(failure->Code(), FailureCode::FiltersNotLoaded);
    EXPECT_NE(failure->Details().at(0).find("tblFilter"), std::string::npos) << failure->what();
    EXPECT_EQ(MessageOf(*failure), "フィルターを読み込めませんでした。");
}

TEST_F(ErrorWords, TheTerminalPrintsTheSameWordsOnStandardError) {
    const auto missing = dir / "Friend.dat";
    const pid_t pid = test::LaunchProgram(
        {"friends", "--read", missing.string()},
        {{{"KAMOMAIL_CONFIG_DIR", (dir / "config").string()}, {"KAMOMAIL_DATA_DIR", folders.dataDir.string()}}, {}},
        dir / "output.txt");
    int status = 0;
    ::waitpid(pid, &status, 0);
    const std::string output = test::ReadFile(dir / "output.txt");
    EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 1) << output;
    EXPECT_NE(output.find("おともだちファイルが見つかりません。\n" + missing.string()), std::string::npos) << output;
}

// The read reports by its result alone; the window's command and `kamomail read` word it alike.
TEST_F(ErrorWords, TheReadsFailuresReadTheSameInTheWindowAndAtTheTerminal) {
    folders.libraryPath = test::BuildLibraryPath();
    Open();
    std::filesystem::create_directories(dir / "empty");
    test::WriteFile(dir / "empty" / "readme.txt", "not PostPet");
    struct Case {
        std::filesystem::path postPet;
        std::string says;
    };
    const std::vector<Case> cases{
        {dir / "nowhere", "PostPetのフォルダが見つかりません。\n" + (dir / "nowhere").string() +
                              "\nオプションでPostPetのフォルダを設定して下さい。"},
        {dir / "empty", "PostPetのフォルダにメールボックスがひとつもありません。\n" + (dir / "empty").string() +
                            "\nオプションでPostPetのフォルダを確かめて下さい。"},
    };
    for (const auto& c : cases) {
        ScriptedPrompter window;
        NullWaitReporter wait;
        NoArchiveView view;
        session->AppSettings().postPetDir = c.postPet.string();
        EXPECT_FALSE(ComMailRead(*session, window, wait, view)) << c.postPet;
        ASSERT_EQ(window.shown.size(), 1u) << c.postPet;
        EXPECT_EQ(window.shown[0].text, c.says);

        const pid_t pid = test::LaunchProgram(
            {"read", "--postpet-dir", c.postPet.string(), "--all"},
            {{{"KAMOMAIL_CONFIG_DIR", (dir / "config").string()}, {"KAMOMAIL_DATA_DIR", (dir / "other").string()}}, {}},
            dir / "output.txt");
        int status = 0;
        ::waitpid(pid, &status, 0);
        const std::string output = test::ReadFile(dir / "output.txt");
        EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 1) << output;
        EXPECT_NE(output.find(c.says + "\n"), std::string::npos) << output;
    }
}

} // namespace
} // namespace kamo
