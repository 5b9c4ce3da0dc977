// kamomail read --watch as a user runs it: a child process over a PostPet folder that a slow writer
// fills, ended by a signal, with its folder taken away and brought back. The archive is counted
// with SQLite afterwards.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fstream>
#include <functional>
#include <thread>

#include <SQLiteCpp/Database.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "ppwriter/MailboxWriter.h"
#include "testsupport/TestSupport.h"

namespace kamo {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Generous: a slow two-core machine with the sanitizers.
constexpr auto kPatience = 180s;

// `count` mails, every one with its own date and subject.
ppw::MailboxBytes Mails(int first, int count) {
    std::vector<ppw::Mail> mails;
    for (int i = first; i < first + count; ++i) {
        ppw::Mail mail;
        mail.from = "送り主 <sender@example.jp>";
        mail.to = "わたし <me@example.jp>";
        mail.subject = "便り " + std::to_string(i);
        char date[64];
        std::snprintf(date, sizeof date, "Tue, %02d Sep 2001 %02d:%02d:%02d +0900", 1 + i / 86400 % 28, i / 3600 % 24,
                      i / 60 % 60, i % 60);
        mail.date = date;
        mail.body = "本文 " + std::to_string(i) + "\r\n";
        mails.push_back(mail);
    }
    return ppw::BuildMailbox(mails);
}

// Writes `bytes` over `path` in a few pieces with pauses, as a program writing slowly would.
void WriteSlowly(const fs::path& path, const std::string& bytes, int pieces = 5,
                 std::chrono::milliseconds pause = 150ms) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    const size_t step = bytes.size() / static_cast<size_t>(pieces) + 1;
    for (size_t at = 0; at < bytes.size(); at += step) {
        out.write(bytes.data() + at, static_cast<std::streamsize>(std::min(step, bytes.size() - at)));
        out.flush();
        std::this_thread::sleep_for(pause);
    }
}

class ReadWatch : public ::testing::Test {
protected:
    void SetUp() override { fs::create_directories(postPet / "受信フォルダ"); }
    void TearDown() override {
        if (pid > 0) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
    }

