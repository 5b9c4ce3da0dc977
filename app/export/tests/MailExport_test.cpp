// The exports as another mail program reads them: every message parsed back by GMime and compared,
// field for field and byte for byte, with the archive.
#include <gtest/gtest.h>

#include <map>
#include <set>

#include <csignal>

#include <sys/resource.h>
#include <sys/stat.h>

#include <SQLiteCpp/Transaction.h>

#include "common/Messages.h"
#include "db/Attachments.h"
#include "db/HeaderFields.h"
#include "db/tests/ArchiveFiles.h"
#include "export/MailExport.h"
#include "export/MailMessage.h"
#include "export/MailSelection.h"
#include "export/tests/GMimeReader.h"
#include "mime/MailAddresses.h"
#include "search/SearchIndex.h"
#include "search/SearchQuery.h"
#include "search/tests/FoundRows.h"
#include "search/tests/SearchTestMails.h"
#include "testsupport/TestSupport.h"

using namespace kamo;
namespace fs = std::filesystem;

namespace {

MailRecord Tricky(const char* subject, const char* sndName, const char* sndAdd, std::string body) {
    static int64_t subKey = 100000;
    const int64_t own = subKey++;
    return test::MailBuilder()
        .Date("2001/09/04", "21:05:33")
        .SubKey(own)
        .Sent(subKey % 2 == 0)
        .From(sndName, sndAdd)
        .To("かも", "kamo@example.jp")
        .Subject(subject)
        .Body(std::move(body))
        .Include("0")
        .Build();
}

std::vector<MailRecord> TrickyMails() {
    std::string longBody;
    for (int i = 0; i < 400; ++i)
        longBody += "長い本文の行です。ポ|鋼|弓, \"引用\" From here\r\n";
    std::vector<MailRecord> mails = {
        Tricky("①㈱髙～ソ表能ポ弓－ ’’｜，\"quote\" 'single' \\back =?UTF-8?B?eA==?=", "\"表\" 能 ポ太",
               "ponta@example.jp", "From the start\r\n>From quoted\r\n①㈱髙～ソ表能ポ弓－｜\r\n"),
        Tricky("Meeting on Monday", "Taro Yamada", "taro@example.jp", "Plain ASCII.\r\n"),
        Tricky("A long plain subject that goes on and on about nothing much at all, just to need folding "
               "twice or more in the header of the message it ends up in",
               "Hanako", "hanako@example.jp", "x"),
        Tricky(
            "とても長い件名がここから始まって、ずっと続いていきます。エンコードされた語がいくつも並んで折り返されるはず"
            "です。①㈱髙～ソ表能ポ弓－",
            "山田 花子", "hanako@example.jp", "本文"),
        Tricky("", "設定無し", "nobody@example.jp", ""),
        Tricky(" leading  and double  spaces ", "ｶﾞｲﾄﾞ 太郎", "guide@example.jp",
               "bare LF\nCR CR LF\r\r\nno final line break"),
        Tricky("宛先なし", "差出人", "", "empty sender address"),
        Tricky("変な宛先", "送り主", "not an address", "odd sender address"),
        Tricky("長い本文", "長文", "long@example.jp", longBody),
    };
    mails[6].rcvAdd = "受信者 あて";
    mails.push_back(Tricky(std::string(70, 'x').c_str(), "Taro", "taro@example.jp", "one long word\r\n"));
    const std::string longAddress = std::string(1100, 'l') + "@example.jp";
    mails.push_back(Tricky("長いアドレス", "長い", longAddress.c_str(), "a stored address too long for a line\r\n"));
    MailRecord leap = Tricky("閏秒", "閏", "leap@example.jp", "a leap second\r\n");
    leap.ymd = "2005/12/31";
    leap.hms = "23:59:60";
    mails.push_back(leap);
    MailRecord old = Tricky("昔のメール", "昔", "old@example.jp", "before 1970\r\n");
    old.ymd = "1965/03/01";
    mails.push_back(old);
    MailRecord unknown = Tricky("日付不明", "不明", "unknown@example.jp", "date could not be read\r\n");
    unknown.ymd = "0000/00/00";
    unknown.hms = "00:00:00";
    mails.push_back(unknown);
    return mails;
}

class ExportTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::vector<MailRecord> all = test::GeneratedMails(150, 11);
        for (const auto& m : TrickyMails())
            all.push_back(m);
        std::mt19937_64 rng(3);
        SQLite::Transaction tx(*db);
        for (const auto& m : all) {
            test::InsertSpread(*db, m, rng);
            byId[StripBrackets(MessageId(m))] = m;
        }
        tx.commit();
    }

    static std::string StripBrackets(const std::string& id) { return id.substr(1, id.size() - 2); }

    // A party as a reader sees it: its stored name and address; the placeholder for no name is no
    // name; without a usable address, the sender gets the never-delivered stand-in and the receiver
    // is undisclosed, the stored text kept in X-KamoMail-From/-To.
    static void ExpectParty(const test::ParsedParty& got, const std::string& kept, bool from, const std::string& name,
                            const std::string& address) {
        const std::string shown = name == kNoName ? "" : name;
        if (IsUsableAddress(address)) {
            EXPECT_FALSE(got.group) << name;
            EXPECT_EQ(got.name, shown);
            EXPECT_EQ(got.address, address);
            EXPECT_EQ(kept, "");
            return;
        }
        EXPECT_EQ(kept, address.empty() ? shown : shown.empty() ? address : shown + " <" + address + ">");
        if (from) {
            EXPECT_FALSE(got.group) << name;
            EXPECT_EQ(got.name, shown.empty() ? address : shown);
            EXPECT_EQ(got.address, kNoAddress);
        } else {
            EXPECT_TRUE(got.group) << name;
            EXPECT_EQ(got.name, "undisclosed-recipients");
        }
    }

    // Every field of a parsed message against the archive's mail with its Message-ID.
    void ExpectSameMail(const test::ParsedMail& got) {
        auto it = byId.find(got.messageId);
        ASSERT_NE(it, byId.end()) << got.messageId;
        const MailRecord& m = it->second;
        ExpectParty(got.from, got.keptFrom, true, m.sndName, m.sndAdd);
        ExpectParty(got.to, got.keptTo, false, m.rcvName, m.rcvAdd);
        EXPECT_EQ(got.subject, m.subject);
        if (MailTime(m.ymd, m.hms) && *MailTime(m.ymd, m.hms) < 0) {
            EXPECT_EQ(got.dateText, MessageDate(m.ymd, m.hms)); // GMime reads no date before 1970
        } else if (MailTime(m.ymd, m.hms)) {
            EXPECT_EQ(got.ymd, m.ymd);
            EXPECT_EQ(got.hms, m.hms == "23:59:60" ? "23:59:59" : m.hms); // a leap second as the second before
            EXPECT_EQ(got.zoneSeconds, 9 * 3600);
        } else {
            EXPECT_EQ(got.ymd + " " + got.hms, "1970/01/01 00:00:00");
            EXPECT_EQ(got.zoneSeconds, 0);
        }
        EXPECT_EQ(got.contentType, "text/plain; charset=UTF-8");
        EXPECT_EQ(got.encoding, "base64");
        EXPECT_EQ(got.body, m.body) << m.subject;
        EXPECT_TRUE(got.attachments.empty());
    }

    static void ExpectShortLines(const std::string& text, const fs::path& file) {
        size_t start = 0;
        while (start < text.size()) {
            size_t end = text.find('\n', start);
            end = end == std::string::npos ? text.size() : end;
            size_t length = end - start;
            if (length > 0 && text[end - 1] == '\r')
                --length;
            ASSERT_LE(length, 78u) << file << ": " << text.substr(start, length);
            start = end + 1;
        }
    }

    // The parsed message's attachments: name, type and bytes, in order.
    static void ExpectAttachments(const test::ParsedMail& got, const std::vector<MailAttachment>& want) {
        ASSERT_EQ(got.attachments.size(), want.size()) << got.subject;
        for (size_t i = 0; i < want.size(); ++i) {
            EXPECT_EQ(got.attachments[i].fileName, want[i].fileName);
            EXPECT_EQ(got.attachments[i].contentType, want[i].contentType);
            EXPECT_EQ(got.attachments[i].data, want[i].data) << want[i].fileName;
        }
    }

    ExportResult Export(const MailSelection& selection, MailFormat format, const fs::path& target,
                        SeenMail seen = SeenMail::All) {
        NullWaitReporter quiet;
        ExportOptions options;
        options.seen = seen;
        return ExportMails(*db, selection, format, target, quiet, options);
    }

    static std::vector<fs::path> FilesIn(const fs::path& folder) {
        std::vector<fs::path> files;
        for (const auto& entry : fs::directory_iterator(folder))
            files.push_back(entry.path());
        std::sort(files.begin(), files.end());
        return files;
    }

    test::TempDir dir;
    std::unique_ptr<SQLite::Database> db = test::MemoryArchive();
    std::map<std::string, MailRecord> byId;
};

} // namespace

