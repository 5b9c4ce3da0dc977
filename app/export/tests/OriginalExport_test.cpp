// Exports of mail whose original is kept: read back by GMime and by Python's mailbox module, the
// zone, every receiver, the HTML and the mailbox come out as the original had them, and --original
// gives the original back byte for byte.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <set>

#include <SQLiteCpp/Transaction.h>

#include "db/Attachments.h"
#include "db/MailOriginals.h"
#include "db/MailRows.h"
#include "db/tests/ArchiveFiles.h"
#include "export/MailExport.h"
#include "export/MailMessage.h"
#include "export/OriginalReading.h"
#include "export/tests/GMimeReader.h"
#include "testsupport/TestSupport.h"

using namespace kamo;
namespace fs = std::filesystem;

namespace {

// CP932 bytes as PostPet holds them.
const std::string kYamada = "\x8e\x52\x93\x63";                            // 山田
const std::string kHelloSjis = "\x82\xb1\x82\xf1\x82\xc9\x82\xbf\x82\xcd"; // こんにちは

struct Party {
    std::string name, address;
    bool operator==(const Party&) const = default;
};

struct Case {
    const char* label;
    MailRecord row;
    std::optional<MailOriginal> original;
    std::string mailbox;
    std::vector<Attachment> attachments;
    // What a reader gets.
    int zoneMinutes;
    std::vector<Party> to;
    std::string html;
};

MailRecord Row(const char* ymd, const char* hms, const char* rcvName, const char* rcvAdd) {
    static int64_t subKey = 1;
    MailRecord m;
    m.ymd = ymd;
    m.hms = hms;
    m.subKey = subKey++;
    m.sndName = "花子";
    m.sndAdd = "hanako@example.jp";
    m.rcvName = rcvName;
    m.rcvAdd = rcvAdd;
    m.subject = "件名 " + std::to_string(m.subKey);
    m.body = "本文です。\r\n";
    m.include = "0";
    return m;
}

MailOriginal Original(std::string listDate, std::string listTo, std::string header, std::string body) {
    MailOriginal o;
    o.from = "hanako@example.jp";
    o.to = std::move(listTo);
    o.subject = "subject";
    o.date = std::move(listDate);
    o.header = std::move(header);
    o.body = std::move(body);
    return o;
}

const std::string kAlternativeHeader = "From: hanako@example.jp\r\nTo: kamo@example.jp\r\nMIME-Version: 1.0\r\n"
                                       "Content-Type: multipart/alternative; boundary=\"b1\"\r\n\r\n";
const std::string kAlternativeBody = "--b1\r\nContent-Type: text/plain; charset=Shift_JIS\r\n\r\n" + kHelloSjis +
                                     "\r\n--b1\r\nContent-Type: text/html; charset=Shift_JIS\r\n\r\n<p>" + kHelloSjis +
                                     "</p>\r\n--b1--\r\n";
const std::string kMetaHtml = "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=Shift_JIS\">"
                              "</head><body>";

std::vector<Case> Cases() {
    std::vector<Case> cases;
    auto add = [&](Case c) { cases.push_back(std::move(c)); };
    add({"a -0500 date",
         Row("2001/04/03", "04:40:20", "かも", "kamo@example.jp"),
         Original("Tue, 03 Apr 2001 04:40:20 -0500", "kamo@example.jp",
                  "From: hanako@example.jp\r\nTo: kamo@example.jp\r\nDate: Tue, 03 Apr 2001 04:40:20 -0500\r\n"
                  "Subject: zone\r\n\r\n",
                  "Hello\r\n>From the road\r\n"),
         "受信フォルダ",
         {},
         -300,
         {{"かも", "kamo@example.jp"}},
         ""});
    add({"the zone only in the header's Date",
         Row("2001/04/05", "10:00:00", "かも", "kamo@example.jp"),
         Original("2001/04/05 10:00:00", "kamo@example.jp",
                  "From: hanako@example.jp\r\nDate: Thu, 5 Apr 2001 10:00:00 +0100\r\n\r\n", "x\r\n"),
         "受信フォルダ",
         {},
         60,
         {{"かも", "kamo@example.jp"}},
         ""});
    add({"a Date of another clock says nothing of the row's",
         Row("2001/04/05", "10:00:00", "かも", "kamo@example.jp"),
         Original("Thu, 5 Apr 2001 11:00:00 -0800", "kamo@example.jp", "From: hanako@example.jp\r\n\r\n", "y\r\n"),
         "送信フォルダ",
         {},
         540,
         {{"かも", "kamo@example.jp"}},
         ""});
    add({"a zone by name",
         Row("2001/04/06", "09:00:00", "かも", "kamo@example.jp"),
         Original("Fri, 6 Apr 2001 09:00:00 EST", "kamo@example.jp", "From: hanako@example.jp\r\n\r\n", "z\r\n"),
         "",
         {},
         -300,
         {{"かも", "kamo@example.jp"}},
         ""});
    add({"three receivers, the stored one under the name the user gave it",
         Row("2001/05/01", "12:00:00", "山田さん", "TARO@example.jp"),
         Original("Tue, 1 May 2001 12:00:00 +0900", "taro@example.jp",
                  "From: hanako@example.jp\r\nTo: " + kYamada +
                      " <taro@example.jp>,\r\n hanako@example.jp, "
                      "\"Jiro\" <jiro@example.jp>\r\n\r\n",
                  "to three\r\n"),
         "ピンクの引出し",
         {},
         540,
         {{"山田さん", "TARO@example.jp"}, {"", "hanako@example.jp"}, {"Jiro", "jiro@example.jp"}},
         ""});
    add({"receivers from the list record when the header has no To",
         Row("2001/05/02", "12:00:00", "ビー", "b@example.jp"),
         Original("2001/05/02 12:00:00", "a@example.jp, b@example.jp", "From: hanako@example.jp\r\n\r\n", "two\r\n"),
         "ピンクの引出し",
         {},
         540,
         {{"", "a@example.jp"}, {"ビー", "b@example.jp"}},
         ""});
    add({"the stored receiver first when the original lacks it",
         Row("2001/05/03", "12:00:00", "かも", "kamo@example.jp"),
         Original("2001/05/03 12:00:00", "c@example.jp, d@example.jp", "From: hanako@example.jp\r\n\r\n", "cc\r\n"),
         "ピンクの引出し",
         {},
         540,
         {{"かも", "kamo@example.jp"}, {"", "c@example.jp"}, {"", "d@example.jp"}},
         ""});
    add({"an HTML alternative in Shift_JIS, with an attachment",
         Row("2001/06/01", "08:00:00", "かも", "kamo@example.jp"),
         Original("Fri, 1 Jun 2001 08:00:00 +0900", "kamo@example.jp", kAlternativeHeader, kAlternativeBody),
         "ピンクの引出し",
         {{"a.bin", "application/octet-stream", std::string("\0\x01\xff", 3)}},
         540,
         {{"かも", "kamo@example.jp"}},
         "<p>こんにちは</p>"});
    add({"an HTML mail alone, its charset named in the HTML",
         Row("2001/06/02", "08:00:00", "かも", "kamo@example.jp"),
         Original("Sat, 2 Jun 2001 08:00:00 +0900", "kamo@example.jp",
                  "MIME-Version: 1.0\r\nContent-Type: text/html\r\n\r\n", kMetaHtml + kHelloSjis + "</body></html>"),
         "受信フォルダ",
         {},
         540,
         {{"かも", "kamo@example.jp"}},
         "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=Shift_JIS\"></head><body>"
         "こんにちは</body></html>"});
    add({"no original kept",
         Row("2001/07/01", "07:00:00", "かも", "kamo@example.jp"),
         std::nullopt,
         "",
         {},
         540,
         {{"かも", "kamo@example.jp"}},
         ""});
    return cases;
}

std::string StripBrackets(const std::string& id) {
    return id.substr(1, id.size() - 2);
}

std::vector<fs::path> FilesUnder(const fs::path& folder) {
    std::vector<fs::path> files;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        if (entry.is_regular_file() && entry.path().filename() != "maildirfolder")
            files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

// What Python's mailbox module reads from `box` (a mailbox expression; a Maildir's folders too):
// (folder, message bytes) pairs, the root's folder "".
std::vector<std::pair<std::string, std::string>> PythonMessages(const std::string& box) {
    const test::TempDir dir;
    const fs::path script = dir / "read.py";
    test::WriteFile(script, "import mailbox, sys\n"
                            "def show(name, box):\n"
                            "    for key in box.keys():\n"
                            "        print(name.encode().hex(), box.get_bytes(key).hex())\n"
                            "box = " +
                                box +
                                "\n"
                                "show('', box)\n"
                                "if isinstance(box, mailbox.Maildir):\n"
                                "    for name in box.list_folders():\n"
                                "        show(name, box.get_folder(name))\n");
    const std::string command = "/usr/bin/python3 " + script.string();
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe)
        throw std::runtime_error("python3 did not start");
    std::string out;
    char buf[4096];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, pipe)) > 0;)
        out.append(buf, n);
    EXPECT_EQ(::pclose(pipe), 0) << out;
    auto unhex = [](std::string_view hex) {
        std::string bytes;
        for (size_t i = 0; i + 1 < hex.size(); i += 2)
            bytes += static_cast<char>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16));
        return bytes;
    };
    std::vector<std::pair<std::string, std::string>> messages;
    for (size_t start = 0, end; (end = out.find('\n', start)) != std::string::npos; start = end + 1) {
        const std::string_view line = std::string_view(out).substr(start, end - start);
        const size_t blank = line.find(' ');
        messages.emplace_back(unhex(line.substr(0, blank)), unhex(line.substr(blank + 1)));
    }
    return messages;
}