    pid_t Start(const std::vector<std::string>& args) {
        return test::LaunchProgram(
            args,
            {{{"KAMOMAIL_CONFIG_DIR", (dir / "config").string()}, {"KAMOMAIL_DATA_DIR", (dir / "data").string()}}, {}},
            log, true);
    }
    void StartWatching(int settleMs) {
        pid = Start(
            {"read", "--watch", "--all", "--postpet-dir", postPet.string(), "--settle-ms", std::to_string(settleMs)});
        ASSERT_TRUE(Until([&] { return Log().find("見張りを始めました") != std::string::npos; })) << Log();
    }
    // Ends the watcher with `sig` and gives its exit status (-1 when it did not exit by itself).
    int End(int sig) {
        ::kill(pid, sig);
        int status = 0;
        ::waitpid(pid, &status, 0);
        pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    std::string Log() const { return fs::exists(log) ? test::ReadFile(log) : ""; }
    int64_t Stored() const {
        const fs::path archive = dir / "data" / "KamoMail.Mdb";
        if (!fs::exists(archive))
            return -1;
        try {
            SQLite::Database db(archive.string(), SQLite::OPEN_READONLY);
            db.setBusyTimeout(5000);
            return db.execAndGet("SELECT COUNT(*) FROM tblKamoMail").getInt64();
        } catch (const std::exception&) {
            return -1; // not made yet
        }
    }
    static bool Until(const std::function<bool()>& done, std::chrono::seconds patience = kPatience) {
        const auto end = std::chrono::steady_clock::now() + patience;
        while (std::chrono::steady_clock::now() < end) {
            if (done())
                return true;
            std::this_thread::sleep_for(50ms);
        }
        return done();
    }
    // How many of the log's read lines there are, and whether any told of damage.
    int ReadLines() const {
        const std::string text = Log();
        int n = 0;
        for (size_t at = 0; (at = text.find(": 読み込み ", at)) != std::string::npos; ++at)
            ++n;
        return n;
    }

    test::TempDir dir;
    fs::path postPet = dir / "disk" / "PostPet";
    fs::path inboxList = postPet / "受信フォルダ" / "受信リスト.ppl";
    fs::path inboxMail = postPet / "受信フォルダ" / "受信メール.ppm";
    fs::path log = dir / "watch.log";
    pid_t pid = -1;
};

TEST_F(ReadWatch, ReadsWhatASlowWriterWritesOnceItIsWhole) {
    StartWatching(1500);
    // The mail file first, then the list, each in pieces: never read half-written.
    auto first = Mails(0, 20);
    WriteSlowly(inboxMail, first.mail);
    WriteSlowly(inboxList, first.list);
    ASSERT_TRUE(Until([&] { return Stored() == 20; })) << Stored() << "\n" << Log();

    // PostPet writes the mailbox again with ten more.
    auto more = Mails(0, 30);
    WriteSlowly(inboxMail, more.mail);
    WriteSlowly(inboxList, more.list);
    ASSERT_TRUE(Until([&] { return Stored() == 30; })) << Stored() << "\n" << Log();
    // The read that stored them writes its line after its commit: wait for it before counting.
    ASSERT_TRUE(Until([&] { return Log().find("保存 10 通") != std::string::npos; })) << Log();
    // A quiet while: nothing is read again while nothing changes.
    const int reads = ReadLines();
    std::this_thread::sleep_for(3s);
    EXPECT_EQ(ReadLines(), reads) << Log();

    EXPECT_EQ(End(SIGTERM), 0) << Log();
    EXPECT_EQ(Stored(), 30);
    const std::string text = Log();
    EXPECT_EQ(text.find("壊れた"), std::string::npos) << text;
    EXPECT_EQ(text.find("エラー"), std::string::npos) << text;
    EXPECT_NE(text.find("見張りを終えました"), std::string::npos) << text;
}

TEST_F(ReadWatch, AnEndSignalDuringAReadLeavesWholeMailboxes) {
    for (int sig : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(sig);
        // Two large mailboxes, so that the signal comes while they are read.
        const int base = sig == SIGTERM ? 0 : 100000;
        auto inbox = Mails(base, 4000);
        test::WriteFile(inboxMail, inbox.mail);
        test::WriteFile(inboxList, inbox.list);
        fs::create_directories(postPet / "送信フォルダ");
        auto outbox = Mails(base + 50000, 4000);
        test::WriteFile(postPet / "送信フォルダ" / "送信メール.ppm", outbox.mail);
        test::WriteFile(postPet / "送信フォルダ" / "送信リスト.ppl", outbox.list);
        const fs::path tmp = dir / "data" / "KamoMail.Tmp";
        fs::remove(tmp);
        fs::remove(log);
        const int64_t before = std::max<int64_t>(0, Stored());

        StartWatching(200);
        // The read has begun when the library writes its converted file.
        ASSERT_TRUE(Until([&] { return fs::exists(tmp); })) << Log();
        EXPECT_EQ(End(sig), 0) << Log();
        // Whole mailboxes only: the read ended before the program did.
        EXPECT_EQ(Stored() - before, 8000) << Log();
        EXPECT_NE(Log().find("見張りを終えました"), std::string::npos) << Log();
    }
}

TEST_F(ReadWatch, AFolderThatGoesAndComesBackIsWatchedAgain) {
    auto first = Mails(0, 5);
    test::WriteFile(inboxMail, first.mail);
    test::WriteFile(inboxList, first.list);
    StartWatching(300);
    ASSERT_TRUE(Until([&] { return Stored() == 5; })) << Log();

    // The folder goes away (a disk unmounted, a prefix moved); what comes back holds more mail.
    const fs::path away = dir / "away";
    fs::rename(postPet, away);
    ASSERT_TRUE(Until([&] { return Log().find("見つかりません") != std::string::npos; })) << Log();
    auto more = Mails(0, 12);
    test::WriteFile(away / "受信フォルダ" / "受信メール.ppm", more.mail);
    test::WriteFile(away / "受信フォルダ" / "受信リスト.ppl", more.list);
    fs::rename(away, postPet);
    ASSERT_TRUE(Until([&] { return Stored() == 12; })) << Stored() << "\n" << Log();

    // And it is watched as before: mail written now is read too.
    auto last = Mails(0, 15);
    WriteSlowly(inboxMail, last.mail, 3);
    WriteSlowly(inboxList, last.list, 3);
    ASSERT_TRUE(Until([&] { return Stored() == 15; })) << Stored() << "\n" << Log();
    EXPECT_EQ(End(SIGTERM), 0) << Log();
}

// With only the inbox ticked, a PostPet folder moved away and made anew is watched in its place.
TEST_F(ReadWatch, AReplacedFolderIsWatchedWithOnlyTheInboxTicked) {
    fs::create_directories(dir / "config");
    test::WriteFile(dir / "config" / "KAMOMAIL.ini",
                    "[Mail Options]\nReciev Mail Read Option=1,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0\n");
    auto first = Mails(0, 5);
    test::WriteFile(inboxMail, first.mail);
    test::WriteFile(inboxList, first.list);
    pid = Start({"read", "--watch", "--postpet-dir", postPet.string(), "--settle-ms", "300"});
    ASSERT_TRUE(Until([&] { return Stored() == 5; })) << Log();

    fs::rename(postPet, dir / "disk" / "PostPet.old");
    fs::create_directories(postPet / "受信フォルダ");
    auto more = Mails(0, 9);
    test::WriteFile(inboxMail, more.mail);
    test::WriteFile(inboxList, more.list);
    ASSERT_TRUE(Until([&] { return Stored() == 9; })) << Stored() << "\n" << Log();
    EXPECT_EQ(End(SIGTERM), 0) << Log();
}

// Another program holds the archive: the read fails, the line says it is tried again, and the mail
// is stored once the archive is free, with nothing written to the mailbox meanwhile.
TEST_F(ReadWatch, AFailedReadIsTriedAgainUntilItSucceeds) {
    auto first = Mails(0, 5);
    test::WriteFile(inboxMail, first.mail);
    test::WriteFile(inboxList, first.list);
    StartWatching(300);
    ASSERT_TRUE(Until([&] { return Stored() == 5; })) << Log();
    {
        SQLite::Database holder((dir / "data" / "KamoMail.Mdb").string(), SQLite::OPEN_READWRITE);
        holder.setBusyTimeout(30000);   // past a read that may be under way
        holder.exec("BEGIN IMMEDIATE"); // readers may, writers wait
        auto more = Mails(0, 12);
        test::WriteFile(inboxMail, more.mail);
        test::WriteFile(inboxList, more.list);
        ASSERT_TRUE(Until([&] { return Log().find("もう一度読みます") != std::string::npos; })) << Log();
        EXPECT_NE(Log().find("エラーが発生しました"), std::string::npos) << Log();
        holder.exec("ROLLBACK");
    }
    ASSERT_TRUE(Until([&] { return Stored() == 12; })) << Stored() << "\n" << Log();
    EXPECT_EQ(End(SIGTERM), 0) << Log();
}

// PostPet pauses longer than the settle time with the list written and the mail file half: the
// read says the mailbox is still being written (no damage told) and reads it again once whole.
TEST_F(ReadWatch, AMailboxPausedMidWriteIsNotToldDamaged) {
    StartWatching(1000); // damage would stand only after MailboxWatch::kDamageSettles of these
    const auto mails = Mails(0, 10);
    test::WriteFile(inboxList, mails.list);
    test::WriteFile(inboxMail, mails.mail.substr(0, mails.mail.size() / 2));
    ASSERT_TRUE(Until([&] { return Log().find("まだ書き込み中のようです") != std::string::npos; })) << Log();
    test::WriteFile(inboxMail, mails.mail);
    ASSERT_TRUE(Until([&] { return Stored() == 10; })) << Stored() << "\n" << Log();
    EXPECT_EQ(End(SIGTERM), 0) << Log();
    EXPECT_EQ(Log().find("壊れた"), std::string::npos) << Log();
}

} // namespace
} // namespace kamo
