// Dated backups: one file a day, checked before it takes its name, never changed by viewing.
#include <gtest/gtest.h>

#include "db/Archive.h"
#include "db/ArchiveSession.h"
#include "db/Backups.h"
#include "db/Compaction.h"
#include "db/tests/ArchiveFiles.h"
#include "testsupport/ScriptedPrompter.h"

#include <csignal>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

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

// What a killed or failed backup and a killed settings writer leave is removed at the next backup and at
// the next start that holds the instance lock: exactly our own names, never the user's files.
TEST_F(BackupTest, LeftoversOfOurOwnWritersAreRemovedAndNothingElse) {
    const fs::path folder = BackupFolder(folders.dataDir);
    const fs::path kept = MakeBackup(session->Archive(), folders.dataDir, "2026-12-01");
    folders.settingsDir = dir / "config";
    fs::create_directories(folders.settingsDir);
    const std::vector<fs::path> ours{
        folder / "KamoMail-2026-11-30.Mdb.New", folder / "KamoMail-2026-11-30.Mdb.New-journal",
        folders.settingsDir / ".KAMOMAIL.ini.0badf00d", folders.dataDir / ".KamoMail.Mdb.0123abcd",
        folders.dataDir / ".KamoMail.Mdb.Closed.fedcba98", folders.dataDir / ".KamoMail.Mdb.Bak.New.00ff00ff",
        // an upkeep or compaction killed midway
        folders.dataDir / "KamoMail.Mdb.New", folders.dataDir / "KamoMail.Mdb.New-journal",
        folders.dataDir / "KamoMail.Mdb.Bak.New"};
    const std::vector<fs::path> theirs{kept,
                                       folder / "KamoMail-2026-11-30.Mdb.New.mine",
                                       folder / "notes.New",
                                       folders.settingsDir / ".KAMOMAIL.ini.old",
                                       folders.settingsDir / "KAMOMAIL.ini",
                                       folders.dataDir / ".KamoMail.Mdb.notes",
                                       folders.dataDir / "KamoMail.Mdb.New.txt",
                                       folders.dataDir / "KamoMail.Mdb.new"};
    auto plant = [&]() {
        for (const auto& p : ours)
            test::WriteFile(p, "left over");
        for (const auto& p : theirs)
            if (p != kept)
                test::WriteFile(p, "the user's");
    };
    auto check = [&](const char* when) {
        for (const auto& p : ours)
            EXPECT_FALSE(fs::exists(p)) << when << ": " << p;
        for (const auto& p : theirs)
            EXPECT_TRUE(fs::exists(p)) << when << ": " << p;
    };
    plant();
    MakeBackup(session->Archive(), folders.dataDir, "2026-12-02");
    for (size_t i = 0; i < 2; ++i)
        EXPECT_FALSE(fs::exists(ours[i])) << ours[i];
    for (const auto& p : theirs)
        EXPECT_TRUE(fs::exists(p)) << p;

    plant();
    session.reset();
    ScriptedPrompter prompter;
    // A start that does not compact, as a quick command's (`list`) or the window's.
    const StartupOptions quick{false, {}, {}};
    {
        auto first = StartSession(folders, prompter, quick);
        ASSERT_TRUE(first);
        check("at the start");
        // A second start while the first holds the lock takes nothing away.
        plant();
        EXPECT_FALSE(StartSession(folders, prompter, quick));
        for (const auto& p : ours)
            EXPECT_TRUE(fs::exists(p)) << p;
    }
}

// A backup that fails for want of room (the file size limit stands in for a full disk) leaves neither
// its copy nor the copy's journal.
TEST_F(BackupTest, AFailedBackupLeavesNoCopyAndNoJournal) {
    test::AddMails(folders.DatabaseFile(), 100, 400);
    const pid_t pid = fork();
    if (pid == 0) {
        signal(SIGXFSZ, SIG_IGN);
        rlimit limit{16384, 16384};
        setrlimit(RLIMIT_FSIZE, &limit);
        try {
            MakeBackup(session->Archive(), folders.dataDir, "2026-12-03");
        } catch (const std::exception&) {
            _exit(0);
        }
        _exit(1);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the backup did not fail";
    std::vector<std::string> left;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(BackupFolder(folders.dataDir), ec))
        left.push_back(entry.path().filename().string());
    EXPECT_EQ(left, std::vector<std::string>{});
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
