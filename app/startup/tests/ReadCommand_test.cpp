// `kamomail read` as a user runs it: the program of this build in a child process.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "common/Messages.h"
#include "db/Schema.h"
#include "db/Trash.h"
#include "db/tests/ArchiveFiles.h"
#include "platform/InstanceLock.h"
#include "ppwriter/MailboxWriter.h"
#include "testsupport/TestSupport.h"

using namespace kamo;

namespace {

struct ProgramRun {
    int status = -1;
    long peakKb = 0; // the child's peak resident memory (ru_maxrss)
    std::string out;
    std::string err;
};

class ReadCommandTest : public ::testing::Test {
protected:
    ProgramRun Kamomail(const std::vector<std::string>& args, const char* asanOptions = nullptr) {
        const auto outPath = dir / "out.txt";
        const auto errPath = dir / "err.txt";
        const std::string program = (test::BuildBinDir() / "kamomail").string();
        const pid_t pid = fork();
        if (pid == 0) {
            setenv("KAMOMAIL_CONFIG_DIR", (dir / "config").c_str(), 1);
            setenv("KAMOMAIL_DATA_DIR", (dir / "data").c_str(), 1);
            if (asanOptions)
                setenv("ASAN_OPTIONS", asanOptions, 1);
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
        rusage usage{};
        wait4(pid, &status, 0, &usage);
        run.peakKb = usage.ru_maxrss;
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

TEST_F(ReadCommandTest, FriendsTablesAndBackupsFromTheTerminal) {
    ppw::WriteSampleFolder(dir / "PostPet");
    ASSERT_EQ(Kamomail({"read", "--postpet-dir", (dir / "PostPet").string(), "--all"}).status, 0);
    const int64_t mails = Rows();

    const ProgramRun friends = Kamomail({"friends", "--read", (dir / "PostPet" / ppw::kFriendFileName).string()});
    ASSERT_EQ(friends.status, 0) << friends.err;
    EXPECT_NE(friends.out.find("おともだちファイルを読み込みました。\n追加 "), std::string::npos) << friends.out;
    const ProgramRun again = Kamomail({"friends", "--read", (dir / "PostPet" / ppw::kFriendFileName).string()});
    EXPECT_NE(again.out.find("追加 0 件 / 更新 0 件"), std::string::npos) << again.out;

    const ProgramRun exported = Kamomail({"export", "--format", "csv", (dir / "csv").string()});
    ASSERT_EQ(exported.status, 0) << exported.err;
    EXPECT_TRUE(std::filesystem::exists(dir / "csv" / "tblKamoMail.csv"));
    EXPECT_TRUE(std::filesystem::exists(dir / "csv" / "tblFriend.csv"));

    // Into an empty archive elsewhere: every mail comes back, and the look-ups with it.
    std::filesystem::rename(dir / "data", dir / "data-before");
    const ProgramRun imported = Kamomail({"import", "--format=csv", (dir / "csv").string()});
    ASSERT_EQ(imported.status, 0) << imported.err;
    EXPECT_EQ(Rows(), mails);
    EXPECT_NE(imported.out.find("tblKamoMail: 追加 " + std::to_string(mails) + " 行"), std::string::npos)
        << imported.out;

    const ProgramRun first = Kamomail({"backup"});
    ASSERT_EQ(first.status, 0) << first.err;
    const std::filesystem::path backup = first.out.substr(0, first.out.find('\n'));
    EXPECT_TRUE(std::filesystem::exists(backup));
    EXPECT_EQ(Kamomail({"backup"}).status, 0);
    const ProgramRun list = Kamomail({"backups"});
    ASSERT_EQ(list.status, 0);
    EXPECT_EQ(std::count(list.out.begin(), list.out.end(), '\n'), 1) << list.out; // one backup a day
    EXPECT_NE(list.out.find("\t" + std::to_string(mails) + "\t" + backup.string()), std::string::npos) << list.out;

    // A damaged record is reported by its place and fails the command; the sound ones are stored.
    ppw::Friend sound;
    sound.petKind = 1;
    sound.petName = "ポチ";
    sound.ownerName = "山田";
    sound.address = "new@example.jp";
    const std::string record = ppw::FriendFileBytes({sound});
    test::WriteFile(dir / "damaged.dat", record + std::string(5, '\xff') + record);
    const ProgramRun damaged = Kamomail({"friends", "--read", (dir / "damaged.dat").string()});
    EXPECT_EQ(damaged.status, 1);
    EXPECT_NE(
        damaged.err.find("追加 1 件 / 更新 0 件 / 変更なし 1 件\n壊れたレコード 1 件は読み込みませんでした。\n　2 "
                         "件目（バイト位置 " +
                         std::to_string(record.size()) + "、5 バイト）"),
        std::string::npos)
        << damaged.err;
    // What is no friend file is refused with the one message.
    const ProgramRun table = Kamomail({"friends", "--read", (dir / "csv" / "tblKamoMail.csv").string()});
    EXPECT_EQ(table.status, 1);
    EXPECT_NE(table.err.find("おともだちファイルではありません\n"), std::string::npos) << table.err;
    EXPECT_EQ(table.err.find("読み込"), std::string::npos) << table.err;
    EXPECT_EQ(table.out, "");

    for (const auto& bad : std::vector<std::vector<std::string>>{
             {"export", "--format", "xml", "d"}, {"import"}, {"friends", "Friend.dat"}, {"backup", "now"}})
        EXPECT_EQ(Kamomail(bad).status, 2) << bad[0];
    const ProgramRun broken = Kamomail({"import", "--format", "csv", (dir / "nowhere").string()});
    EXPECT_EQ(broken.status, 1);
    EXPECT_NE(broken.err.find("取り込むフォルダが見つかりません。"), std::string::npos) << broken.err;
}

// The CSV export writes each table as it reads it: its peak memory does not grow with the archive.
// 20 mails against 200 mails of 500 kB (100 MB of text); the sanitizer keeps no freed memory aside
// here, so what is measured is what the program holds.
TEST_F(ReadCommandTest, TheTrashFromTheTerminalListsRestoresAndEmpties) {
    ppw::WriteSampleFolder(dir / "PostPet");
    const std::vector<std::string> read = {"read", "--postpet-dir", (dir / "PostPet").string(), "--all"};
    ASSERT_EQ(Kamomail(read).status, 0);
    const int64_t mails = Rows();
    auto trashOne = [&] {
        auto db = OpenArchive(dir / "data" / "KamoMail.Mdb");
        ASSERT_EQ(MoveToTrash(*db, "rowid = (SELECT min(rowid) FROM tblKamoMail)", [](SQLite::Statement&) {}).mails, 1);
    };
    trashOne();
    const ProgramRun list = Kamomail({"trash"});
    ASSERT_EQ(list.status, 0) << list.err;
    EXPECT_EQ(std::count(list.out.begin(), list.out.end(), '\n'), 1) << list.out;
    EXPECT_EQ(list.out.rfind("1\t", 0), 0u) << list.out; // the batch first

    const ProgramRun again = Kamomail(read);
    EXPECT_NE(again.out.find("/ 削除済み 1"), std::string::npos) << again.out;
    EXPECT_EQ(Rows(), mails - 1);

    const ProgramRun restore = Kamomail({"trash", "--restore"});
    ASSERT_EQ(restore.status, 0) << restore.err;
    EXPECT_NE(restore.out.find("元に戻しました（1 通）"), std::string::npos) << restore.out;
    EXPECT_EQ(Rows(), mails);

    trashOne();
    const ProgramRun empty = Kamomail({"trash", "--empty"});
    EXPECT_NE(empty.out.find("ゴミ箱を空にしました（1 通）"), std::string::npos) << empty.out;
    EXPECT_EQ(Kamomail({"trash"}).out, "");
    EXPECT_EQ(Kamomail({"trash", "--all"}).status, 2);
    ASSERT_EQ(Kamomail(read).status, 0);
    EXPECT_EQ(Rows(), mails); // emptied: the folder's copy is stored again
}

// Another program in the middle of reading the archive (a read transaction of its own): every
// writing command waits for it, then refuses in the catalogue's words, and the archive is as it was,
// the same file (never replaced under that program) with the same rows.
TEST_F(ReadCommandTest, AWriteUnderAnotherProgramsReadLockIsRefusedInWordsAndLosesNothing) {
    ppw::WriteSampleFolder(dir / "PostPet");
    ASSERT_EQ(Kamomail({"read", "--postpet-dir", (dir / "PostPet").string(), "--all"}).status, 0);
    const auto archive = dir / "data" / "KamoMail.Mdb";
    ASSERT_EQ(Kamomail({"export", "--format", "csv", (dir / "csv").string()}).status, 0);
    {
        auto db = OpenArchive(archive);
        ASSERT_EQ(MoveToTrash(*db, "rowid = (SELECT min(rowid) FROM tblKamoMail)", [](SQLite::Statement&) {}).mails, 1);
        db->exec("DELETE FROM tblFriend");
    }
    auto counts = [&] {
        auto db = OpenArchive(archive);
        std::string rows;
        for (const char* table : {"tblKamoMail", "tblTrash", "tblFriend", "tblAttachment"})
            rows += std::to_string(db->execAndGet(std::string("SELECT COUNT(*) FROM ") + table).getInt64()) + " ";
        return rows;
    };
    const std::string before = counts();
    const std::string busy = MessageOf(Failure(FailureCode::ArchiveBusy));
    const std::vector<std::vector<std::string>> commands = {
        {"trash", "--empty"},
        {"trash", "--restore"},
        {"friends", "--read", (dir / "PostPet" / ppw::kFriendFileName).string()},
        {"import", "--format", "csv", (dir / "csv").string()},
    };
    for (const auto& command : commands) {
        SCOPED_TRACE(command[0] + " " + command[1]);
        struct stat held {};
        ASSERT_EQ(::stat(archive.c_str(), &held), 0);
        SQLite::Database other(archive.string());
        other.exec("BEGIN");
        ASSERT_GT(other.execAndGet("SELECT COUNT(*) FROM tblKamoMail").getInt64(), 0);
        const ProgramRun run = Kamomail(command);
        other.exec("COMMIT");
        EXPECT_EQ(run.status, 1) << run.out << run.err;
        EXPECT_NE((run.out + run.err).find(busy), std::string::npos) << run.out << run.err;
        EXPECT_EQ((run.out + run.err).find("locked"), std::string::npos) << run.out << run.err;
        struct stat after {};
        ASSERT_EQ(::stat(archive.c_str(), &after), 0);
        EXPECT_EQ(after.st_ino, held.st_ino);
        EXPECT_EQ(counts(), before);
    }
}

// A restore stopped right after its transaction commits (here the restore's own commit, with no
// refresh after it): the mails are back, and the next command that opens the archive makes their
// addresses' look-up again before it lists them.
TEST_F(ReadCommandTest, WhatARestoreStoppedBeforeItsRefreshLeftIsMadeByTheNextCommand) {
    ppw::WriteSampleFolder(dir / "PostPet");
    ASSERT_EQ(Kamomail({"read", "--postpet-dir", (dir / "PostPet").string(), "--all"}).status, 0);
    const auto archive = dir / "data" / "KamoMail.Mdb";
    const std::vector<std::string> addresses = {"list", "--by", "address"};
    const std::string all = Kamomail(addresses).out;
    std::string gone;
    {
        auto db = OpenArchive(archive);
        gone =
            db->execAndGet("SELECT tblKamoMail_SndAdd FROM tblKamoMail WHERE tblKamoMail_SndRcvFlag = 0").getString();
        ASSERT_GT(MoveToTrash(*db, "tblKamoMail_SndAdd = :a OR tblKamoMail_RcvAdd = :a",
                              [&](SQLite::Statement& st) { st.bind(":a", gone); })
                      .mails,
                  0);
    }
    ASSERT_EQ(Kamomail({"trash"}).status, 0);
    ASSERT_EQ(Kamomail(addresses).out.find(gone), std::string::npos);
    {
        auto db = OpenArchive(archive);
        ASSERT_FALSE(RestoreTrashBatch(*db, LastTrashBatch(*db)).empty());
    }
    EXPECT_EQ(Kamomail(addresses).out, all);
    EXPECT_TRUE(OwedRebuilds(*OpenArchive(archive)).empty());
}

TEST_F(ReadCommandTest, TheCsvExportsMemoryDoesNotGrowWithTheArchive) {
    const auto archive = dir / "data" / "KamoMail.Mdb";
    std::filesystem::create_directories(dir / "data");
    const char* asan = "quarantine_size_mb=0:detect_leaks=0";
    auto exportPeak = [&](const char* name) {
        const ProgramRun run = Kamomail({"export", "--format", "csv", (dir / name).string()}, asan);
        EXPECT_EQ(run.status, 0) << run.err;
        return run.peakKb;
    };
    test::AddMails(archive, 0, 20);
    const long small = exportPeak("small");
    test::AddMails(archive, 20, 180);
    OpenArchive(archive)->exec("UPDATE tblKamoMail SET tblKamoMail_Mail16 = replace(hex(zeroblob(250000)), '0', 'x')");
    const long large = exportPeak("large");
    EXPECT_GT(std::filesystem::file_size(dir / "large" / "tblKamoMail.csv"), 100000000u);
    std::printf("CSV export peak memory: %ld kB (20 small mails), %ld kB (200 mails, 100 MB)\n", small, large);
    EXPECT_LT(large - small, 30 * 1024) << small << " kB against " << large << " kB";
}
