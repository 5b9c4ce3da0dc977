#include "db/Compaction.h"

#include <gtest/gtest.h>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

#include "ArchiveFiles.h"
#include "db/Schema.h"

namespace kamo {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::SubKeysIn;
using test::TempDir;

constexpr int kMails = 60;

class CompactionTest : public ::testing::Test {
protected:
    CompactionTest() {
        test::AddMails(db, 0, kMails + 40);
        // Deleted rows leave free pages for the compaction to drop.
        auto archive = OpenArchive(db);
        archive->exec("DELETE FROM tblKamoMail WHERE tblKamoMail_SubKey >= 60");
        archive.reset();
        test::WriteFile(bak, "previous backup");
    }
    fs::path Path(const char* suffix) const { return fs::path(db.string() + suffix); }

    TempDir dir;
    fs::path db = dir / "KamoMail.Mdb";
    fs::path bak = Path(".Bak");
};

TEST_F(CompactionTest, SuccessShrinksTheArchiveAndKeepsThePreviousFileAsBak) {
    const std::string before = ReadFile(db);
    ASSERT_TRUE(CompactDatabase(db));
    EXPECT_LT(fs::file_size(db), before.size());
    EXPECT_EQ(SubKeysIn(db), test::Range(0, kMails));
    EXPECT_TRUE(IsSoundArchive(db));
    EXPECT_EQ(ReadFile(bak), before);
    EXPECT_FALSE(fs::exists(Path(".New")));
    EXPECT_FALSE(fs::exists(Path(".Bak.New")));
    // The .Bak is a file of its own: later writes to the archive do not reach it.
    test::AddMails(db, 500, 1);
    EXPECT_EQ(ReadFile(bak), before);
}

class FailedStep : public CompactionTest, public ::testing::WithParamInterface<CompactStep> {};

// Until the archive is replaced, a failure leaves everything as it was.
TEST_P(FailedStep, BeforeTheReplaceLeavesArchiveAndBakUntouched) {
    const std::string before = ReadFile(db);
    const CompactStep failing = GetParam();
    EXPECT_FALSE(CompactDatabase(db, [&](CompactStep s) { return s != failing; }));
    EXPECT_EQ(ReadFile(db), before);
    EXPECT_EQ(ReadFile(bak), "previous backup");
    EXPECT_FALSE(fs::exists(Path(".New")));
    EXPECT_FALSE(fs::exists(Path(".Bak.New")));
    EXPECT_EQ(SubKeysIn(db), test::Range(0, kMails));
}

INSTANTIATE_TEST_SUITE_P(EachStep, FailedStep,
                         ::testing::Values(CompactStep::Copy, CompactStep::SyncCopy, CompactStep::Verify,
                                           CompactStep::Backup, CompactStep::Replace));

TEST_F(CompactionTest, FailureAfterTheReplaceKeepsTheCompactedArchive) {
    EXPECT_FALSE(CompactDatabase(db, [](CompactStep s) { return s != CompactStep::KeepBackup; }));
    EXPECT_EQ(SubKeysIn(db), test::Range(0, kMails));
    EXPECT_EQ(ReadFile(bak), "previous backup");
    EXPECT_FALSE(fs::exists(Path(".Bak.New")));

    EXPECT_FALSE(CompactDatabase(db, [](CompactStep s) { return s != CompactStep::SyncFolder; }));
    EXPECT_EQ(SubKeysIn(db), test::Range(0, kMails));
    EXPECT_TRUE(IsSoundArchive(bak));
}

TEST_F(CompactionTest, DamagedCopyIsRejectedByTheCheck) {
    const std::string before = ReadFile(db);
    // Damage the copy between writing and checking it.
    EXPECT_FALSE(CompactDatabase(db, [&](CompactStep s) {
        if (s == CompactStep::Verify)
            fs::resize_file(Path(".New"), fs::file_size(Path(".New")) / 2);
        return true;
    }));
    EXPECT_EQ(ReadFile(db), before);
    EXPECT_FALSE(fs::exists(Path(".New")));
}

TEST_F(CompactionTest, LeftoverNewOfAnInterruptedStartIsRebuilt) {
    test::WriteFile(Path(".New"), "half a compaction");
    test::WriteFile(Path(".Bak.New"), "half a backup");
    ASSERT_TRUE(CompactDatabase(db));
    EXPECT_FALSE(fs::exists(Path(".New")));
    EXPECT_FALSE(fs::exists(Path(".Bak.New")));
    EXPECT_EQ(SubKeysIn(db), test::Range(0, kMails));
}

TEST_F(CompactionTest, MissingArchiveIsNotCompacted) {
    fs::remove(db);
    EXPECT_FALSE(CompactDatabase(db));
    EXPECT_FALSE(fs::exists(db));
}

class MissingArchive : public CompactionTest {};

TEST_F(MissingArchive, RestoredFromBakWhichStays) {
    fs::rename(db, bak);
    const std::string saved = ReadFile(bak);
    EXPECT_EQ(RecoverMissingDatabase(db), "KamoMail.Mdb.Bak");
    EXPECT_EQ(SubKeysIn(db), test::Range(0, kMails));
    EXPECT_EQ(ReadFile(bak), saved);
}

TEST_F(MissingArchive, CompleteNewIsPreferredToAnOlderBak) {
    // The state a crash between "rename archive to .Bak" and "rename .New to archive" leaves.
    ASSERT_TRUE(CompactDatabase(db));
    fs::copy_file(db, Path(".New"));
    test::AddMails(Path(".New"), 200, 3); // newer than the .Bak
    fs::rename(db, bak);
    EXPECT_EQ(RecoverMissingDatabase(db), "KamoMail.Mdb.New");
    auto keys = test::Range(0, kMails);
    keys.insert({200, 201, 202});
    EXPECT_EQ(SubKeysIn(db), keys);
    EXPECT_FALSE(fs::exists(Path(".New")));
}

TEST_F(MissingArchive, IncompleteNewFallsBackToBak) {
    fs::copy_file(db, Path(".New"));
    fs::resize_file(Path(".New"), fs::file_size(Path(".New")) / 2);
    fs::rename(db, bak);
    EXPECT_EQ(RecoverMissingDatabase(db), "KamoMail.Mdb.Bak");
    EXPECT_EQ(SubKeysIn(db), test::Range(0, kMails));
}

TEST_F(MissingArchive, NothingToRestoreFrom) {
    fs::remove(db);
    fs::remove(bak);
    EXPECT_EQ(RecoverMissingDatabase(db), "");
    EXPECT_FALSE(fs::exists(db));
    EXPECT_FALSE(IsSoundArchive(db));
}

TEST_F(MissingArchive, PresentArchiveIsLeftAlone) {
    const std::string before = ReadFile(db);
    EXPECT_EQ(RecoverMissingDatabase(db), "");
    EXPECT_EQ(ReadFile(db), before);
}

} // namespace
} // namespace kamo

