// kamomail export --format imap against a real Dovecot on 127.0.0.1 (testsupport/DovecotServer), what
// it stored read back by another client (imap/tests/imap_probe.py: Python's imaplib, its own decoding of
// folder names) and compared with what the eml export writes for the same mails.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <map>
#include <sstream>

#include <csignal>
#include <thread>

#include <sys/stat.h>
#include <sys/wait.h>

#include <SQLiteCpp/Transaction.h>

#include "common/Messages.h"
#include "common/MessagesExport.h"
#include "db/MailOriginals.h"
#include "db/Schema.h"
#include "export/ImapUpload.h"
#include "export/MailSelection.h"
#include "imap/ImapSession.h"
#include "mime/MailDates.h"
#include "mime/MimeHeaders.h"
#include "platform/Folders.h"
#include "startup/ExportCommand.h"
#include "testsupport/DovecotServer.h"
#include "testsupport/TestSupport.h"

namespace kamo {
namespace {

namespace fs = std::filesystem;
using test::DovecotOptions;
using test::DovecotServer;

// One mail of the archive: its row, and what PostPet held for it when an original is kept.
struct ArchiveMail {
    MailRecord row;
    std::optional<MailOriginal> original;
    std::string mailbox;
};

MailOriginal Original(const std::string& header, const std::string& body) {
    MailOriginal o;
    o.from = HeaderField(header, "From").value_or("");
    o.subject = HeaderField(header, "Subject").value_or("");
    o.date = HeaderField(header, "Date").value_or("");
    o.header = header;
    o.body = body;
    return o;
}

// A small archive: each mailbox, a mail from none, a date that could not be read, a leap second, a
// zone other than Japan's, and an original without a Message-ID written with bare LF line ends.
std::vector<ArchiveMail> SmallArchive() {
    const test::MailBuilder base = test::MailBuilder().To("かも", "kamo@example.jp").Include("0");
    const auto mail = [&](int64_t subKey, const char* ymd, const char* hms, bool sent, const char* subject) {
        return base.Date(ymd, hms)
            .SubKey(subKey)
            .Sent(sent)
            .From("花子", "hanako@example.jp")
            .Subject(subject)
            .Body(std::string("本文 ") + subject + "\r\n")
            .Build();
    };
    return {
        {mail(1, "2001/09/04", "21:05:33", false, "受信のメール"), std::nullopt, ""},
        {mail(2, "2001/04/03", "04:40:20", true, "送ったメール"),
         Original("From: hanako@example.jp\r\nTo: kamo@example.jp\r\nDate: Tue, 03 Apr 2001 04:40:20 -0500\r\n"
                  "Message-ID: <sent-west@example.jp>\r\nSubject: zone\r\n\r\n",
                  "Hello\r\n>From the road\r\n"),
         "送信フォルダ"},
        {mail(3, kUnknownYmd, kUnknownHms, false, "日付の読めないメール"), std::nullopt, ""},
        {mail(4, "2005/12/31", "23:59:60", false, "閏秒"), std::nullopt, ""},
        {mail(5, "2002/02/02", "10:00:00", false, "IDのないメール"),
         Original("From: taro@example.jp\nTo: kamo@example.jp\nDate: Sat, 02 Feb 2002 10:00:00 +0900\n"
                  "Subject: no id\n\n",
                  "bare LF\nlines\n"),
         "受信フォルダ"},
        {mail(6, "2002/02/03", "11:00:00", true, "受信フォルダの2通目"),
         Original("From: kamo@example.jp\r\nDate: Sun, 03 Feb 2002 11:00:00 +0900\r\n\r\n", "second\r\n"),
         "受信フォルダ"},
        {mail(7, "2003/07/07", "07:07:07", false, "引出しのメール"),
         Original("From: hanako@example.jp\r\nDate: Mon, 07 Jul 2003 07:07:07 +0900\r\n"
                  "Message-ID: <drawer@example.jp>\r\nSubject: drawer\r\n\r\n",
                  "in the drawer\r\n"),
         "ピンクの引出し"},
    };
}

// One message as the other client read it.
using Stored = test::ProbedMessage;

// A message's header region up to its blank line, whichever line ends it has.
std::string HeaderOf(const std::string& message) {
    size_t end = message.find("\r\n\r\n");
    if (end == std::string::npos)
        end = message.find("\n\n");
    return message.substr(0, end == std::string::npos ? message.size() : end + 2);
}

// A message with every CR LF made LF: the same message, line ends aside.
std::string LfOnly(std::string text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i)
        if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n'))
            out += text[i];
    return out;
}

bool EveryLineEndIsCrLf(const std::string& text) {
    for (size_t i = 0; i < text.size(); ++i)
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r'))
            return false;
    return true;
}

// A file of the eml export: its mailbox folder, its name ("...-s-..." for a sent mail) and its bytes.
struct EmlFile {
    std::string folder, name, bytes;
};

struct CommandRun {
    int status;
    std::string out, err;
};

class ImapExport : public ::testing::Test {
protected:
    void SetUp() override {
        if (const std::string reason = DovecotServer::MissingReason(); !reason.empty())
            GTEST_SKIP() << reason;
        StartServer({});
        folders.settingsDir = dir / "config";
        folders.dataDir = dir / "data";
        fs::create_directories(folders.settingsDir);
        fs::create_directories(folders.dataDir);
        ::setenv("KAMOMAIL_CONFIG_DIR", folders.settingsDir.c_str(), 1);
        ::setenv("KAMOMAIL_DATA_DIR", folders.dataDir.c_str(), 1);
        passwordFile = dir / "password";
        WritePassword(DovecotServer::kPassword, 0600);
    }

