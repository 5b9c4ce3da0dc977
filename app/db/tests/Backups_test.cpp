// Dated backups: one file a day, checked before it takes its name, never changed by viewing.
#include <gtest/gtest.h>

#include "db/Archive.h"
#include "db/ArchiveSession.h"
#include "db/Backups.h"
#include "db/Compaction.h"
#include "db/tests/ArchiveFiles.h"
#include "testsupport/ScriptedPrompter.h"

#include <sys/stat.h>

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

// Under umask 022 the archive, its .Bak (compaction and the start-up upkeep), the compacted copy and the
// backups are the user's alone: 0600, or the archive's own mode when that is narrower. A backup is
// never written through a link planted at its names.
TEST(PrivateFiles, TheArchiveAndEveryCopyOfItAreTheUsersAlone) {
    const mode_t oldMask = ::umask(022);
    auto mode = [](const fs::path& p) { return static_cast<int>(fs::status(p).permissions() & fs::perms::mask); };
    for (const int archiveMode : {0600, 0400}) {
        SCOPED_TRACE(archiveMode);
        test::TempDir dir;
        AppFolders folders;
        folders.dataDir = dir / "data";
        fs::create_directories(folders.dataDir);
        const fs::path archive = folders.DatabaseFile();
        ScriptedPrompter prompter;
        ASSERT_TRUE(CreateDatabase(archive, prompter));
        EXPECT_EQ(mode(archive), 0600);
        test::AddMails(archive, 0, 80);
        OpenArchive(archive)->exec("DELETE FROM tblKamoMail WHERE tblKamoMail_SubKey >= 20");
        fs::permissions(archive, fs::perms(archiveMode));

        ASSERT_TRUE(CompactDatabase(archive));
        EXPECT_EQ(mode(archive), archiveMode);
        EXPECT_EQ(mode(archive.string() + ".Bak"), archiveMode);

        fs::remove(archive.string() + ".Bak");
        ArchiveUpkeep upkeep(archive);
        upkeep.Run();
        EXPECT_EQ(mode(archive.string() + ".Bak"), archiveMode);

        auto db = OpenArchive(archive);
        const fs::path backup = MakeBackup(*db, folders.dataDir, "2026-12-08");
        EXPECT_EQ(mode(backup), archiveMode);
        EXPECT_EQ(mode(backup.parent_path()), 0700);

        // Links planted at the backup's names: the file they name stays, the backup is a file.
        test::WriteFile(dir / "victim", "victim");
        fs::remove(backup);
        fs::create_symlink(dir / "victim", backup);
        fs::create_symlink(dir / "victim", backup.string() + ".New");
        MakeBackup(*db, folders.dataDir, "2026-12-08");
        EXPECT_EQ(test::ReadFile(dir / "victim"), "victim");
        EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(backup)));
        EXPECT_EQ(mode(backup), archiveMode);
    }
    ::umask(oldMask);
}

} // namespace
} // namespace kamo
