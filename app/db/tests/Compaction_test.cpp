#include "db/Compaction.h"

#include <gtest/gtest.h>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

#include "ArchiveFiles.h"
#include "common/Messages.h"
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
        std::optional<Failure> why;
        EXPECT_FALSE(IsCompleteArchive(db, &why)) << c.what;
        ASSERT_TRUE(why) << c.what;
        EXPECT_EQ(MessageOf(*why).find(c.why), 0u) << c.what << ": " << why->what();
        EXPECT_FALSE(CompactDatabase(db)) << c.what;
        EXPECT_EQ(ReadFile(db), broken) << c.what;
        EXPECT_EQ(ReadFile(bak), goodBak) << c.what;
        EXPECT_EQ(NewestSoundCopy(db), bak) << c.what;
    }
}

} // namespace
} // namespace kamo

namespace kamo {
namespace {

using Outcome = ArchiveUpkeep::Outcome;

// The window's upkeep over the same archive: 60 mails, free pages, an old .Bak.
class UpkeepTest : public CompactionTest {
protected:
    bool NoLeftovers() const { return !fs::exists(Path(".New")) && !fs::exists(Path(".Bak.New")); }
};

TEST_F(UpkeepTest, KeepsTheArchiveAsBakAndPutsTheCompactedCopyInPlace) {
    const std::string before = ReadFile(db);
    ArchiveUpkeep upkeep(db);
    upkeep.Start();
    upkeep.Wait();
    ASSERT_EQ(upkeep.Result(), Outcome::CopyReady);
    EXPECT_EQ(ReadFile(bak), before); // the .Bak is the archive as the start found it
    EXPECT_EQ(ReadFile(db), before);  // untouched until it is put in place
    ASSERT_TRUE(upkeep.PutInPlace());
    EXPECT_EQ(upkeep.Result(), Outcome::Placed);
    EXPECT_LT(fs::file_size(db), before.size());
    EXPECT_EQ(SubKeysIn(db), test::Range(0, kMails));
    EXPECT_TRUE(IsCompleteArchive(db));
    EXPECT_TRUE(NoLeftovers());

    // Nothing left to gain: the next start only keeps the .Bak.
    ArchiveUpkeep again(db);
    again.Run();
    EXPECT_EQ(again.Result(), Outcome::Kept);
    EXPECT_EQ(ReadFile(bak), ReadFile(db));
    EXPECT_FALSE(again.PutInPlace());
    EXPECT_TRUE(NoLeftovers());
}

TEST_F(UpkeepTest, MailWrittenAfterTheSnapshotIsNeverReplacedByTheOlderCopy) {
    ArchiveUpkeep upkeep(db);
    upkeep.Run();
    ASSERT_EQ(upkeep.Result(), Outcome::CopyReady);
    test::AddMails(db, 500, 1); // read while the copy was made
    EXPECT_FALSE(upkeep.PutInPlace());
    EXPECT_EQ(upkeep.Result(), Outcome::Changed);
    auto expected = test::Range(0, kMails);
    expected.insert(500);
    EXPECT_EQ(SubKeysIn(db), expected);
    EXPECT_TRUE(NoLeftovers());
}

TEST_F(UpkeepTest, ADamagedArchiveIsToldAndNeitherItNorTheBakIsTouched) {
    std::string bytes = ReadFile(db);
    for (size_t i = bytes.size() / 2; i < bytes.size() / 2 + 3000; ++i)
        bytes[i] = static_cast<char>(0x5A);
    test::WriteFile(db, bytes);
    ArchiveUpkeep upkeep(db);
    upkeep.Run();
    EXPECT_EQ(upkeep.Result(), Outcome::Broken);
    EXPECT_TRUE(upkeep.Problem());
    EXPECT_EQ(ReadFile(bak), "previous backup");
    EXPECT_EQ(ReadFile(db), bytes);
    EXPECT_TRUE(NoLeftovers());
}

// Damage SQLite cannot read past, in the schema's own page, stops the snapshot itself with an error:
// the archive is broken all the same, and told.
TEST_F(UpkeepTest, AnUnreadableSchemaIsToldAsBroken) {
    std::string bytes = ReadFile(db);
    for (size_t i = 100; i < 4000; ++i) // page 1 after the file header: the schema's tree
        bytes[i] = static_cast<char>(0x5A);
    test::WriteFile(db, bytes);
    ArchiveUpkeep upkeep(db);
    upkeep.Run();
    EXPECT_EQ(upkeep.Result(), Outcome::Broken);
    EXPECT_TRUE(upkeep.Problem());
    EXPECT_EQ(ReadFile(bak), "previous backup");
    EXPECT_EQ(ReadFile(db), bytes);
    EXPECT_TRUE(NoLeftovers());
}

TEST_F(UpkeepTest, StoppedOrKilledAtAnyStepLosesAndDuplicatesNothing) {
    const std::string before = ReadFile(db);
    for (UpkeepStep s : {UpkeepStep::Snapshot, UpkeepStep::CheckSnapshot, UpkeepStep::KeepBackup, UpkeepStep::Compact,
                         UpkeepStep::VerifyCopy, UpkeepStep::PutInPlace}) {
        for (bool kill : {false, true}) {
            test::WriteFile(db, before);
            test::WriteFile(bak, "previous backup");
            auto hook = [s, kill](UpkeepStep at) {
                if (at == s && kill)
                    ::raise(SIGKILL);
                return at != s;
            };
            if (kill) {
                const pid_t pid = ::fork();
                ASSERT_GE(pid, 0);
                if (pid == 0) {
                    ArchiveUpkeep upkeep(db, hook);
                    upkeep.Run();
                    upkeep.PutInPlace();
                    ::_exit(0);
                }
                int status = 0;
                ::waitpid(pid, &status, 0);
                ASSERT_TRUE(WIFSIGNALED(status)) << static_cast<int>(s);
            } else {
                ArchiveUpkeep upkeep(db, hook);
                upkeep.Run();
                upkeep.PutInPlace();
                EXPECT_NE(upkeep.Result(), Outcome::Placed) << static_cast<int>(s);
                EXPECT_TRUE(NoLeftovers()) << static_cast<int>(s);
            }
            const std::string at = std::to_string(static_cast<int>(s)) + (kill ? " killed" : " failed");
            EXPECT_EQ(SubKeysIn(db), test::Range(0, kMails)) << at;
            EXPECT_TRUE(IsCompleteArchive(db)) << at;
            // The .Bak is the old one or the archive as at the start, never half of either.
            const std::string kept = ReadFile(bak);
            EXPECT_TRUE(kept == "previous backup" || kept == before) << at;
            // The next start's upkeep clears whatever was left and ends well.
            ArchiveUpkeep next(db);
            next.Run();
            EXPECT_EQ(next.Result(), Outcome::CopyReady) << at;
            EXPECT_TRUE(next.PutInPlace()) << at;
            EXPECT_EQ(SubKeysIn(db), test::Range(0, kMails)) << at;
            EXPECT_TRUE(NoLeftovers()) << at;
        }
    }
}

// A start that ends before its window shows still keeps the .Bak; the compaction is given up, at
// whatever point the end comes.
TEST_F(UpkeepTest, StoppedAfterTheBackupKeepsTheBakAndGivesUpTheCompaction) {
    const std::string before = ReadFile(db);
    for (UpkeepStep s : {UpkeepStep::Snapshot, UpkeepStep::KeepBackup, UpkeepStep::Compact, UpkeepStep::VerifyCopy}) {
        const std::string at = std::to_string(static_cast<int>(s));
        test::WriteFile(db, before);
        test::WriteFile(bak, "previous backup");
        ArchiveUpkeep* running = nullptr;
        ArchiveUpkeep upkeep(db, [&](UpkeepStep step) {
            if (step == s)
                running->StopAfterBackup(); // on the worker's own thread: asks, does not wait
            return true;
        });
        running = &upkeep;
        upkeep.Run();
        const bool beforeTheBak = s == UpkeepStep::Snapshot || s == UpkeepStep::KeepBackup;
        EXPECT_EQ(upkeep.Result(), beforeTheBak ? Outcome::Kept : Outcome::Failed) << at;
        EXPECT_EQ(ReadFile(bak), before) << at;
        EXPECT_EQ(ReadFile(db), before) << at;
        EXPECT_FALSE(upkeep.PutInPlace()) << at;
        EXPECT_TRUE(NoLeftovers()) << at;
    }
}

TEST_F(UpkeepTest, ClosingTheWindowStopsTheWorkAndLeavesNothingBehind) {
    // A larger archive, so the work is still running when it is stopped.
    test::AddMails(db, 1000, 3000);
    const std::string before = ReadFile(db);
    {
        ArchiveUpkeep upkeep(db);
        upkeep.Start();
    }
    EXPECT_EQ(ReadFile(db), before);
    EXPECT_TRUE(NoLeftovers());
    const std::string kept = ReadFile(bak);
    EXPECT_TRUE(kept == "previous backup" || kept == before);
}

} // namespace
} // namespace kamo