TEST_F(ExportTest, EveryFormatReadsBackFieldForFieldAndByteForByte) {
    // mbox: one file, "From " lines, LF line ends.
    const auto mbox = dir / "all.mbox";
    EXPECT_EQ(Export(MailSelection::All(), MailFormat::Mbox, mbox).written, static_cast<int64_t>(byId.size()));
    const auto mails = test::ParseFile(mbox, true);
    ASSERT_EQ(mails.size(), byId.size());
    std::set<std::string> seen;
    for (const auto& got : mails) {
        ExpectSameMail(got);
        seen.insert(got.messageId);
        EXPECT_EQ(got.mboxMarker, MboxFromLine(byId[got.messageId]));
        EXPECT_EQ(got.status, "RO");
    }
    EXPECT_EQ(seen.size(), byId.size());
    const std::string mboxText = test::ReadFile(mbox);
    EXPECT_EQ(mboxText.find('\r'), std::string::npos);
    ExpectShortLines(mboxText, mbox);

    // Maildir: sent mail seen in cur/, received mail in new/, nothing left in tmp/.
    const auto maildir = dir / "Maildir";
    Export(MailSelection::All(), MailFormat::Maildir, maildir);
    EXPECT_TRUE(FilesIn(maildir / "tmp").empty());
    size_t files = 0;
    for (const char* sub : {"cur", "new"})
        for (const auto& file : FilesIn(maildir / sub)) {
            ++files;
            const auto got = test::ParseFile(file, false);
            ASSERT_EQ(got.size(), 1u) << file;
            ExpectSameMail(got[0]);
            // All mail is marked read unless asked otherwise (ReadMarksFollowTheChoice).
            const std::string name = file.filename().string();
            EXPECT_EQ(std::string(sub), "cur") << name;
            EXPECT_EQ(name.substr(name.size() - 4), ":2,S") << name;
            ExpectShortLines(test::ReadFile(file), file);
        }
    EXPECT_EQ(files, byId.size());

    // eml: one file per mail, CR LF line ends.
    const auto eml = dir / "eml";
    Export(MailSelection::All(), MailFormat::Eml, eml);
    const auto emlFiles = FilesIn(eml);
    ASSERT_EQ(emlFiles.size(), byId.size());
    for (const auto& file : emlFiles) {
        EXPECT_EQ(file.extension(), ".eml");
        const auto got = test::ParseFile(file, false);
        ASSERT_EQ(got.size(), 1u);
        ExpectSameMail(got[0]);
        const std::string text = test::ReadFile(file);
        for (size_t i = text.find('\n'); i != std::string::npos; i = text.find('\n', i + 1))
            ASSERT_TRUE(i > 0 && text[i - 1] == '\r') << file;
        ExpectShortLines(text, file);
    }
}

