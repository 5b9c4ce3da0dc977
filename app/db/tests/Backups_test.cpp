// Dated backups: one file a day, checked before it takes its name, never changed by viewing.
#include <gtest/gtest.h>

#include "db/ArchiveSession.h"
#include "db/Backups.h"
#include "db/tests/ArchiveFiles.h"

namespace kamo {
namespace {

namespace fs = std::filesystem;

class BackupTest : public ::testing::Test, public test::SessionInFolder {};

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

} // namespace
} // namespace kamo
