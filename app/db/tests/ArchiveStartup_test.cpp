#include "db/ArchiveStartup.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <functional>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "common/Prompter.h"
#include "db/ArchiveSeal.h"
#include "db/ArchiveSession.h"
#include "db/tests/ArchiveFiles.h"
#include "platform/ProfileFile.h"
#include "testsupport/ScriptedPrompter.h"

namespace kamo {
namespace {

namespace fs = std::filesystem;
using test::SubKeysIn;
using test::TempDir;

class Start : public ::testing::Test {
protected:
    Start() {
        folders.settingsDir = dir / "config";
        folders.dataDir = dir / "data";
        folders.helpPath = dir / "help.html";
        fs::create_directories(folders.settingsDir);
        fs::create_directories(folders.dataDir);
    }
    fs::path Archive() const { return folders.DatabaseFile(); }
    fs::path Beside(const char* suffix) const { return fs::path(Archive().string() + suffix); }
    void SetVer(const std::string& ver) {
        ASSERT_TRUE(WriteProfileString(folders.SettingsFile(), "KamoMail Environment", "Ver", ver));
    }
    std::string Ver() const { return ReadProfileString(folders.SettingsFile(), "KamoMail Environment", "Ver", "-"); }
    // A start as the program makes it; the set of mails it then finds.
    std::set<int64_t> StartAndList(StartupReport* report = nullptr) {
        Settings settings;
        auto db = PrepareArchive(folders, settings, prompter, {}, report);
        if (!db)
            return {-1};
        return SubKeysIn(*db);
    }

    TempDir dir;
    AppFolders folders;
    ScriptedPrompter prompter;
};

TEST_F(Start, FirstRunCreatesTheArchiveAndSetsThePaths) {
    Settings settings;
    StartupReport report;
    auto db = PrepareArchive(folders, settings, prompter, {}, &report);
    ASSERT_NE(db, nullptr);
    EXPECT_TRUE(report.created);
    EXPECT_FALSE(report.upgraded);
    EXPECT_TRUE(prompter.shown.empty());
    EXPECT_EQ(settings.settingsPath, (folders.settingsDir / "KAMOMAIL.ini").string());
    EXPECT_EQ(settings.databasePath, (folders.dataDir / "KamoMail.Mdb").string());
    EXPECT_EQ(settings.helpPath, folders.helpPath.string());
    EXPECT_EQ(db->execAndGet("SELECT count(*) FROM sqlite_master WHERE type = 'table'").getInt(),
              18); // six, tblAttachment, tblOriginalNames, tblHeaderFields, tblOriginal, the five of the trash,
                   // tblOriginalDictionary, tblDerivedOwed and tblMonthCount
    db.reset();

    EXPECT_TRUE(StartAndList().empty());
    EXPECT_TRUE(IsSoundArchive(Beside(".Bak")));
}

TEST_F(Start, MissingArchiveWithBakIsRestoredNotReplacedByAnEmptyOne) {
    test::AddMails(Beside(".Bak"), 0, 30);
    StartupReport report;
    EXPECT_EQ(StartAndList(&report), test::Range(0, 30));
    EXPECT_EQ(report.restoredFrom, "KamoMail.Mdb.Bak");
    EXPECT_FALSE(report.created);
    // And the start after that still finds them, with a .Bak that holds them.
    EXPECT_EQ(StartAndList(), test::Range(0, 30));
    EXPECT_EQ(SubKeysIn(Beside(".Bak")), test::Range(0, 30));
}

// Leaves `archive` as a process killed in the middle of a large write transaction leaves it: changed
// pages already in the file and a hot journal beside it.
void KillWriterMidTransaction(const fs::path& archive) {
    pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        auto db = OpenArchive(archive);
        db->exec("PRAGMA cache_size = 1"); // spill changed pages into the file before the commit
        db->exec("BEGIN");
        db->exec("DELETE FROM tblKamoMail WHERE tblKamoMail_SubKey < 10");
        for (int i = 1000; i < 1200; ++i)
            test::InsertTestMail(*db, test::NumberedMail(i));
        ::raise(SIGKILL);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status));
    ASSERT_TRUE(fs::exists(archive.string() + "-journal"));
}

TEST_F(Start, JournalOfAWriterKilledMidTransactionIsRolledBack) {
    test::AddMails(Archive(), 0, 40);
    KillWriterMidTransaction(Archive());

    EXPECT_EQ(StartAndList(), test::Range(0, 40));
    EXPECT_FALSE(fs::exists(Beside("-journal")));
    EXPECT_TRUE(IsSoundArchive(Archive()));
    EXPECT_EQ(SubKeysIn(Beside(".Bak")), test::Range(0, 40));
}