TEST_F(ExportTest, ASecondExportIsTheSameMailAgainNotACopy) {
    const auto first = dir / "first.mbox";
    Export(MailSelection::All(), MailFormat::Mbox, first);
    Export(MailSelection::All(), MailFormat::Mbox, dir / "second.mbox");
    EXPECT_EQ(test::ReadFile(first), test::ReadFile(dir / "second.mbox"));

    // A mail program has read one received mail and flagged it; exporting again replaces that file.
    const auto maildir = dir / "Maildir";
    Export(MailSelection::All(), MailFormat::Maildir, maildir);
    const auto received = FilesIn(maildir / "cur");
    ASSERT_FALSE(received.empty());
    const std::string readName = received.front().filename().string();
    const fs::path moved = maildir / "cur" / (readName.substr(0, readName.find(':')) + ":2,RS");
    fs::rename(received.front(), moved);
    test::WriteFile(moved, "damaged by hand\n");
    Export(MailSelection::All(), MailFormat::Maildir, maildir);
    EXPECT_EQ(FilesIn(maildir / "new").size() + FilesIn(maildir / "cur").size(), byId.size());
    ASSERT_TRUE(fs::exists(moved));
    EXPECT_FALSE(fs::exists(received.front()));
    ExpectSameMail(test::ParseFile(moved, false).at(0));

    Export(MailSelection::All(), MailFormat::Eml, dir / "eml");
    Export(MailSelection::All(), MailFormat::Eml, dir / "eml");
    EXPECT_EQ(FilesIn(dir / "eml").size(), byId.size());
}