// mboxrd's quoting undone: one ">" less before every line that starts with ">+From ".
std::string MboxUnquoted(const std::string& quoted) {
    std::string out;
    for (size_t start = 0; start < quoted.size();) {
        size_t end = quoted.find('\n', start);
        end = end == std::string::npos ? quoted.size() : end + 1;
        const std::string line = quoted.substr(start, end - start);
        const size_t from = line.find_first_not_of('>');
        out += from > 0 && from != std::string::npos && line.compare(from, 5, "From ") == 0 ? line.substr(1) : line;
        start = end;
    }
    return out;
}

class OriginalExportTest : public ::testing::Test {
protected:
    void SetUp() override {
        SQLite::Transaction tx(*db);
        OriginalWriter originals(*db);
        AttachmentWriter attachments(*db);
        for (const auto& c : cases) {
            test::InsertTestMail(*db, c.row);
            if (c.original)
                originals.Put(KeyOf(c.row), *c.original, c.mailbox, kDecodingVersion);
            for (size_t i = 0; i < c.attachments.size(); ++i)
                attachments.Add(KeyOf(c.row), static_cast<int64_t>(i), c.attachments[i]);
            byId[StripBrackets(MessageId(c.row))] = &c;
        }
        tx.commit();
    }

    ExportResult Export(MailFormat format, const fs::path& target, bool original, bool folders) {
        NullWaitReporter quiet;
        ExportOptions options;
        options.original = original;
        options.folders = folders;
        return ExportMails(*db, MailSelection::All(), format, target, quiet, options);
    }