namespace kamo {
namespace {

TEST_F(CompactionTest, PermissionBitsAndSymbolicLinksSurviveTheCompaction) {
    fs::permissions(db, fs::perms::owner_read | fs::perms::owner_write);
    ASSERT_TRUE(CompactDatabase(db));
    EXPECT_EQ(fs::status(db).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);

    // The archive as a link into another folder: the link stays, the file it names is compacted.
    const fs::path elsewhere = dir / "real";
    fs::create_directories(elsewhere);
    const fs::path real = elsewhere / "KamoMail.Mdb";
    fs::rename(db, real);
    fs::create_symlink(real, db);
    test::AddMails(real, 700, 30);
    OpenArchive(real)->exec("DELETE FROM tblKamoMail WHERE tblKamoMail_SubKey >= 700");
    const auto before = fs::file_size(real);
    ASSERT_TRUE(CompactDatabase(db));
    EXPECT_TRUE(fs::is_symlink(db));
    EXPECT_EQ(fs::read_symlink(db), real);
    EXPECT_LT(fs::file_size(real), before);
    EXPECT_EQ(SubKeysIn(db), test::Range(0, kMails));
    EXPECT_TRUE(fs::exists(fs::path(real.string() + ".Bak")));
}

TEST_F(CompactionTest, AnIncompleteArchiveIsNeverCompactedOverItsBak) {
    const std::string goodBak = ReadFile(db);
    test::WriteFile(bak, goodBak);
    struct Case {
        const char* what;
        std::function<void()> make;
        const char* why;
    };
    const Case cases[] = {
        {"empty file", [&] { test::WriteFile(db, ""); }, "空のファイルです"},
        {"no tables",
         [&] {
             fs::remove(db);
             SQLite::Database(db.string(), SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE).exec("CREATE TABLE t (x)");
         },
         "テーブル tblKamoMail がありません"},
        {"not a database", [&] { test::WriteFile(db, std::string(4096, 'x')); }, "データベースとして開けません"},
    };
    for (const auto& c : cases) {
        c.make();
        const std::string broken = ReadFile(db);
        std::string why;
        EXPECT_FALSE(IsCompleteArchive(db, &why)) << c.what;
        EXPECT_EQ(why.find(c.why), 0u) << c.what << ": " << why;
        EXPECT_FALSE(CompactDatabase(db)) << c.what;
        EXPECT_EQ(ReadFile(db), broken) << c.what;
        EXPECT_EQ(ReadFile(bak), goodBak) << c.what;
        EXPECT_EQ(NewestSoundCopy(db), bak) << c.what;
    }
}

} // namespace
} // namespace kamo
