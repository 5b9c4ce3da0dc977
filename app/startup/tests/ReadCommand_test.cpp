// `kamomail read` as a user runs it: the program of this build in a child process.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "db/Schema.h"
#include "platform/InstanceLock.h"
#include "ppwriter/MailboxWriter.h"
#include "testsupport/TestSupport.h"

using namespace kamo;

namespace {

struct ProgramRun {
    int status = -1;
    std::string out;
    std::string err;
};

class ReadCommandTest : public ::testing::Test {
protected:
    ProgramRun Kamomail(const std::vector<std::string>& args) {
        const auto outPath = dir / "out.txt";
        const auto errPath = dir / "err.txt";
        const std::string program = (test::BuildBinDir() / "kamomail").string();
        const pid_t pid = fork();
        if (pid == 0) {
            setenv("KAMOMAIL_CONFIG_DIR", (dir / "config").c_str(), 1);
            setenv("KAMOMAIL_DATA_DIR", (dir / "data").c_str(), 1);
            const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            if (out < 0 || err < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0)
                _exit(127);
            std::vector<char*> argv{const_cast<char*>(program.c_str())};
            for (const auto& a : args)
                argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            execv(program.c_str(), argv.data());
            _exit(127);
        }
        ProgramRun run;
        int status = 0;
        waitpid(pid, &status, 0);
        run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        run.out = test::ReadFile(outPath);
        run.err = test::ReadFile(errPath);
        return run;
    }

    int64_t Rows() {
        auto db = OpenArchive(dir / "data" / "KamoMail.Mdb");
        return db->execAndGet("SELECT COUNT(*) FROM tblKamoMail").getInt64();
    }

    test::TempDir dir;
};

} // namespace

TEST_F(ReadCommandTest, ReadsTheFolderOnceAndPrintsTheSummary) {
    size_t written = 0;
    for (const auto& box : ppw::WriteSampleFolder(dir / "PostPet", {true, 2001})) // CP932 file names
        written += box.mails;
    const std::string postPet = (dir / "PostPet").string();

    const ProgramRun first = Kamomail({"read", "--postpet-dir", postPet, "--all"});
    ASSERT_EQ(first.status, 0) << first.err;
    EXPECT_NE(first.out.find("受信フォルダ: 読込 "), std::string::npos) << first.out;
    EXPECT_NE(first.out.find("橙色の引出し: 読込 "), std::string::npos) << first.out;
    EXPECT_NE(first.out.find("合計: 読込 " + std::to_string(written)), std::string::npos) << first.out;
    const int64_t stored = Rows();
    EXPECT_GT(stored, 10);

    const ProgramRun second = Kamomail({"read", "--postpet-dir=" + postPet, "--all"});
    ASSERT_EQ(second.status, 0) << second.err;
    EXPECT_NE(second.out.find("/ 保存 0 / 保存済み " + std::to_string(written)), std::string::npos) << second.out;
    EXPECT_EQ(Rows(), stored);

    // Without --all the settings choose; a fresh settings file ticks nothing.
    const ProgramRun none = Kamomail({"read", "--postpet-dir", postPet});
    EXPECT_EQ(none.status, 1);
    EXPECT_NE(none.err.find("読み込むメールボックスが選ばれていません。"), std::string::npos) << none.err;
}

TEST_F(ReadCommandTest, RefusesWhileAnotherCopyRunsAndOnBadArguments) {
    ppw::WriteSampleFolder(dir / "PostPet");
    std::filesystem::create_directories(dir / "config");
    {
        auto lock = InstanceLock::TryAcquire(dir / "config");
        ASSERT_TRUE(lock);
        const ProgramRun refused = Kamomail({"read", "--postpet-dir", (dir / "PostPet").string(), "--all"});
        EXPECT_NE(refused.status, 0);
        EXPECT_NE(refused.err.find("KamoMailはすでに実行されています。"), std::string::npos) << refused.err;
        EXPECT_FALSE(std::filesystem::exists(dir / "data" / "KamoMail.Mdb"));
    }
    const ProgramRun bad = Kamomail({"read", "--everything"});
    EXPECT_EQ(bad.status, 2);
    EXPECT_NE(bad.err.find("kamomail read [--postpet-dir DIR] [--all]"), std::string::npos);
    const ProgramRun missing = Kamomail({"read", "--postpet-dir", (dir / "nowhere").string(), "--all"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("PostPetのフォルダが見つかりません。"), std::string::npos) << missing.err;
}

TEST_F(ReadCommandTest, ADamagedMailboxStoresWhatItCanAndEndsWithItsOwnStatus) {
    ppw::Mail good;
    good.from = "taro@example.jp";
    good.to = "kamo@example.jp";
    good.subject = "good";
    good.date = "Tue, 04 Sep 2001 21:05:33 +0900";
    good.body = "body\r\n";
    ppw::Mail bad = good;
    bad.subject = "bad";
    bad.damage.startMarker = "XsS1";
    ppw::Mail after = good;
    after.subject = "after";
    std::filesystem::create_directories(dir / "PostPet" / "受信フォルダ");
    ppw::WriteMailbox(dir / "PostPet" / "受信フォルダ" / "受信リスト.ppl",
                      dir / "PostPet" / "受信フォルダ" / "受信メール.ppm", {good, bad, after});
    const ProgramRun run = Kamomail({"read", "--postpet-dir", (dir / "PostPet").string(), "--all"});
    EXPECT_EQ(run.status, 3) << run.err;
    EXPECT_NE(
        run.out.find("受信フォルダ: 読込 2 / 保存 2 / 保存済み 0 / フィルター除外 0 / 破損 1（リストファイルの位置 "),
        std::string::npos)
        << run.out;
    EXPECT_EQ(Rows(), 2);
    // The conversion library's text files do not outlive the command.
    EXPECT_FALSE(std::filesystem::exists(dir / "data" / "KamoMail.Tmp"));
}