    const Case& CaseOf(const test::ParsedMail& got) {
        const auto it = byId.find(got.messageId);
        if (it == byId.end())
            throw std::runtime_error("no mail with " + got.messageId);
        return *it->second;
    }

    // The mailbox's folder a case goes to.
    static std::string FolderOf(const Case& c) {
        return c.original && !c.mailbox.empty() ? c.mailbox : kUnknownMailbox;
    }

    test::TempDir dir;
    std::unique_ptr<SQLite::Database> db = test::MemoryArchive();
    const std::vector<Case> cases = Cases();
    std::map<std::string, const Case*> byId;
};

} // namespace

TEST_F(OriginalExportTest, ZoneReceiversAndHtmlComeOutAsTheOriginalHadThem) {
    for (const MailFormat format : {MailFormat::Mbox, MailFormat::Maildir, MailFormat::Eml}) {
        const fs::path target = dir / (std::string(InfoOf(format).name) + "-made");
        const ExportResult result = Export(format, target, false, false);
        EXPECT_EQ(result.written, static_cast<int64_t>(cases.size()));
        EXPECT_EQ(result.withoutOriginal, 0); // counted only when originals were asked for
        std::vector<test::ParsedMail> mails;
        if (format == MailFormat::Mbox)
            mails = test::ParseFile(target, true);
        else
            for (const auto& file : FilesUnder(target))
                mails.push_back(test::ParseFile(file, false).at(0));
        ASSERT_EQ(mails.size(), cases.size());
        for (const auto& got : mails) {
            const Case& c = CaseOf(got);
            SCOPED_TRACE(std::string(InfoOf(format).name) + ": " + c.label);
            EXPECT_EQ(got.zoneSeconds, c.zoneMinutes * 60);
            EXPECT_EQ(got.ymd + " " + got.hms, c.row.ymd + " " + c.row.hms); // the clock time as written
            std::vector<Party> to;
            for (const auto& p : got.toAll)
                to.push_back({p.name, p.address});
            EXPECT_EQ(to, c.to);
            EXPECT_EQ(got.html, c.html);
            EXPECT_EQ(got.body, c.row.body);
            ASSERT_EQ(got.attachments.size(), c.attachments.size());
            for (size_t i = 0; i < c.attachments.size(); ++i)
                EXPECT_EQ(got.attachments[i].data, c.attachments[i].bytes);
        }
    }
}