TEST_F(ExportTest, EachSelectionTakesExactlyItsMailInOrder) {
    const MailRecord& sample = byId.begin()->second;
    db->exec("INSERT INTO tblFilterData (tblFilterDt_Id, tblFilterDt_No, tblFilterDt_Date, tblFilterDt_Time,"
             " tblFilterDt_SubKey, tblFilterDt_SendName, tblFilterDt_SendAddr, tblFilterDt_RecvName,"
             " tblFilterDt_RecvAddr, tblFilterDt_SndRcvFlag, tblFilterDt_Subject)"
             " SELECT rowid, 70, tblKamoMail_YMD, tblKamoMail_HMS, tblKamoMail_SubKey, tblKamoMail_SndName,"
             " tblKamoMail_SndAdd, tblKamoMail_RcvName, tblKamoMail_RcvAdd, tblKamoMail_SndRcvFlag,"
             " tblKamoMail_Subject FROM tblKamoMail WHERE tblKamoMail_Subject LIKE '%ポ%'");
    NullWaitReporter quiet;
    UpdateSearchIndex(*db, quiet);
    const std::string oldestFirst = " ORDER BY tblKamoMail_YMD, tblKamoMail_HMS, tblKamoMail_SubKey,"
                                    " tblKamoMail_SndRcvFlag, tblKamoMail_SndAdd, tblKamoMail_RcvAdd";
    struct Case {
        MailSelection selection;
        std::string where; // the same mails by plain SQL (search: by the search itself)
    };
    const Case cases[] = {
        {MailSelection::Of(MailSelection::Kind::Address, sample.sndAdd),
         "tblKamoMail_SndAdd = ?1 OR tblKamoMail_RcvAdd = ?1"},
        {MailSelection::Of(MailSelection::Kind::Name, sample.rcvName),
         "tblKamoMail_SndName = ?1 OR tblKamoMail_RcvName = ?1"},
        {MailSelection::Of(MailSelection::Kind::Date, sample.ymd), "tblKamoMail_YMD = ?1"},
        {MailSelection::Filter(70), "tblKamoMail_Subject LIKE '%ポ%'"},
        {MailSelection::Of(MailSelection::Kind::Search, "ﾎﾟｽﾍﾟ 髙"), ""},
    };
    for (const auto& c : cases) {
        std::vector<std::string> expected;
        std::vector<int64_t> rows;
        if (c.where.empty()) {
            rows = test::FoundRows(*db, c.selection.key);
        } else {
            SQLite::Statement st(*db, "SELECT rowid FROM tblKamoMail WHERE " + c.where + oldestFirst);
            if (c.where.find("?1") != std::string::npos)
                st.bind(1, c.selection.key);
            while (st.executeStep())
                rows.push_back(st.getColumn(0).getInt64());
        }
        MailRowReader reader(*db);
        for (int64_t row : rows)
            expected.push_back(StripBrackets(MessageId(*reader.Read(row))));
        ASSERT_FALSE(expected.empty()) << c.selection.Describe();

        const auto file = dir / "selection.mbox";
        Export(c.selection, MailFormat::Mbox, file);
        std::vector<std::string> got;
        for (const auto& m : test::ParseFile(file, true)) {
            got.push_back(m.messageId);
            ExpectSameMail(m);
        }
        EXPECT_EQ(got, expected) << c.selection.Describe();
    }
}