TEST_F(Start, JournalOfALostArchiveIsNotPlayedIntoTheRestoredOne) {
    test::AddMails(Beside(".Bak"), 0, 20);
    const fs::path other = dir / "other.Mdb";
    test::AddMails(other, 500, 40);
    KillWriterMidTransaction(other);
    fs::rename(other.string() + "-journal", Beside("-journal"));

    EXPECT_EQ(StartAndList(), test::Range(0, 20));
    EXPECT_TRUE(IsSoundArchive(Archive()));
}

// Every compaction step, failed or with the process killed before it, followed by a start.
struct Interruption {
    CompactStep step;
    bool kill;
};

class InterruptedCompaction : public Start, public ::testing::WithParamInterface<Interruption> {};

TEST_P(InterruptedCompaction, NextStartFindsEveryMail) {
    test::AddMails(Archive(), 0, 50);
    {
        auto db = OpenArchive(Archive());
        db->exec("DELETE FROM tblKamoMail WHERE tblKamoMail_SubKey >= 45");
    }
    ASSERT_TRUE(CompactDatabase(Archive())); // a .Bak from an earlier start
    test::AddMails(Archive(), 100, 5);       // mail read since
    auto all = test::Range(0, 45);
    all.insert({100, 101, 102, 103, 104});

    const Interruption cut = GetParam();
    StartupOptions options;
    options.compactHook = [cut](CompactStep s) {
        if (s == cut.step && cut.kill)
            ::raise(SIGKILL);
        return s != cut.step;
    };
    if (cut.kill) {
        pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            Settings settings;
            PrepareArchive(folders, settings, prompter, options);
            ::_exit(0);
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status));
    } else {
        Settings settings;
        auto db = PrepareArchive(folders, settings, prompter, options);
        ASSERT_NE(db, nullptr);
        EXPECT_EQ(SubKeysIn(*db), all);
    }
    EXPECT_TRUE(fs::exists(Archive()));

    StartupReport report;
    EXPECT_EQ(StartAndList(&report), all);
    EXPECT_TRUE(report.compacted);
    EXPECT_FALSE(report.created);
    EXPECT_FALSE(fs::exists(Beside(".New")));
    EXPECT_FALSE(fs::exists(Beside(".Bak.New")));
    EXPECT_EQ(SubKeysIn(Beside(".Bak")), all);
    EXPECT_TRUE(prompter.shown.empty());
}

std::vector<Interruption> AllInterruptions() {
    std::vector<Interruption> v;
    for (CompactStep s : {CompactStep::Copy, CompactStep::SyncCopy, CompactStep::Verify, CompactStep::Backup,
                          CompactStep::Replace, CompactStep::KeepBackup, CompactStep::SyncFolder}) {
        v.push_back({s, false});
        v.push_back({s, true});
    }
    return v;
}

INSTANTIATE_TEST_SUITE_P(EachStep, InterruptedCompaction, ::testing::ValuesIn(AllInterruptions()),
                         [](const ::testing::TestParamInfo<Interruption>& info) {
                             return std::string(info.param.kill ? "Killed" : "Failed") + "AtStep" +
                                    std::to_string(static_cast<int>(info.param.step));
                         });

// An archive as version 2.1.0 left it: no tblFilterData.
class StoredVer : public Start {
protected:
    void OldArchive() {
        test::AddMails(Archive(), 0, 10);
        auto db = OpenArchive(Archive());
        db->exec("DROP TABLE tblFilterData");
    }
    bool HasFilterData() {
        SQLite::Database db(Archive().string(), SQLite::OPEN_READONLY);
        return db.tableExists("tblFilterData");
    }
};

TEST_F(StoredVer, Of210AndOf1000RunTheUpgrade) {
    for (const char* ver : {"210", "1000"}) {
        OldArchive();
        SetVer(ver);
        StartupReport report;
        EXPECT_EQ(StartAndList(&report), test::Range(0, 10)) << ver;
        EXPECT_TRUE(report.upgraded) << ver;
        EXPECT_TRUE(HasFilterData()) << ver;
        EXPECT_EQ(Ver(), "400");
        fs::remove(Archive());
        fs::remove(Beside(".Bak"));
    }
}