TEST_F(OriginalExportTest, OriginalGivesEachMailBackByteForByte) {
    std::multiset<std::string> originals;
    for (const auto& c : cases)
        if (c.original)
            originals.insert(c.original->header + c.original->body);
    // mbox is read by Python's mailbox module: each message's bytes between its separators, the
    // mboxrd quoting undone here (the module leaves it). An mbox message always ends in a line break:
    // the HTML mail, which does not, gets one.
    const fs::path mbox = dir / "original.mbox";
    ASSERT_EQ(Export(MailFormat::Mbox, mbox, true, false).withoutOriginal, 1);
    std::multiset<std::string> inMbox, fromMbox;
    for (const auto& original : originals)
        inMbox.insert(original.back() == '\n' ? original : original + "\n");
    std::vector<std::string> made;
    for (const auto& [box, quoted] : PythonMessages("mailbox.mbox('" + mbox.string() + "', create=False)")) {
        const std::string bytes = MboxUnquoted(quoted);
        if (inMbox.count(bytes))
            fromMbox.insert(bytes);
        else
            made.push_back(bytes);
    }
    EXPECT_EQ(fromMbox, inMbox);
    ASSERT_EQ(made.size(), 1u); // the mail without an original, as a message of its own
    EXPECT_EQ(CaseOf(test::ParseBytes(made[0])).label, std::string("no original kept"));

    for (const MailFormat format : {MailFormat::Maildir, MailFormat::Eml}) {
        SCOPED_TRACE(InfoOf(format).name);
        const fs::path target = dir / (std::string(InfoOf(format).name) + "-original");
        const ExportResult result = Export(format, target, true, false);
        EXPECT_EQ(result.written, static_cast<int64_t>(cases.size()));
        EXPECT_EQ(result.withoutOriginal, 1);
        std::multiset<std::string> files;
        std::vector<std::string> others;
        for (const auto& file : FilesUnder(target)) {
            const std::string bytes = test::ReadFile(file);
            if (originals.count(bytes))
                files.insert(bytes);
            else
                others.push_back(bytes);
        }
        EXPECT_EQ(files, originals);
        ASSERT_EQ(others.size(), 1u);
        EXPECT_EQ(CaseOf(test::ParseBytes(others[0])).label, std::string("no original kept"));
    }
}

// One kept original that unpacks to more than any mail holds: that mail goes out from its row, as a
// mail without one, and every other mail as before; the summary counts it.
TEST_F(OriginalExportTest, AnOriginalThatCannotBeUnpackedCostsOnlyItsOwnMail) {
    const Case* spoilt = nullptr;
    for (const auto& c : cases)
        spoilt = !spoilt && c.original ? &c : spoilt;
    ASSERT_NE(spoilt, nullptr);
    SQLite::Statement put(*db,
                          "UPDATE tblOriginal SET tblOriginal_Data = ?1 WHERE " + MailKeyCondition("tblOriginal", 2));
    const std::string huge = test::HugePackedOriginal(uint64_t{3} << 30);
    BindMailKey(put, 2, KeyOf(spoilt->row));
    put.bindNoCopy(1, huge.data(), static_cast<int>(huge.size()));
    ASSERT_EQ(put.exec(), 1);
    for (const MailFormat format : {MailFormat::Mbox, MailFormat::Eml}) {
        SCOPED_TRACE(InfoOf(format).name);
        for (const bool original : {true, false}) {
            const fs::path target = dir / (std::string(InfoOf(format).name) + (original ? "-original" : "-made"));
            const ExportResult result = Export(format, target, original, false);
            EXPECT_EQ(result.written, static_cast<int64_t>(cases.size()));
            EXPECT_EQ(result.unreadableOriginals, 1);
            EXPECT_EQ(result.withoutOriginal, original ? 2 : 0);
            if (format == MailFormat::Mbox)
                EXPECT_EQ(PythonMessages("mailbox.mbox('" + target.string() + "', create=False)").size(), cases.size());
            else
                EXPECT_EQ(FilesUnder(target).size(), cases.size());
        }
    }
}

