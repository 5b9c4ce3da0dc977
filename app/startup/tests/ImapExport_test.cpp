// kamomail export --format imap against a real Dovecot on 127.0.0.1 (testsupport/DovecotServer), what
// it stored read back by another client (imap/tests/imap_probe.py: Python's imaplib, its own decoding of
// folder names) and compared with what the eml export writes for the same mails.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <map>
#include <sstream>

#include <sys/stat.h>

#include <SQLiteCpp/Transaction.h>

#include "common/Messages.h"
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
struct Stored {
    std::string folder; // decoded, "/" between levels
    std::string date;   // "DD Mon YYYY HH:MM:SS +ZZZZ"
    std::string flags;
    std::string bytes;
};

std::string Base64Decoded(const std::string& text) {
    static const std::string kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    unsigned bits = 0;
    int count = 0;
    for (char c : text) {
        const size_t value = kAlphabet.find(c);
        if (value == std::string::npos)
            continue;
        bits = (bits << 6) | static_cast<unsigned>(value);
        count += 6;
        if (count >= 8) {
            count -= 8;
            out += static_cast<char>((bits >> count) & 0xFF);
        }
    }
    return out;
}

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

// Seconds since 1970 of "DD Mon YYYY HH:MM:SS +ZZZZ"; -1 for text not in that form.
long long MomentOf(const std::string& text) {
    static const std::string kMonths = "JanFebMarAprMayJunJulAugSepOctNovDec";
    std::tm clock{};
    char month[4] = {};
    char sign = 0;
    int zone = 0;
    if (std::sscanf(text.c_str(), "%d %3s %d %d:%d:%d %c%d", &clock.tm_mday, month, &clock.tm_year, &clock.tm_hour,
                    &clock.tm_min, &clock.tm_sec, &sign, &zone) != 8 ||
        kMonths.find(month) == std::string::npos)
        return -1;
    clock.tm_mon = static_cast<int>(kMonths.find(month) / 3);
    clock.tm_year -= 1900;
    const long long zoneSeconds = (zone / 100 * 60 + zone % 100) * 60LL * (sign == '-' ? -1 : 1);
    return static_cast<long long>(timegm(&clock)) - zoneSeconds;
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
    std::vector<Stored> Dump() const {
        ::setenv("KAMO_IMAP_PASSWORD", DovecotServer::kPassword, 1);
        const test::ToolRun run = test::RunTool(
            {test::kSystemPython, KAMOMAIL_SOURCE_DIR "/app/imap/tests/imap_probe.py",
             std::to_string(server->ImapsPort()), server->CaFile().string(), DovecotServer::kUser, "dump"});
        EXPECT_EQ(run.status, 0) << run.out;
        std::vector<Stored> stored;
        std::istringstream in(run.out);
        for (std::string line; std::getline(in, line);) {
            std::istringstream fields(line);
            Stored s;
            std::string bytes;
            std::getline(fields, s.folder, '\t');
            std::getline(fields, s.date, '\t');
            std::getline(fields, s.flags, '\t');
            std::getline(fields, bytes);
            s.bytes = Base64Decoded(bytes);
            stored.push_back(std::move(s));
        }
        return stored;
    }

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
                EXPECT_EQ(MomentOf(s.date), MomentOf(date.substr(date.find(", ") + 2))) << run << ": " << key;
                EXPECT_NE(MomentOf(s.date), -1) << s.date;
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

} // namespace
} // namespace kamo