    void StartServer(const DovecotOptions& options) { server = std::make_unique<DovecotServer>(options); }

    void WritePassword(const std::string& password, mode_t mode) {
        test::WriteFile(passwordFile, password + "\n");
        ::chmod(passwordFile.c_str(), mode);
    }

    void Fill(const std::vector<ArchiveMail>& mails) {
        const bool fresh = !fs::exists(folders.DatabaseFile());
        auto db = OpenArchive(folders.DatabaseFile(), fresh);
        if (fresh)
            CreateTables(*db);
        SQLite::Transaction tx(*db);
        OriginalWriter originals(*db);
        for (const auto& m : mails) {
            test::InsertTestMail(*db, m.row);
            if (m.original)
                originals.Put(KeyOf(m.row), *m.original, m.mailbox, kDecodingVersion);
        }
        tx.commit();
    }

    std::string Url(const std::string& folder) const {
        return "imaps://" + std::string(DovecotServer::kUser) + "@127.0.0.1:" + std::to_string(server->ImapsPort()) +
               "/" + folder;
    }

    // `kamomail export --format imap` with the test's CA and password file, and `extra` before the URL.
    CommandRun Upload(const std::string& folder, std::vector<std::string> extra = {}, bool trustTestCa = true) {
        std::vector<std::string> args{"--format", "imap", "--password-file", passwordFile.string()};
        if (trustTestCa)
            args.insert(args.end(), {"--cacert", server->CaFile().string()});
        args.insert(args.end(), extra.begin(), extra.end());
        args.push_back(Url(folder));
        return Run(args);
    }

    static CommandRun Run(const std::vector<std::string>& args) {
        std::ostringstream out, err;
        const int status = RunExportCommand(args, out, err, false);
        return {status, out.str(), err.str()};
    }

    // Every message of the account, as Python's imaplib reads it.
    std::vector<Stored> Dump() const { return test::ProbeAccount(*server); }

    // What the eml export writes for the same mails (with --folders): key (ImapMessageKey) -> the
    // mailbox folder and the bytes.
    std::map<std::string, EmlFile> EmlExport(bool original) {
        const fs::path target = dir / (original ? "eml-original" : "eml");
        std::vector<std::string> args{"--format", "eml", "--folders", target.string()};
        if (original)
            args.push_back("--original");
        const CommandRun run = Run(args);
        EXPECT_EQ(run.status, 0) << run.err;
        std::map<std::string, EmlFile> written;
        for (const auto& entry : fs::recursive_directory_iterator(target))
            if (entry.is_regular_file()) {
                const std::string bytes = test::ReadFile(entry.path());
                written[ImapMessageKey(HeaderOf(bytes))] = {entry.path().parent_path().filename().string(),
                                                            entry.path().filename().string(), bytes};
            }
        return written;
    }

    // The catalogue's words for `code` up to the first detail.
    static std::string WordsOf(FailureCode code) {
        const std::string text = MessageOf(Failure(code, {"\x01", "\x01", "\x01"}));
        return text.substr(0, text.find('\x01'));
    }