TEST_F(ExportTest, AttachmentsBecomePartsAfterTheText) {
    MailRecord mail = TrickyMails().front();
    std::string binary;
    for (int i = 0; i < 256 * 3; ++i)
        binary += static_cast<char>(i % 256);
    std::string longName;
    for (int i = 0; i < 40; ++i)
        longName += "長い名前の添付ファイル";
    const std::string longAscii = std::string(150, 'a') + ".txt";
    const std::vector<MailAttachment> attachments = {
        {"写真①.jpg", "image/jpeg", binary},           {"note.txt", "", "From me\r\n--=_KamoMail_x\r\n"},
        {longName + ".pdf", "application/pdf", "pdf"}, {longAscii, "text/plain\r\nX-Injected: yes", "plain"},
        {"", "image/png; name=x", "no name"},
    };
    const std::string text = MailMessageText(mail, attachments, "\r\n");
    const test::ParsedMail got = test::ParseBytes(text);
    EXPECT_EQ(got.body, mail.body);
    EXPECT_EQ(got.subject, mail.subject);
    // A content type that is no plain type/subtype goes out as the neutral one.
    ExpectAttachments(got, {{"写真①.jpg", "image/jpeg", binary},
                            {"note.txt", "application/octet-stream", attachments[1].data},
                            {longName + ".pdf", "application/pdf", "pdf"},
                            {longAscii, "application/octet-stream", "plain"},
                            {"", "application/octet-stream", "no name"}});
    EXPECT_EQ(text.find("X-Injected"), std::string::npos);
    ExpectShortLines(text, "message with attachments"); // long names continue over several lines
}

TEST_F(ExportTest, StoredAttachmentsGoOutWithTheirMailOnly) {
    // The tricky mails get fresh sub-keys at each call: find the stored one by its subject.
    const std::string subject = TrickyMails().front().subject;
    const auto it = std::find_if(byId.begin(), byId.end(), [&](const auto& e) { return e.second.subject == subject; });
    ASSERT_NE(it, byId.end());
    const MailRecord& stored = it->second;
    std::string picture;
    for (int i = 0; i < 5000; ++i)
        picture += static_cast<char>((i * 7) % 256);
    {
        AttachmentWriter writer(*db);
        const MailKey key = KeyOf(stored);
        writer.Add(key, 2, {"メモ.txt", "text/plain", "From here\r\n"}); // stored out of order on purpose
        writer.Add(key, 1, {"写真①.jpg", "image/jpeg", picture});
    }
    Export(MailSelection::All(), MailFormat::Mbox, dir / "all.mbox");
    const auto mails = test::ParseFile(dir / "all.mbox", true);
    ASSERT_EQ(mails.size(), byId.size());
    int withAttachments = 0;
    for (const auto& got : mails) {
        if (got.messageId != it->first) {
            EXPECT_TRUE(got.attachments.empty()) << got.subject;
            continue;
        }
        ++withAttachments;
        EXPECT_EQ(got.body, stored.body);
        ExpectAttachments(got, {{"写真①.jpg", "image/jpeg", picture}, {"メモ.txt", "text/plain", "From here\r\n"}});
    }
    EXPECT_EQ(withAttachments, 1);

    // An archive written before the attachment table existed exports its mail as text alone.
    db->exec("DROP TABLE tblAttachment");
    EXPECT_EQ(Export(MailSelection::All(), MailFormat::Mbox, dir / "old.mbox").written,
              static_cast<int64_t>(byId.size()));
}

TEST_F(ExportTest, AnMboxThatCannotBeWrittenIsReportedAndTheOldFileStays) {
    EXPECT_THROW(Export(MailSelection::All(), MailFormat::Mbox, dir.path()), std::runtime_error); // a folder
    EXPECT_THROW(Export(MailSelection::All(), MailFormat::Mbox, dir / "missing" / "a.mbox"), std::runtime_error);
    test::WriteFile(dir / "keep.mbox", "old");
    db->exec("DROP TABLE tblKamoMail"); // the export fails half-way through the database
    EXPECT_ANY_THROW(Export(MailSelection::All(), MailFormat::Mbox, dir / "keep.mbox"));
    EXPECT_EQ(test::ReadFile(dir / "keep.mbox"), "old");
    EXPECT_EQ(FilesIn(dir.path()).size(), 1u); // no half-written file left beside it
}