TEST_F(StoredVer, Of211And331AndMissingDoNot) {
    for (const char* ver : {"211", "331", ""}) {
        fs::remove(folders.SettingsFile());
        OldArchive();
        if (*ver)
            SetVer(ver);
        StartupReport report;
        EXPECT_EQ(StartAndList(&report), test::Range(0, 10)) << ver;
        EXPECT_FALSE(report.upgraded) << ver;
        EXPECT_FALSE(HasFilterData()) << ver;
        EXPECT_EQ(Ver(), *ver ? ver : "-");
        fs::remove(Archive());
        fs::remove(Beside(".Bak"));
    }
}

TEST_F(StoredVer, AnArchiveWithoutTheAttachmentTableGetsItAtStartWithOrWithoutTheUpgrade) {
    for (const char* ver : {"210", "400"}) {
        OldArchive();
        {
            auto db = OpenArchive(Archive());
            for (const auto& trigger : ArchiveTriggers())
                db->exec("DROP TRIGGER " + trigger.name);
            db->exec("DROP TABLE tblAttachment");
        }
        SetVer(ver);
        Settings settings;
        auto db = PrepareArchive(folders, settings, prompter);
        ASSERT_NE(db, nullptr) << ver;
        EXPECT_TRUE(db->tableExists("tblAttachment")) << ver;
        EXPECT_EQ(db->execAndGet("SELECT COUNT(*) FROM sqlite_master WHERE type = 'trigger'").getInt(),
                  static_cast<int>(ArchiveTriggers().size()))
            << ver;
        EXPECT_EQ(SubKeysIn(*db), test::Range(0, 10)) << ver;
        db.reset();
        fs::remove(Archive());
        fs::remove(Beside(".Bak"));
    }
}

TEST_F(Start, SecondInstanceIsRefusedWhileTheFirstRuns) {
    int ready[2], release[2];
    ASSERT_EQ(::pipe(ready), 0);
    ASSERT_EQ(::pipe(release), 0);
    pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        ScriptedPrompter quiet;
        auto started = StartSession(folders, quiet);
        char c = started ? 'y' : 'n';
        (void)!::write(ready[1], &c, 1);
        (void)!::read(release[0], &c, 1);
        ::_exit(0);
    }
    char c = 0;
    ASSERT_EQ(::read(ready[0], &c, 1), 1);
    ASSERT_EQ(c, 'y');

    auto second = StartSession(folders, prompter);
    EXPECT_EQ(second, nullptr);
    ASSERT_EQ(prompter.shown.size(), 1u);
    EXPECT_EQ(prompter.shown[0].text, "KamoMailはすでに実行されています。");

    (void)!::write(release[1], &c, 1);
    ::waitpid(pid, nullptr, 0);
    for (int fd : {ready[0], ready[1], release[0], release[1]})
        ::close(fd);
    auto third = StartSession(folders, prompter);
    ASSERT_NE(third, nullptr);
    EXPECT_TRUE(third->Archive().tableExists("tblKamoMail"));
}

} // namespace
} // namespace kamo

namespace kamo {
namespace {

TEST_F(Start, ABrokenArchiveIsReportedAndRestoredOnlyWhenTheUserSaysSo) {
    test::AddMails(Archive(), 0, 20);
    fs::copy_file(Archive(), Beside(".Bak"));
    const std::string bak = test::ReadFile(Beside(".Bak"));
    test::WriteFile(Archive(), "");

    // No: nothing changes, and the message says how to restore by hand.
    prompter.QueueAnswer(false);
    EXPECT_EQ(StartAndList(), std::set<int64_t>{-1});
    EXPECT_EQ(fs::file_size(Archive()), 0u);
    EXPECT_EQ(test::ReadFile(Beside(".Bak")), bak);
    ASSERT_EQ(prompter.shown.size(), 2u);
    EXPECT_TRUE(prompter.shown[0].question);
    EXPECT_NE(prompter.shown[0].text.find("アーカイブが壊れています（空のファイルです）。"), std::string::npos);
    EXPECT_NE(prompter.shown[1].text.find("にコピーして下さい。"), std::string::npos);

    // Yes: the broken file is kept aside, the .Bak copied into place and kept.
    prompter.QueueAnswer(true);
    StartupReport report;
    EXPECT_EQ(StartAndList(&report), test::Range(0, 20));
    EXPECT_EQ(report.restoredFrom, "KamoMail.Mdb.Bak");
    EXPECT_EQ(fs::file_size(Beside(".Broken")), 0u);
    EXPECT_TRUE(IsSoundArchive(Beside(".Bak")));
}

TEST_F(Start, ASettingsFolderThatCannotBeWrittenIsSaidSo) {
    // A file where the folder should be: no lock file can be made there, for root too.
    folders.settingsDir = dir / "not-a-folder";
    test::WriteFile(folders.settingsDir, "");
    EXPECT_FALSE(TakeInstanceLock(folders, prompter));
    ASSERT_EQ(prompter.shown.size(), 1u);
    EXPECT_EQ(prompter.shown[0].text.find("設定フォルダに書き込めません（"), 0u) << prompter.shown[0].text;
}

TEST_F(Start, ABrokenArchiveWithoutASoundCopyIsLeftAsItIs) {
    test::WriteFile(Archive(), "not an archive at all, but perhaps the user's only copy");
    const std::string before = test::ReadFile(Archive());
    EXPECT_EQ(StartAndList(), std::set<int64_t>{-1});
    EXPECT_EQ(test::ReadFile(Archive()), before);
    ASSERT_EQ(prompter.shown.size(), 1u);
    EXPECT_NE(prompter.shown[0].text.find("元に戻せる健全なコピー（.New / .Bak）がありません。"), std::string::npos);
    EXPECT_FALSE(fs::exists(Beside(".Bak")));
}

} // namespace
} // namespace kamo

