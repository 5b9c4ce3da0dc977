// Database recreation keeps every row of the user's data whatever step fails or is killed, and
// makes the derived data again.
#include <gtest/gtest.h>

#include <csignal>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "db/ArchiveSession.h"
#include "db/Backups.h"
#include "db/Trash.h"
#include "db/tests/ArchiveFiles.h"
#include "upkeep/Recreation.h"

namespace kamo {
namespace {

namespace fs = std::filesystem;

class RecreationTest : public ::testing::Test, public test::SessionInFolder {};

TEST_F(RecreationTest, RecreationKeepsEveryRowAndMakesABackupFirst) {
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

TEST_F(RecreationTest, TheTrashIsTheUsersDataAndOutlivesRecreation) {
    SQLite::Database& db = session->Archive();
    MoveToTrash(db, "tblKamoMail_SubKey = (SELECT min(tblKamoMail_SubKey) FROM tblKamoMail)",
                [](SQLite::Statement&) {});
    const auto trashed = ListTrash(db);
    ASSERT_EQ(trashed.size(), 1u);
    RecreateArchive(*session, {});
    const auto after = ListTrash(session->Archive());
    ASSERT_EQ(after.size(), 1u);
    EXPECT_EQ(after[0].key, trashed[0].key);
    EXPECT_EQ(RestoreTrashBatch(session->Archive(), after[0].batch).size(), 1u);
}

// Under umask 022 the new archive is never readable by others, neither while it is built nor after.
TEST_F(RecreationTest, TheRecreatedArchiveIsTheUsersAloneFromTheStart) {
    const mode_t oldMask = ::umask(022);
    auto mode = [](const fs::path& p) { return static_cast<int>(fs::status(p).permissions() & fs::perms::mask); };
    const fs::path fresh = folders.DatabaseFile().string() + ".New";
    fs::permissions(folders.DatabaseFile(), fs::perms(0600));
    int whileBuilt = -1;
    RecreateArchive(*session, {}, [&](RecreateStep s) {
        if (s == RecreateStep::Verify)
            whileBuilt = mode(fresh);
        return true;
    });
    EXPECT_EQ(whileBuilt, 0600);
    EXPECT_EQ(mode(folders.DatabaseFile()), 0600);
    ::umask(oldMask);
}

TEST_F(RecreationTest, AFailureAtAnyStepLeavesTheArchiveAsItWas) {
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

TEST_F(RecreationTest, AProcessKilledAtAnyStepLosesNothing) {
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

TEST_F(RecreationTest, TheStartsUpkeepStillRunningStopsFirstAndLeavesNothingBehind) {
    test::AddMails(folders.DatabaseFile(), 1000, 2000);
    Open();
    session->Archive().exec("DELETE FROM tblKamoMail WHERE tblKamoMail_SubKey >= 2000"); // free pages
    const std::set<int64_t> mails = test::SubKeysIn(session->Archive());
    session->StartUpkeep();
    RecreateArchive(*session, {});
    EXPECT_EQ(test::SubKeysIn(session->Archive()), mails);
    EXPECT_EQ(session->Upkeep(), nullptr);
    EXPECT_FALSE(fs::exists(folders.DatabaseFile().string() + ".New"));
    EXPECT_FALSE(fs::exists(folders.DatabaseFile().string() + ".Bak.New"));
    EXPECT_TRUE(IsCompleteArchive(folders.DatabaseFile()));
}

} // namespace
} // namespace kamo