TEST_F(ExportTest, ReadMarksFollowTheChoice) {
    // Sent mail only: received mail stays unread (no Status in mbox, new/ in Maildir).
    Export(MailSelection::All(), MailFormat::Mbox, dir / "sent.mbox", SeenMail::SentOnly);
    for (const auto& got : test::ParseFile(dir / "sent.mbox", true))
        EXPECT_EQ(got.status, byId[got.messageId].sent ? "RO" : "") << got.subject;
    const auto maildir = dir / "Maildir";
    Export(MailSelection::All(), MailFormat::Maildir, maildir, SeenMail::SentOnly);
    size_t unread = 0;
    for (const char* sub : {"cur", "new"})
        for (const auto& file : FilesIn(maildir / sub)) {
            const bool sent = byId[test::ParseFile(file, false).at(0).messageId].sent;
            EXPECT_EQ(std::string(sub), sent ? "cur" : "new") << file;
            unread += sent ? 0 : 1;
        }
    EXPECT_GT(unread, 0u);
    // Exporting again with every mail read moves the untouched ones from new/ to cur/, no copies.
    Export(MailSelection::All(), MailFormat::Maildir, maildir, SeenMail::All);
    EXPECT_TRUE(FilesIn(maildir / "new").empty());
    EXPECT_EQ(FilesIn(maildir / "cur").size(), byId.size());
}

TEST_F(ExportTest, FilesCarryTheMailsOwnTimeAndNamesNeverStartWithAMinus) {
    Export(MailSelection::All(), MailFormat::Maildir, dir / "Maildir");
    Export(MailSelection::All(), MailFormat::Eml, dir / "eml");
    std::vector<fs::path> files = FilesIn(dir / "Maildir" / "cur");
    for (const auto& f : FilesIn(dir / "eml"))
        files.push_back(f);
    ASSERT_EQ(files.size(), 2 * byId.size());
    int before1970 = 0;
    for (const auto& file : files) {
        const MailRecord& m = byId[test::ParseFile(file, false).at(0).messageId];
        struct stat st {};
        ASSERT_EQ(::stat(file.c_str(), &st), 0);
        const auto t = MailTime(m.ymd, m.hms);
        before1970 += t && *t < 0 ? 1 : 0;
        EXPECT_EQ(st.st_mtime, t ? std::max<std::time_t>(0, *t) : 0) << file;
        EXPECT_NE(file.filename().string().front(), '-') << file;
    }
    EXPECT_EQ(before1970, 2);
}

TEST_F(ExportTest, KeptHeaderFieldsGoOutAndAMessageIdTwiceInOneExportGivesWay) {
    auto mailWith = [&](const std::string& subject) -> MailRecord& {
        for (auto& [id, m] : byId)
            if (m.subject == subject)
                return m;
        throw std::runtime_error("no mail " + subject);
    };
    const MailRecord& original = mailWith(std::string(70, 'x'));
    const MailRecord& reply = mailWith("閏秒");
    const MailRecord& copy = mailWith("昔のメール");
    const MailRecord& other = mailWith("宛先なし");
    HeaderFields first;
    first.messageId = "<meeting.1@example.jp>";
    first.cc = {{"山田 花子", "hanako@example.jp"}, {"", "jiro@example.jp"}, {"名無し", "no address"}};
    first.replyTo = {{"Taro", "taro@work.example.jp"}};
    HeaderFields answer;
    answer.messageId = "<answer.2@example.jp>";
    answer.inReplyTo = "<meeting.1@example.jp>";
    answer.references = "<older.0@example.jp> <meeting.1@example.jp>";
    HeaderFields twice; // two mails of the archive came with one Message-ID
    twice.messageId = "<same@example.jp>";
    {
        HeaderFieldWriter writer(*db);
        writer.Put(KeyOf(original), first);
        writer.Put(KeyOf(reply), answer);
        writer.Put(KeyOf(copy), twice);
        writer.Put(KeyOf(other), twice);
    }
    Export(MailSelection::All(), MailFormat::Mbox, dir / "all.mbox");
    int found = 0;
    for (const auto& got : test::ParseFile(dir / "all.mbox", true)) {
        if (got.subject == original.subject) {
            ++found;
            EXPECT_EQ(got.messageId, "meeting.1@example.jp");
            ASSERT_EQ(got.cc.size(), 2u);
            EXPECT_EQ(got.cc[0].name, "山田 花子");
            EXPECT_EQ(got.cc[0].address, "hanako@example.jp");
            EXPECT_EQ(got.cc[1].address, "jiro@example.jp");
            EXPECT_EQ(got.keptCc, "名無し <no address>");
            ASSERT_EQ(got.replyTo.size(), 1u);
            EXPECT_EQ(got.replyTo[0].address, "taro@work.example.jp");
        } else if (got.subject == reply.subject) {
            ++found;
            EXPECT_EQ(got.messageId, "answer.2@example.jp");
            EXPECT_EQ(got.inReplyTo, "<meeting.1@example.jp>");
            EXPECT_EQ(got.references, "<older.0@example.jp> <meeting.1@example.jp>");
        } else if (got.subject == copy.subject || got.subject == other.subject) {
            ++found;
            EXPECT_EQ(got.messageId, StripBrackets(MessageId(got.subject == copy.subject ? copy : other)));
        } else {
            ExpectSameMail(got);
            EXPECT_TRUE(got.cc.empty());
        }
    }
    EXPECT_EQ(found, 4);
    // Alone in its export, the mail keeps its own Message-ID.
    Export(MailSelection::Of(MailSelection::Kind::Address, copy.sndAdd), MailFormat::Mbox, dir / "one.mbox");
    bool alone = false;
    for (const auto& got : test::ParseFile(dir / "one.mbox", true))
        if (got.subject == copy.subject) {
            alone = true;
            EXPECT_EQ(got.messageId, "same@example.jp");
        }
    EXPECT_TRUE(alone);
}