TEST_F(OriginalExportTest, FoldersHoldEachMailboxsMail) {
    std::map<std::string, std::set<std::string>> expected; // folder -> Message-IDs
    for (const auto& c : cases)
        expected[FolderOf(c)].insert(StripBrackets(MessageId(c.row)));
    ASSERT_EQ(expected.size(), 4u); // 受信フォルダ, 送信フォルダ, ピンクの引出し, and the unknown

    const fs::path mboxes = dir / "mboxes";
    Export(MailFormat::Mbox, mboxes, false, true);
    std::map<std::string, std::set<std::string>> got;
    for (const auto& entry : fs::directory_iterator(mboxes))
        for (const auto& mail : test::ParseFile(entry.path(), true))
            got[entry.path().filename().string()].insert(mail.messageId);
    EXPECT_EQ(got, expected);

    // Maildir++ as Python's mailbox module reads it: a folder per mailbox, nothing at the root; the
    // originals in them as they were.
    const fs::path maildir = dir / "maildir";
    Export(MailFormat::Maildir, maildir, true, true);
    std::map<std::string, std::multiset<std::string>> want, fromPython;
    for (const auto& c : cases)
        want[FolderOf(c)].insert(c.original ? c.original->header + c.original->body : "(made)");
    std::set<std::string> originals;
    for (const auto& c : cases)
        if (c.original)
            originals.insert(c.original->header + c.original->body);
    for (const auto& [folder, bytes] : PythonMessages("mailbox.Maildir('" + maildir.string() + "', factory=None)")) {
        const bool original = originals.count(bytes) > 0;
        if (!original) {
            EXPECT_EQ(CaseOf(test::ParseBytes(bytes)).label, std::string("no original kept"));
        }
        fromPython[folder].insert(original ? bytes : "(made)");
    }
    EXPECT_EQ(fromPython, want);
    EXPECT_TRUE(fs::is_regular_file(maildir / ".ピンクの引出し" / "maildirfolder"));
}

TEST(MailboxFolderNames, NoNameLeavesTheTargetOrHidesAFolder) {
    const struct {
        std::string mailbox, name;
    } cases[] = {
        {"受信フォルダ", "受信フォルダ"},   {"", kUnknownMailbox}, {"a/b", "a_b"}, {"..", "__"}, {"x.y", "x_y"},
        {std::string("t\ta\n", 4), "t_a_"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(MailboxFolderName(c.mailbox), c.name) << c.mailbox;
}

TEST(MessageDates, CarryTheZoneTheyAreGiven) {
    const struct {
        int zone;
        const char* date;
        std::time_t utc;
    } cases[] = {
        {540, "Tue, 03 Apr 2001 04:40:20 +0900", 986240420}, {-300, "Tue, 03 Apr 2001 04:40:20 -0500", 986290820},
        {330, "Tue, 03 Apr 2001 04:40:20 +0530", 986253020}, {-210, "Tue, 03 Apr 2001 04:40:20 -0330", 986285420},
        {0, "Tue, 03 Apr 2001 04:40:20 +0000", 986272820},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(MessageDate("2001/04/03", "04:40:20", c.zone), c.date);
        EXPECT_EQ(MailTime("2001/04/03", "04:40:20", c.zone), std::optional<std::time_t>(c.utc)) << c.zone;
    }
}

TEST(OriginalHeaders, ShowTheBytesAsText) {
    const struct {
        std::string header, shown;
    } cases[] = {
        {"From: " + kYamada + " <taro@example.jp>\r\nSubject: =?ISO-2022-JP?B?GyRCJDMbKEI=?=\r\n\r\n",
         "From: 山田 <taro@example.jp>\nSubject: =?ISO-2022-JP?B?GyRCJDMbKEI=?="},
        {"Subject: \x1b$B$3$s\x1b(B\r\n", "Subject: こん"},
        {"Subject: こんにちは\r\n\r\n", "Subject: こんにちは"},
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(OriginalHeaderText(c.header), c.shown);
}
