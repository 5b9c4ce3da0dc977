// Dated backups and database recreation: one file a day, checked before it takes its name, never
// changed by viewing; recreation keeps every row whatever step fails or is killed.
#include <gtest/gtest.h>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

#include "db/ArchiveSession.h"
#include "db/Backups.h"
#include "db/Recreation.h"
#include "db/tests/ArchiveFiles.h"

namespace kamo {
namespace {

namespace fs = std::filesystem;

class BackupTest : public ::testing::Test {
protected:
    BackupTest() {
        folders.dataDir = dir / "data";
        fs::create_directories(folders.dataDir);
        test::AddMails(folders.DatabaseFile(), 0, 30);
        OpenArchive(folders.DatabaseFile())
            ->exec("INSERT INTO tblFriend VALUES ('1', 'ポチ', '太郎', 'taro@example.jp', 3)");
        Open();
    }
    void Open() {
        session.reset();
        session = std::make_unique<ArchiveSession>(folders, nullptr, OpenArchive(folders.DatabaseFile()));
    }
    test::TempDir dir;
    AppFolders folders;
    std::unique_ptr<ArchiveSession> session;
};

TEST_F(BackupTest, OneBackupADayCheckedAndListedNewestFirst) {
    const fs::path first = MakeBackup(session->Archive(), folders.dataDir, "2026-12-07");
    EXPECT_EQ(first, BackupFolder(folders.dataDir) / "KamoMail-2026-12-07.Mdb");
    test::AddMails(folders.DatabaseFile(), 100, 5);
    const fs::path again = MakeBackup(session->Archive(), folders.dataDir, "2026-12-07");
    EXPECT_EQ(again, first);
    MakeBackup(session->Archive(), folders.dataDir, "2026-12-08");
    const auto list = ListBackups(folders.dataDir);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].day, "2026-12-08");
    EXPECT_EQ(list[1].day, "2026-12-07");
    EXPECT_EQ(list[1].mails, 35); // the second backup of the day replaced the first
    EXPECT_GT(list[1].size, 0u);
    EXPECT_TRUE(IsCompleteArchive(first));
    EXPECT_FALSE(fs::exists(first.string() + ".New"));
}

TEST_F(BackupTest, AViewedBackupStaysByteForByteAsItWas) {
    const fs::path backup = MakeBackup(session->Archive(), folders.dataDir, "2026-12-08");
    const std::string before = test::ReadFile(backup);
    {
        auto db = OpenBackupReadOnly(backup);
        EXPECT_EQ(db->execAndGet("SELECT COUNT(*) FROM tblKamoMail").getInt64(), 30);
        EXPECT_THROW(db->exec("DELETE FROM tblKamoMail"), SQLite::Exception);
        EXPECT_THROW(db->exec("CREATE TABLE x (y)"), SQLite::Exception);
    }
    EXPECT_EQ(test::ReadFile(backup), before);
    EXPECT_FALSE(fs::exists(backup.string() + "-journal"));
}

TEST_F(BackupTest, RecreationKeepsEveryRowAndMakesABackupFirst) {
    const std::set<int64_t> mails = test::SubKeysIn(session->Archive());
    int refreshed = 0;
    RecreateArchive(*session, [&](SQLite::Database& db) {
        ++refreshed;
        return db.execAndGet("SELECT COUNT(*) FROM tblKamoMail").getInt64() == 30;
    });
    EXPECT_EQ(refreshed, 1);
    EXPECT_EQ(test::SubKeysIn(session->Archive()), mails);
    EXPECT_EQ(session->Archive().execAndGet("SELECT tblFriend_Pet FROM tblFriend").getString(), "ポチ");
    EXPECT_EQ(ListBackups(folders.dataDir).size(), 1u);
    EXPECT_FALSE(fs::exists(folders.DatabaseFile().string() + ".New"));
    EXPECT_TRUE(IsCompleteArchive(folders.DatabaseFile()));
}

TEST_F(BackupTest, AFailureAtAnyStepLeavesTheArchiveAsItWas) {
    for (auto failing : {RecreateStep::Backup, RecreateStep::Build, RecreateStep::Copy, RecreateStep::Refresh,
                         RecreateStep::Verify, RecreateStep::Replace}) {
        const std::string before = test::ReadFile(folders.DatabaseFile());
        EXPECT_THROW(RecreateArchive(*session, {}, [&](RecreateStep s) { return s != failing; }), std::runtime_error)
            << static_cast<int>(failing);
        EXPECT_EQ(test::ReadFile(folders.DatabaseFile()), before) << static_cast<int>(failing);
        EXPECT_FALSE(fs::exists(folders.DatabaseFile().string() + ".New")) << static_cast<int>(failing);
        EXPECT_EQ(session->Archive().execAndGet("SELECT COUNT(*) FROM tblKamoMail").getInt64(), 30);
    }
    // A refresh that fails is a failure too.
    EXPECT_THROW(RecreateArchive(*session, [](SQLite::Database&) { return false; }), std::runtime_error);
    EXPECT_EQ(session->Archive().execAndGet("SELECT COUNT(*) FROM tblKamoMail").getInt64(), 30);
}

TEST_F(BackupTest, AProcessKilledAtAnyStepLosesNothing) {
    for (auto killed : {RecreateStep::Build, RecreateStep::Copy, RecreateStep::Refresh, RecreateStep::Verify,
                        RecreateStep::Replace}) {
        const std::set<int64_t> mails = test::SubKeysIn(folders.DatabaseFile());
        session.reset();
        const pid_t pid = fork();
        if (pid == 0) {
            ArchiveSession child(folders, nullptr, OpenArchive(folders.DatabaseFile()));
            RecreateArchive(child, {}, [&](RecreateStep s) {
                if (s == killed)
                    ::raise(SIGKILL);
                return true;
            });
            _exit(0);
        }
        int status = 0;
        waitpid(pid, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status)) << static_cast<int>(killed);
        EXPECT_EQ(test::SubKeysIn(folders.DatabaseFile()), mails) << static_cast<int>(killed);
        Open();
    }
}

} // namespace
} // namespace kamo