TEST_F(ExportTest, AFileThatCannotBeWrittenLeavesNoTemporaryBehind) {
    // A full disk, as the process sees it: no file may grow past a few kilobytes.
    struct FileSizeLimit {
        rlimit old{};
        void (*oldHandler)(int);
        FileSizeLimit() : oldHandler(std::signal(SIGXFSZ, SIG_IGN)) {
            ::getrlimit(RLIMIT_FSIZE, &old);
            rlimit small = old;
            small.rlim_cur = 4096;
            ::setrlimit(RLIMIT_FSIZE, &small);
        }
        ~FileSizeLimit() {
            ::setrlimit(RLIMIT_FSIZE, &old);
            std::signal(SIGXFSZ, oldHandler);
        }
    };
    for (const auto& [format, target] :
         {std::pair{MailFormat::Eml, dir / "eml"}, std::pair{MailFormat::Maildir, dir / "Maildir"},
          std::pair{MailFormat::Mbox, dir / "all.mbox"}}) {
        SCOPED_TRACE(target.string());
        {
            FileSizeLimit full;
            EXPECT_THROW(Export(MailSelection::All(), format, target), std::runtime_error);
        }
        std::error_code ec;
        for (auto it = fs::recursive_directory_iterator(dir.path(), ec); it != fs::recursive_directory_iterator();
             ++it) {
            const std::string name = it->path().filename().string();
            if (it->is_regular_file()) {
                EXPECT_NE(name.front(), '.') << it->path(); // a temporary
                EXPECT_GT(it->file_size(), 0u) << it->path();
                EXPECT_NE(it->path().parent_path().filename(), "tmp") << it->path();
            }
        }
    }
}

namespace {

// An archive file with a few mails, a .Bak and a backup beside it, exported under umask 022.
class ExportFilesTest : public ::testing::Test {
protected:
    ExportFilesTest() : oldMask_(::umask(022)) {
        fs::create_directories(data / "backup");
        test::AddMails(archive, 0, 4);
        fs::copy_file(archive, fs::path(archive.string() + ".Bak"));
        fs::copy_file(archive, data / "backup" / "KamoMail-2026-12-08.Mdb");
        db = OpenArchive(archive);
    }
    ~ExportFilesTest() override { ::umask(oldMask_); }

    ExportResult Export(MailFormat format, const fs::path& target) {
        NullWaitReporter quiet;
        return ExportMails(*db, MailSelection::All(), format, target, quiet);
    }
    static int Mode(const fs::path& p) {
        return static_cast<int>(fs::symlink_status(p).permissions() & fs::perms::mask);
    }
    // Every file below `folder` (not links, not folders).
    static std::vector<fs::path> Files(const fs::path& folder) {
        std::vector<fs::path> files;
        for (const auto& e : fs::recursive_directory_iterator(folder))
            if (e.is_regular_file() && !e.is_symlink())
                files.push_back(e.path());
        return files;
    }

    mode_t oldMask_;
    test::TempDir dir;
    fs::path data = dir / "data";
    fs::path archive = data / "KamoMail.Mdb";
    std::unique_ptr<SQLite::Database> db;
};

} // namespace