    test::TempDir dir;
    AppFolders folders;
    fs::path passwordFile;
    std::unique_ptr<DovecotServer> server;
};

TEST_F(ImapExport, EachMailGoesOnceAsTheEmlExportWritesItWithItsDateAndReadMark) {
    const auto mails = SmallArchive();
    Fill(mails);
    struct Case {
        std::string folder;
        bool original;
    };
    const std::vector<Case> cases{{"Made", false}, {"Originals/元のまま", true}};
    for (const auto& c : cases) {
        std::vector<std::string> extra{"--folders", "--seen", "sent"};
        if (c.original)
            extra.push_back("--original");
        const CommandRun first = Upload(c.folder, extra);
        ASSERT_EQ(first.status, 0) << first.err;
        const auto eml = EmlExport(c.original);
        ASSERT_EQ(eml.size(), mails.size());

        std::map<std::string, int> perFolder; // the eml export's folders, counted
        for (const auto& [key, written] : eml)
            ++perFolder[written.folder];
        const auto check = [&](const std::string& run) {
            std::map<std::string, int> got;
            std::map<std::string, int> seenKeys;
            for (const Stored& s : Dump()) {
                if (s.folder.rfind(c.folder + "/", 0) != 0)
                    continue;
                const std::string key = ImapMessageKey(HeaderOf(s.bytes));
                ++seenKeys[key];
                ASSERT_EQ(eml.count(key), 1u) << run << ": " << key;
                const EmlFile& file = eml.at(key);
                EXPECT_EQ(s.folder, c.folder + "/" + file.folder) << run << ": " << key;
                ++got[file.folder];
                EXPECT_EQ(LfOnly(s.bytes), LfOnly(file.bytes)) << run << ": " << key;
                EXPECT_TRUE(EveryLineEndIsCrLf(s.bytes)) << run << ": " << key;
                // The internal date is the moment the Date header names (Dovecot keeps the moment only,
                // and gives it back in its own zone; the zone sent is InternalDateOf's).
                const std::string date = HeaderField(HeaderOf(s.bytes), "Date").value_or("");
                EXPECT_EQ(test::MomentOfImapDate(s.date), test::MomentOfImapDate(date.substr(date.find(", ") + 2)))
                    << run << ": " << key;
                EXPECT_NE(test::MomentOfImapDate(s.date), -1) << s.date;
                // --seen sent: only the mails the owner sent are read.
                EXPECT_EQ(s.flags.find("\\Seen") != std::string::npos, file.name.find("-s-") != std::string::npos)
                    << run << ": " << key << " " << s.flags;
            }
            EXPECT_EQ(got, perFolder) << run;
            for (const auto& [key, count] : seenKeys)
                EXPECT_EQ(count, 1) << run << ": " << key;
        };
        check("first run");
        const CommandRun second = Upload(c.folder, extra);
        EXPECT_EQ(second.status, 0) << second.err;
        check("second run");
        // The summary: a line per folder, all sent the first time, all there already the second.
        for (const auto& [mailbox, count] : perFolder) {
            const std::string n = std::to_string(count);
            EXPECT_NE(
                first.out.find("\n" + c.folder + "/" + mailbox + ": 送信 " + n + " 通、すでにあり 0 通、失敗 0 通\n"),
                std::string::npos)
                << first.out;
            EXPECT_NE(
                second.out.find("\n" + c.folder + "/" + mailbox + ": 送信 0 通、すでにあり " + n + " 通、失敗 0 通\n"),
                std::string::npos)
                << second.out;
        }
    }
}

// What stops the upload before anything is stored: the words of the catalogue, exit status 1, and
// nothing on the server.
TEST_F(ImapExport, AWrongPasswordFileOrCertificateStopsBeforeAnythingIsStored) {
    Fill(SmallArchive());
    struct Case {
        const char* label;
        std::string password;
        mode_t mode;
        bool trustTestCa;
        std::string host;
        FailureCode says;
    };
    const std::vector<Case> cases{
        {"wrong password", "wrong", 0600, true, "127.0.0.1", FailureCode::ImapWrongPassword},
        {"empty password file", "", 0600, true, "127.0.0.1", FailureCode::PasswordFileEmpty},
        {"password file others may read", DovecotServer::kPassword, 0644, true, "127.0.0.1",
         FailureCode::PasswordFileOpenToOthers},
        {"password file the group may read", DovecotServer::kPassword, 0640, true, "127.0.0.1",
         FailureCode::PasswordFileOpenToOthers},
        {"certificate of no trusted authority", DovecotServer::kPassword, 0600, false, "127.0.0.1",
         FailureCode::ImapCertificateRefused},
        {"unknown host", DovecotServer::kPassword, 0600, true, "no-such-host.invalid", FailureCode::ImapUnknownHost},
    };
    for (const auto& c : cases) {
        WritePassword(c.password, c.mode);
        std::vector<std::string> args{"--format", "imap", "--password-file", passwordFile.string()};
        if (c.trustTestCa)
            args.insert(args.end(), {"--cacert", server->CaFile().string()});
        args.push_back("imaps://tester@" + c.host + ":" + std::to_string(server->ImapsPort()) + "/Stopped");
        const CommandRun run = Run(args);
        EXPECT_EQ(run.status, 1) << c.label;
        EXPECT_EQ(run.err.rfind("kamomail export: " + WordsOf(c.says), 0), 0u) << c.label << ": " << run.err;
        EXPECT_EQ(run.err.find(DovecotServer::kPassword), std::string::npos) << c.label;
        EXPECT_EQ(run.out, "") << c.label;
    }
    // The right password was never sent with a refused file (Dovecot logs each login), and nothing is
    // stored.
    EXPECT_EQ(server->Log().find("Login: user=<tester>"), std::string::npos) << server->Log();
    EXPECT_TRUE(Dump().empty());
}

// A message the server refuses (too large) fails alone: the others are stored, the summary counts the
// failure, the mail is named, and the exit status says something failed.
TEST_F(ImapExport, ARefusedMessageFailsAloneAndTheExitStatusSaysSo) {
    DovecotOptions small;
    small.maxMailSize = "8k";
    StartServer(small);
    std::vector<ArchiveMail> mails = SmallArchive();
    mails[0].row.subject = "大きすぎるメール";
    mails[0].row.body = std::string(20000, 'x') + "\r\n";
    Fill(mails);
    const CommandRun run = Upload("Refused");
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_NE(run.out.find("Refused: 送信 " + std::to_string(mails.size() - 1) + " 通、すでにあり 0 通、失敗 1 通\n"),
              std::string::npos)
        << run.out;
    EXPECT_NE(run.err.find("大きすぎるメール"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find(WordsOf(FailureCode::ImapMessageRefused)), std::string::npos) << run.err;
    std::set<std::string> subjects;
    for (const Stored& s : Dump())
        subjects.insert(HeaderField(HeaderOf(s.bytes), "Subject").value_or(""));
    EXPECT_EQ(subjects.size(), mails.size() - 1);
    // Run again: the one that failed fails again, nothing else is sent twice.
    const CommandRun again = Upload("Refused");
    EXPECT_EQ(again.status, 1);
    EXPECT_NE(again.out.find("Refused: 送信 0 通、すでにあり " + std::to_string(mails.size() - 1) + " 通、失敗 1 通\n"),
              std::string::npos)
        << again.out;
}

// A reporter that does `work` once, when the count reaches `at`, and asks for a stop once it has been
// pumped `stopAfter` times after it (never when 0).
class AtCount : public NullWaitReporter {
public:
    AtCount(int64_t at, std::function<void()> work, int stopAfter = 0)
        : at_(at), work_(std::move(work)), stopAfter_(stopAfter) {}
    void SetProgress(int64_t done, int64_t) override {
        if (done == at_ && work_) {
            std::exchange(work_, nullptr)();
            cut_ = true;
        }
    }
    void Pump() override { pumpsSinceCut_ += cut_ ? 1 : 0; }
    bool CancelRequested() const override { return stopAfter_ > 0 && pumpsSinceCut_ >= stopAfter_; }

private:
    int64_t at_;
    std::function<void()> work_;
    int stopAfter_;
    bool cut_ = false;
    int pumpsSinceCut_ = 0;
};

// The server goes away half-way. Back in time, the upload goes on after a new login; gone for good,
// it ends with the count so far; stopped by the user while it waits to try again, it ends at once as
// stopped. A run after either sends the rest. Each mail is there once.
TEST_F(ImapExport, AnUploadCutHalfWayLeavesEachMailOnceWhenRunAgain) {
    std::vector<ArchiveMail> mails;
    for (int i = 0; i < 40; ++i)
        mails.push_back({test::MailBuilder()
                             .Date("2004/05/06", "07:08:" + std::string(i < 10 ? "0" : "") + std::to_string(i))
                             .SubKey(100 + i)
                             .From("花子", "hanako@example.jp")
                             .To("かも", "kamo@example.jp")
                             .Subject("途中で " + std::to_string(i))
                             .Body("body\r\n")
                             .Include("0")
                             .Build(),
                         std::nullopt, ""});
    Fill(mails);
    struct Case {
        const char* folder;
        bool serverBack; // before the tries to connect again run out
        int stopAfter;   // pumps after the cut before 中止 (0: none)
    };
    const std::vector<Case> cases{{"Back", true, 0}, {"Gone", false, 0}, {"Stopped", false, 10}};
    for (const auto& c : cases) {
        ImapTarget target;
        target.user = DovecotServer::kUser;
        target.host = "127.0.0.1";
        target.port = server->ImapsPort();
        target.folder = c.folder;
        ImapUploadOptions options;
        options.session.caFile = server->CaFile().string();
        options.session.timeoutSeconds = 20;
        // A stop is waited for through a wait far longer than the test would run.
        options.retryDelaysMs = c.stopAfter > 0 ? std::vector<int>{600000} : std::vector<int>{200, 200, 200};
        AtCount cut(
            15, [&] { c.serverBack ? server->Restart() : server->Stop(); }, c.stopAfter);
        const auto db = OpenArchive(folders.DatabaseFile());
        const ImapUploadResult result =
            UploadMails(*db, MailSelection::All(), target, DovecotServer::kPassword, cut, options);
        if (c.serverBack) {
            EXPECT_FALSE(result.endedBy) << c.folder << ": " << MessageOf(*result.endedBy);
            EXPECT_EQ(result.Appended(), static_cast<int64_t>(mails.size())) << c.folder;
        } else {
            if (c.stopAfter > 0) {
                EXPECT_TRUE(result.stopped) << c.folder;
                EXPECT_FALSE(result.endedBy) << c.folder;
            } else {
                ASSERT_TRUE(result.endedBy) << c.folder;
                EXPECT_EQ(result.endedBy->Code(), FailureCode::ImapConnectionLost) << c.folder;
            }
            EXPECT_GE(result.Appended(), 14) << c.folder;
            EXPECT_LT(result.Appended(), static_cast<int64_t>(mails.size())) << c.folder;
            server->Restart();
            const CommandRun rest = Upload(c.folder);
            EXPECT_EQ(rest.status, 0) << rest.err;
        }
        std::map<std::string, int> perSubject;
        for (const Stored& s : Dump())
            if (s.folder == c.folder)
                ++perSubject[HeaderField(HeaderOf(s.bytes), "Subject").value_or("")];
        EXPECT_EQ(perSubject.size(), mails.size()) << c.folder;
        for (const auto& [subject, count] : perSubject)
            EXPECT_EQ(count, 1) << c.folder << ": " << subject;
    }
}

// The program killed (kill -9) in the middle of an upload, or stopped by Ctrl-C (after the message being
// appended, saying so), then run again: each mail there once.
TEST_F(ImapExport, AProgramKilledOrStoppedMidUploadAndRunAgainLeavesEachMailOnce) {
    std::vector<ArchiveMail> mails;
    for (int i = 0; i < 300; ++i)
        mails.push_back({test::MailBuilder()
                             .Date("2006/01/02", "03:04:05")
                             .SubKey(1000 + i)
                             .From("花子", "hanako@example.jp")
                             .To("かも", "kamo@example.jp")
                             .Subject("kill " + std::to_string(i))
                             .Body(std::string(2000, 'k') + "\r\n")
                             .Include("0")
                             .Build(),
                         std::nullopt, ""});
    Fill(mails);
    for (const int sig : {SIGKILL, SIGINT}) {
        const std::string folder = sig == SIGKILL ? "Killed" : "Interrupted";
        const fs::path output = dir / (folder + ".txt");
        const std::vector<std::string> args{"export",
                                            "--format",
                                            "imap",
                                            "--password-file",
                                            passwordFile.string(),
                                            "--cacert",
                                            server->CaFile().string(),
                                            Url(folder)};
        const pid_t pid = test::LaunchProgram(
            args,
            {{{"KAMOMAIL_CONFIG_DIR", folders.settingsDir.string()}, {"KAMOMAIL_DATA_DIR", folders.dataDir.string()}},
             {}},
            output);
        const auto inFolder = [&] {
            std::map<std::string, int> perSubject;
            for (const Stored& s : Dump())
                if (s.folder == folder)
                    ++perSubject[HeaderField(HeaderOf(s.bytes), "Subject").value_or("")];
            return perSubject;
        };
        // Ended once some mails are there, before all of them are.
        for (int wait = 0; wait < 600 && inFolder().empty(); ++wait)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        ::kill(pid, sig);
        int status = 0;
        ::waitpid(pid, &status, 0);
        const std::string said = test::ReadFile(output);
        const size_t atEnd = inFolder().size();
        if (sig == SIGKILL) {
            EXPECT_TRUE(WIFSIGNALED(status)) << said;
        } else {
            EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 1) << said;
            EXPECT_NE(said.find(Say(ExportText::UploadStopped, {std::to_string(atEnd)})), std::string::npos) << said;
        }
        EXPECT_GT(atEnd, 0u) << folder;
        EXPECT_LT(atEnd, mails.size()) << folder;
        const CommandRun again = Upload(folder);
        EXPECT_EQ(again.status, 0) << again.err;
        EXPECT_NE(again.out.find(folder + ": 送信 " + std::to_string(mails.size() - atEnd) + " 通、すでにあり " +
                                 std::to_string(atEnd) + " 通、失敗 0 通"),
                  std::string::npos)
            << again.out;
        const auto perSubject = inFolder();
        EXPECT_EQ(perSubject.size(), mails.size()) << folder;
        for (const auto& [subject, count] : perSubject)
            EXPECT_EQ(count, 1) << folder << ": " << subject;
    }
}

TEST(ImapUploadMessage, TheInternalDateIsTheDateHeadersMomentAndZone) {
    struct Case {
        const char* ymd;
        const char* hms;
        int zoneMinutes;
        ImapInternalDate date;
    };
    const std::vector<Case> cases{
        {"2001/09/04", "21:05:33", 540, {2001, 9, 4, 21, 5, 33, 540}},
        {"1999/12/31", "23:59:59", -210, {1999, 12, 31, 23, 59, 59, -210}},
        {"2005/12/31", "23:59:60", 540, {2005, 12, 31, 23, 59, 59, 540}}, // a leap second as :59
        {"2004/02/29", "00:00:00", 0, {2004, 2, 29, 0, 0, 0, 0}},
        {kUnknownYmd, kUnknownHms, 540, {1970, 1, 1, 0, 0, 0, 0}}, // not read: as the Date header has it
        {"2001/02/30", "12:00:00", 540, {1970, 1, 1, 0, 0, 0, 0}}, // no such day
    };
    for (const auto& c : cases) {
        const ImapInternalDate got = InternalDateOf(test::MailBuilder().Date(c.ymd, c.hms).Build(), c.zoneMinutes);
        const auto fields = [](const ImapInternalDate& d) {
            return std::vector<int>{d.year, d.month, d.day, d.hour, d.minute, d.second, d.zoneMinutes};
        };
        EXPECT_EQ(fields(got), fields(c.date)) << c.ymd << " " << c.hms;
        // The same clock time and zone as the Date header of the message.
        char written[40];
        std::snprintf(written, sizeof written, "%02d %s %04d %02d:%02d:%02d %c%02d%02d", got.day,
                      kMonthNames[got.month - 1], got.year, got.hour, got.minute, got.second,
                      got.zoneMinutes < 0 ? '-' : '+', std::abs(got.zoneMinutes) / 60, std::abs(got.zoneMinutes) % 60);
        const std::string header = MessageDate(c.ymd, c.hms, c.zoneMinutes);
        EXPECT_EQ(header.substr(header.find(", ") + 2), written) << c.ymd << " " << c.hms;
    }
}

TEST(ImapUploadMessage, OnlyBareLineFeedsGainACarriageReturn) {
    const std::vector<std::pair<std::string, std::string>> cases{
        {"", ""},
        {"a\nb\n", "a\r\nb\r\n"},
        {"\n", "\r\n"},
        {"a\r\nb\r\n", "a\r\nb\r\n"},
        {"lone\rCR\n", "lone\rCR\r\n"},
        {"CR CR LF\r\r\n", "CR CR LF\r\r\n"},
        {"no end", "no end"},
        {"\n\n", "\r\n\r\n"},
    };
    for (const auto& [in, out] : cases)
        EXPECT_EQ(CrlfLineEnds(in), out) << in;
}

} // namespace
} // namespace kamo