namespace kamo {
namespace {

// A session as the program runs one: opened by the start, closed at its end (which seals the file).
class Sealed : public Start {
protected:
    void RunSession(bool compact = false) {
        Settings settings;
        StartupOptions options;
        options.compact = compact;
        auto db = PrepareArchive(folders, settings, prompter, options, &report);
        ASSERT_NE(db, nullptr);
        ArchiveSession session(folders, nullptr, std::move(db), settings);
        EXPECT_FALSE(fs::exists(Beside(".Closed"))); // in use: a kill now leaves no seal
    }
    // Changes bytes in the middle of the file, keeping its size and, where asked, its time stamp.
    void Scribble(bool keepTime) {
        struct stat before {};
        ASSERT_EQ(::stat(Archive().c_str(), &before), 0);
        std::string bytes = test::ReadFile(Archive());
        for (size_t i = bytes.size() / 2; i < bytes.size() / 2 + 3000; ++i)
            bytes[i] = static_cast<char>(0xA5);
        std::FILE* f = std::fopen(Archive().c_str(), "r+b");
        ASSERT_TRUE(f);
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
        if (keepTime) {
            const struct timespec times[2] = {before.st_atim, before.st_mtim};
            ASSERT_EQ(::utimensat(AT_FDCWD, Archive().c_str(), times, 0), 0);
        }
    }
    // Puts a copy of the archive in its place with the archive's time stamp: a new inode, nothing else.
    void ReplaceWithCopy() {
        struct stat before {};
        ASSERT_EQ(::stat(Archive().c_str(), &before), 0);
        fs::copy_file(Archive(), Beside(".copy"));
        const struct timespec times[2] = {before.st_atim, before.st_mtim};
        ASSERT_EQ(::utimensat(AT_FDCWD, Beside(".copy").c_str(), times, 0), 0);
        fs::rename(Beside(".copy"), Archive());
        const auto now = ReadArchiveStamp(Archive());
        ASSERT_TRUE(now);
        EXPECT_NE(now->inode, static_cast<uint64_t>(before.st_ino));
        EXPECT_EQ(now->modifiedNs,
                  static_cast<int64_t>(before.st_mtim.tv_sec) * 1'000'000'000 + before.st_mtim.tv_nsec);
    }
    StartupReport report;
};

TEST_F(Sealed, OnlyAnArchiveAsTheLastCleanCloseLeftItSkipsTheFullCheck) {
    test::AddMails(Archive(), 0, 400);
    RunSession(); // no seal yet: checked in full
    EXPECT_TRUE(report.fullCheck);
    EXPECT_TRUE(fs::exists(Beside(".Closed")));
    const std::string bytes = test::ReadFile(Archive());
    struct Case {
        const char* what;
        std::function<void()> change;
    };
    const Case cases[] = {
        {"nothing changed", [] {}},
        {"a mail added by another program", [&] { test::AddMails(Archive(), 1000, 1); }},
        {"bytes changed", [&] { Scribble(false); }},
        {"cut short", [&] { fs::resize_file(Archive(), fs::file_size(Archive()) - 1024); }},
        {"a journal beside it", [&] { test::WriteFile(Beside("-journal"), std::string(512, '\0')); }},
        {"the seal of another file",
         [&] {
             fs::copy_file(Archive(), Beside(".copy"));
             fs::remove(Archive());
             fs::rename(Beside(".copy"), Archive());
         }},
        // Same bytes, size, time and change counter: only the inode tells the copy from the file sealed.
        {"a copy with the same time", [&] { ReplaceWithCopy(); }},
    };
    for (const auto& c : cases) {
        // Every case starts from the same sealed archive.
        test::WriteFile(Archive(), bytes);
        fs::remove(Beside("-journal"));
        prompter.shown.clear();
        RunSession();
        ASSERT_TRUE(fs::exists(Beside(".Closed")));
        c.change();
        report = {};
        prompter.QueueAnswer(false); // a broken archive is not restored in this test
        Settings settings;
        auto db = PrepareArchive(folders, settings, prompter, StartupOptions{false, {}, {}}, &report);
        EXPECT_EQ(report.fullCheck, std::string(c.what) != "nothing changed") << c.what;
        const bool broken = std::string(c.what) == "bytes changed" || std::string(c.what) == "cut short";
        EXPECT_EQ(db == nullptr, broken) << c.what;
        db.reset();
        fs::remove(Beside("-journal"));
    }
}

// Damage no stamp shows is found by the full check of a start that compacts: the user hears that the
// archive is broken and is offered the .Bak, nothing is opened, and no later start trusts the file.
TEST_F(Sealed, DamageThatKeepsSizeAndTimeIsToldWithTheBakOfferAndNeverSealedAgain) {
    test::AddMails(Archive(), 0, 400);
    RunSession(true); // compacted: a .Bak from this start
    ASSERT_TRUE(fs::exists(Beside(".Bak")));
    const std::string bak = test::ReadFile(Beside(".Bak"));
    // Damage no stamp shows: same size, same time, same change counter.
    Scribble(true);
    ASSERT_TRUE(ArchiveSealMatches(Archive()));
    const std::string damaged = test::ReadFile(Archive());
    report = {};
    prompter.shown.clear();
    Settings settings;
    auto db = PrepareArchive(folders, settings, prompter, {}, &report); // the offer declined
    EXPECT_EQ(db, nullptr);
    EXPECT_FALSE(report.compacted);
    EXPECT_EQ(test::ReadFile(Beside(".Bak")), bak);
    EXPECT_EQ(test::ReadFile(Archive()), damaged);
    ASSERT_FALSE(prompter.shown.empty());
    EXPECT_TRUE(prompter.shown[0].question);
    EXPECT_NE(prompter.shown[0].text.find("アーカイブが壊れています（"), std::string::npos) << prompter.shown[0].text;
    EXPECT_NE(prompter.shown[0].text.find("KamoMail.Mdb.Bak から元に戻しますか？"), std::string::npos)
        << prompter.shown[0].text;
    EXPECT_FALSE(fs::exists(Beside(".Closed")));
    EXPECT_FALSE(ArchiveSealMatches(Archive()));

    // A start that does not compact reads it in full now, and restores the .Bak on the user's word.
    report = {};
    prompter.QueueAnswer(true);
    db = PrepareArchive(folders, settings, prompter, StartupOptions{false, {}, {}}, &report);
    ASSERT_NE(db, nullptr);
    EXPECT_TRUE(report.fullCheck);
    EXPECT_EQ(report.restoredFrom, "KamoMail.Mdb.Bak");
    EXPECT_EQ(test::ReadFile(Beside(".Broken")), damaged);
}

// Whatever is in the seal's place that this program did not write there is no seal: the start checks
// in full and goes on, never waiting on a FIFO nor reading a device without end.
TEST_F(Sealed, ASealThatIsNotARegularFileIsNoSealAndNeverWaits) {
    test::AddMails(Archive(), 0, 50);
    RunSession();
    ASSERT_TRUE(ArchiveSealMatches(Archive()));
    const std::string seal = test::ReadFile(Beside(".Closed"));
    struct Case {
        const char* what;
        std::function<void()> plant;
    };
    const Case cases[] = {
        {"a FIFO", [&] { ASSERT_EQ(::mkfifo(Beside(".Closed").c_str(), 0600), 0); }},
        {"a link to /dev/zero", [&] { fs::create_symlink("/dev/zero", Beside(".Closed")); }},
        {"the seal with a megabyte after it",
         [&] { test::WriteFile(Beside(".Closed"), seal + std::string(1 << 20, ' ')); }},
    };
    for (const auto& c : cases) {
        fs::remove(Beside(".Closed"));
        c.plant();
        // In a child with a deadline, so that a start that waits fails instead of hanging the tests.
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            ::alarm(20);
            ::_exit(ArchiveSealMatches(Archive()) ? 1 : 0);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << c.what << ": status " << status;
        // The start goes on with a full check; the session takes the thing away and its close seals anew.
        report = {};
        RunSession();
        EXPECT_TRUE(report.fullCheck) << c.what;
        EXPECT_FALSE(fs::is_symlink(Beside(".Closed"))) << c.what;
        EXPECT_TRUE(ArchiveSealMatches(Archive())) << c.what;
    }
}

} // namespace
} // namespace kamo

namespace kamo {
namespace {

TEST_F(Start, ALongCheckIsToldAsItRunsAndToASecondStart) {
    test::AddMails(Archive(), 0, 300); // no seal: the start reads the whole file
    auto lock = TakeInstanceLock(folders, prompter);
    ASSERT_TRUE(lock);
    std::vector<std::string> told;
    std::string secondSaw;
    StartupOptions options;
    options.compact = false;
    options.progress = [&](const std::string& doing) {
        told.push_back(doing);
        if (secondSaw.empty()) {
            ScriptedPrompter second;
            EXPECT_FALSE(TakeInstanceLock(folders, second));
            secondSaw = second.shown.at(0).text;
        }
    };
    Settings settings;
    StartupReport report;
    ASSERT_NE(PrepareArchive(folders, settings, prompter, options, &report), nullptr);
    EXPECT_TRUE(report.fullCheck);
    ASSERT_FALSE(told.empty());
    EXPECT_EQ(told.front(), "アーカイブを検査しています…");
    EXPECT_EQ(secondSaw, "KamoMailはすでに実行されています。\nいま起動の途中です（アーカイブを検査しています…）。"
                         "終わるまでお待ち下さい。");
    // Once the step is over, a second start hears only that one runs.
    ScriptedPrompter later;
    EXPECT_FALSE(TakeInstanceLock(folders, later));
    EXPECT_EQ(later.shown.at(0).text, "KamoMailはすでに実行されています。");
}

} // namespace
} // namespace kamo

namespace kamo {
namespace {

TEST_F(Start, AnArchiveAnotherProgramHoldsIsInUseNotBroken) {
    test::AddMails(Archive(), 0, 20);
    fs::copy_file(Archive(), Beside(".Bak"));
    const std::string bak = test::ReadFile(Beside(".Bak"));
    int ready[2], release[2];
    ASSERT_EQ(::pipe(ready), 0);
    ASSERT_EQ(::pipe(release), 0);
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        // Another program in the middle of writing.
        SQLite::Database other(Archive().string(), SQLite::OPEN_READWRITE);
        other.exec("BEGIN EXCLUSIVE");
        other.exec("DELETE FROM tblKamoMail");
        char c = 'y';
        (void)!::write(ready[1], &c, 1);
        (void)!::read(release[0], &c, 1);
        other.exec("ROLLBACK");
        ::_exit(0);
    }
    char c = 0;
    ASSERT_EQ(::read(ready[0], &c, 1), 1);
    EXPECT_EQ(StartAndList(), std::set<int64_t>{-1});
    ASSERT_EQ(prompter.shown.size(), 1u); // told, never asked to restore
    EXPECT_FALSE(prompter.shown[0].question);
    EXPECT_NE(prompter.shown[0].text.find("アーカイブは他のプログラムが使用中です"), std::string::npos);
    EXPECT_NE(prompter.shown[0].text.find("PID " + std::to_string(pid)), std::string::npos) << prompter.shown[0].text;
    EXPECT_EQ(prompter.shown[0].text.find("壊れて"), std::string::npos);
    (void)!::write(release[1], &c, 1);
    ::waitpid(pid, nullptr, 0);
    for (int fd : {ready[0], ready[1], release[0], release[1]})
        ::close(fd);
    EXPECT_EQ(test::ReadFile(Beside(".Bak")), bak);
    EXPECT_FALSE(fs::exists(Beside(".Broken")));
    prompter.shown.clear();
    EXPECT_EQ(StartAndList(), test::Range(0, 20)); // once it let go, every mail is there
}

} // namespace
} // namespace kamo