TEST_F(ExportFilesTest, EveryFormatWritesFilesForTheUserAloneAndTheArchivesNarrowerMode) {
    for (const unsigned archiveMode : {0600u, 0400u}) {
        fs::permissions(archive, fs::perms(archiveMode));
        for (const auto& [format, target] :
             {std::pair{MailFormat::Mbox, dir / "out" / "mail.mbox"}, std::pair{MailFormat::Eml, dir / "out" / "eml"},
              std::pair{MailFormat::Maildir, dir / "out" / "maildir"}}) {
            SCOPED_TRACE(target.string() + " " + std::to_string(archiveMode));
            fs::create_directories(dir / "out");
            ASSERT_EQ(Export(format, target).written, 4);
            const auto files = Files(dir / "out");
            EXPECT_EQ(files.size(), format == MailFormat::Mbox ? 1u : 4u);
            for (const auto& f : files)
                EXPECT_EQ(Mode(f), static_cast<int>(archiveMode)) << f;
            fs::remove_all(dir / "out");
        }
    }
}

// A link planted at any name an export writes, its temporary names included: the file it names stays
// as it was, and the export either refuses or leaves a regular file in the link's place.
TEST_F(ExportFilesTest, ALinkPlantedAtAnyNameIsNeverWrittenThrough) {
    const fs::path victim = dir / "victim";
    auto plant = [&](const fs::path& at) {
        fs::create_directories(at.parent_path());
        fs::remove(at);
        fs::create_symlink(victim, at);
    };
    // The names of a first export, learnt, then emptied and planted with links.
    ASSERT_EQ(Export(MailFormat::Eml, dir / "eml").written, 4);
    ASSERT_EQ(Export(MailFormat::Maildir, dir / "md").written, 4);
    std::vector<fs::path> planted = {dir / "mail.mbox"};
    for (const auto& f : Files(dir / "eml")) {
        planted.push_back(f);
        planted.push_back(f.parent_path() / ("." + f.filename().string() + ".part"));
    }
    for (const auto& f : Files(dir / "md")) {
        planted.push_back(f);
        const std::string name = f.filename().string();
        planted.push_back(dir / "md" / "tmp" / name.substr(0, name.find(':')));
    }
    for (const auto& at : planted)
        plant(at);
    for (const auto& [format, target] :
         {std::pair{MailFormat::Mbox, dir / "mail.mbox"}, std::pair{MailFormat::Eml, dir / "eml"},
          std::pair{MailFormat::Maildir, dir / "md"}}) {
        SCOPED_TRACE(target.string());
        test::WriteFile(victim, "victim");
        try {
            Export(format, target);
        } catch (const std::runtime_error&) {
            // refused: fine, as long as nothing went through the link
        }
        EXPECT_EQ(test::ReadFile(victim), "victim");
    }
    for (const auto& at : planted)
        EXPECT_TRUE(fs::is_symlink(at) || fs::is_regular_file(fs::symlink_status(at))) << at;
}

// The archive and its copies are never an export's target, under any name: refused with a message,
// and the archive is byte for byte as it was.
TEST_F(ExportFilesTest, TheArchiveAndItsCopiesAreRefusedAsTargets) {
    fs::create_symlink(archive, dir / "link.mbox");
    fs::create_hard_link(archive, dir / "hard.mbox");
    const std::string before = test::ReadFile(archive);
    const std::string bak = test::ReadFile(archive.string() + ".Bak");
    const fs::path targets[] = {archive,
                                fs::path(archive.string() + ".Bak"),
                                data / "backup" / "KamoMail-2026-12-08.Mdb",
                                dir / "link.mbox",
                                dir / "hard.mbox",
                                data / ".." / "data" / "KamoMail.Mdb"};
    for (const auto& target : targets) {
        SCOPED_TRACE(target.string());
        try {
            Export(MailFormat::Mbox, target);
            ADD_FAILURE() << "exported over the archive or a copy";
        } catch (const std::runtime_error& e) {
            EXPECT_NE(ErrorText(e).find("アーカイブかそのコピー"), std::string::npos) << e.what();
        }
        EXPECT_EQ(test::ReadFile(archive), before);
        EXPECT_EQ(test::ReadFile(archive.string() + ".Bak"), bak);
    }
    EXPECT_EQ(test::ReadFile(data / "backup" / "KamoMail-2026-12-08.Mdb"), before);
}
