// Mail with its own MIME header fields, written by the mailbox writer and read through the library
// into an archive: the stored text against what was put in, the attachments byte for byte.
#include <gtest/gtest.h>

#include "db/Attachments.h"
#include "db/MailRows.h"
#include "db/Schema.h"
#include "import/MailRead.h"
#include "mime/EarlierReading.h"
#include "ppwriter/MailboxWriter.h"
#include "testsupport/ScriptedPrompter.h"
#include "testsupport/TestSupport.h"
#include "upkeep/TableExchange.h"

using namespace kamo;

namespace {

constexpr const char* kDate = "Tue, 04 Sep 2001 21:05:33 +0900";

// A mail whose header region carries `fields` (MIME-Version among them when wanted). All bytes are
// written as given: ASCII list fields, the header and the body in whatever encoding the case needs.
ppw::Mail MimeMail(const std::string& subject, const std::string& fields, const std::string& body,
                   const std::string& date = kDate) {
    ppw::Mail m;
    m.raw = true;
    m.from = "hanako@example.jp";
    m.to = "kamo@example.jp";
    m.subject = subject;
    m.date = date;
    m.header = "From: hanako@example.jp\r\nTo: kamo@example.jp\r\nSubject: " + subject + "\r\nDate: " + date + "\r\n" +
               fields + "\r\n";
    m.body = body;
    return m;
}

std::string TextPart(const std::string& fields, const std::string& body) {
    return fields + "\r\n" + body;
}

// Every byte value, zeros, CR and LF in every combination a line-break reshaping would spoil.
std::string BinaryBytes() {
    std::string b = std::string("\xFF\xD8\xFF\xE0\x00\x10JFIF\x00\x01", 12) + "\r\r\n\n\r" + std::string(3, '\0');
    for (int i = 0; i < 256; ++i)
        b += static_cast<char>(i);
    return b + "\xFF\xD9";
}

// A mail of a text and `part` (header fields, an empty line, body): its stored body and attachments.
struct PartCase {
    const char* what;
    std::string part, text;
    std::string files; // each attachment as "name=bytes;"
};

std::string Utf8Word(const std::string& utf8) {
    return "=?UTF-8?B?" + ppw::Base64(utf8, 0) + "?=";
}

class MimeRead : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(library.Load()) << library.Error();
        db = OpenArchive(dir / "KamoMail.Mdb", true);
        CreateTables(*db);
    }

    ReadSummary Read(const std::vector<ppw::Mail>& mails, const ReadHooks& hooks = {}) {
        const MailboxFiles files = LocateMailbox(dir / "PostPet", Mailboxes()[0]);
        std::filesystem::create_directories(files.list.parent_path());
        ppw::WriteMailbox(files.list, files.mail, mails);
        ReadRequest request;
        request.postPetDir = dir / "PostPet";
        request.tmpPath = dir / "KamoMail.Tmp";
        request.mailboxes.push_back({&Mailboxes()[0], false, true});
        return ReadPostPetMail(*db, library, request, hooks, wait);
    }

    struct Row {
        MailKey key;
        std::string subject, body, sndName;
    };
    Row Stored(const std::string& subject) {
        std::string sql = "SELECT tblKamoMail_YMD, tblKamoMail_HMS, tblKamoMail_SubKey, tblKamoMail_SndRcvFlag, "
                          "tblKamoMail_SndAdd, tblKamoMail_RcvAdd, tblKamoMail_Subject, tblKamoMail_SndName, "
                          "tblKamoMail_Mail1";
        for (int i = 2; i <= kBodyPieces; ++i)
            sql += " || tblKamoMail_Mail" + std::to_string(i);
        SQLite::Statement st(*db, sql + " FROM tblKamoMail WHERE tblKamoMail_Subject = ?");
        st.bind(1, subject);
        if (!st.executeStep())
            throw std::runtime_error("no mail " + subject);
        Row r;
        r.key.ymd = st.getColumn(0).getString();
        r.key.hms = st.getColumn(1).getString();
        r.key.subKey = st.getColumn(2).getInt64();
        r.key.sent = st.getColumn(3).getInt() != 0;
        r.key.sndAdd = st.getColumn(4).getString();
        r.key.rcvAdd = st.getColumn(5).getString();
        r.subject = st.getColumn(6).getString();
        r.sndName = st.getColumn(7).getString();
        r.body = st.getColumn(8).getString();
        return r;
    }
    int64_t Count(const char* table) { return db->execAndGet(std::string("SELECT COUNT(*) FROM ") + table).getInt64(); }

    void ExpectPartsRead(const std::vector<PartCase>& cases) {
        std::vector<ppw::Mail> mails;
        for (std::size_t i = 0; i < cases.size(); ++i)
            mails.push_back(MimeMail("part " + std::to_string(i), "Content-Type: multipart/mixed; boundary=p\r\n",
                                     ppw::Multipart("p", {"\r\n本文です。", cases[i].part})));
        ASSERT_EQ(Read(mails).Totals().stored, static_cast<int64_t>(cases.size()));
        for (std::size_t i = 0; i < cases.size(); ++i) {
            const auto row = Stored("part " + std::to_string(i));
            std::string files;
            for (const auto& a : ListAttachments(*db, row.key))
                files += a.name + "=" + AttachmentBytes(*db, row.key, a.position).value_or("?") + ";";
            EXPECT_EQ(row.body, cases[i].text) << cases[i].what;
            EXPECT_EQ(files, cases[i].files) << cases[i].what;
        }
    }

    test::TempDir dir;
    KamoLibrary library{test::BuildLibraryPath()};
    std::unique_ptr<SQLite::Database> db;
    ScriptedPrompter prompter;
    NullWaitReporter wait;
};

} // namespace

TEST_F(MimeRead, BodiesAreUndoneFromTheirTransferEncodingThenReadInTheirCharset) {
    const std::string text = "こんにちは。髙橋です①\r\nIt's A|B の件～\r\n";
    const std::string stored = "こんにちは。髙橋です①\r\nIt’s A｜B の件～\r\n"; // quote-safe as every body
    const std::string euc = "日本語のテスト\r\nです。\r\n";
    std::string longLine; // longer than a quoted-printable line: soft line breaks inside
    for (int i = 0; i < 12; ++i)
        longLine += "ポストペット";
    const std::string mime = "MIME-Version: 1.0\r\n";
    auto type = [&](const std::string& charset, const std::string& encoding) {
        return mime + "Content-Type: text/plain; charset=" + charset + "\r\nContent-Transfer-Encoding: " + encoding +
               "\r\n";
    };
    struct Case {
        std::string subject, fields, body, expected;
    };
    const std::vector<Case> cases = {
        {"b64-utf8", type("UTF-8", "base64"), ppw::Base64(text), stored},
        {"b64-sjis", type("Shift_JIS", "base64"), ppw::Base64(ppw::ToCp932(text)), stored},
        {"qp-utf8", type("\"utf-8\"", "quoted-printable"), ppw::QuotedPrintable(longLine + "\r\n" + text),
         longLine + "\r\n" + stored},
        {"qp-cp932", type("windows-31j", "Quoted-Printable"), ppw::QuotedPrintable(ppw::ToCp932(longLine + text)),
         longLine + stored},
        {"utf8-emoji", type("utf-8", "8bit"), "絵文字😀と🐧です\r\n", "絵文字😀と🐧です\r\n"},
        {"euc-jp", type("EUC-JP", "8bit"), ppw::ToCharset(euc, "EUC-JP"), euc},
        {"iso-2022-jp", type("ISO-2022-JP", "7bit"), ppw::ToIso2022Jp(euc), euc},
        {"latin1", type("ISO-8859-1", "quoted-printable"), "caf=E9 cr=E8me\r\n", "café crème\r\n"},
        // Base64 text with bare LF line breaks is stored with CR LF, as every body.
        {"b64-lf", type("UTF-8", "base64"), ppw::Base64("一行目\n二行目\n"), "一行目\r\n二行目\r\n"},
        // Plainly wrong declarations give way to what the bytes are.
        {"utf8-as-jis", type("ISO-2022-JP", "8bit"), text, stored},
        {"sjis-as-jis", type("iso-2022-jp", "8bit"), ppw::ToCp932(text), stored},
        {"sjis-as-utf8", type("UTF-8", "8bit"), ppw::ToCp932(text), stored},
        {"utf8-as-latin1", type("iso-8859-1", "8bit"), text, stored},
        {"utf8-as-ascii", type("us-ascii", "7bit"), text, stored},
        {"undeclared-utf8", mime, text, stored},
        {"undeclared-sjis", mime + "Content-Type: text/plain\r\n", ppw::ToCp932(text), stored},
        // A body declared base64 that holds 8-bit text was stored decoded: taken as it is.
        {"b64-stored-decoded", type("Shift_JIS", "base64"), ppw::ToCp932(text), stored},
        // Without MIME header fields a base64-looking body is PostPet text, as it always was.
        {"no-mime", "", ppw::Base64("abc"), "YWJj"},
    };
    std::vector<ppw::Mail> mails;
    for (const auto& c : cases)
        mails.push_back(MimeMail(c.subject, c.fields, c.body));
    const auto summary = Read(mails);
    ASSERT_EQ(summary.Totals().stored, static_cast<int64_t>(cases.size()));
    for (const auto& c : cases)
        EXPECT_EQ(Stored(c.subject).body, c.expected) << c.subject;
    EXPECT_EQ(Count("tblAttachment"), 0);
}

TEST_F(MimeRead, AMultipartMailGivesItsTextAndKeepsEveryAttachmentByteForByte) {
    const std::string jpeg = BinaryBytes();
    const std::string binary = std::string("PK\x03\x04\0\0\r\n\r\r\n\n", 12) + std::string(5000, '\0') + "end\r";
    const std::string alternative =
        ppw::Multipart("alt-boundary",
                       {TextPart("Content-Type: text/plain; charset=ISO-2022-JP\r\nContent-Transfer-Encoding: 7bit\r\n",
                                 ppw::ToIso2022Jp("写真を送ります。\r\nよろしく。")),
                        TextPart("Content-Type: text/html; charset=UTF-8\r\n", "<p>写真を<b>送ります</b></p>")});
    const std::string body = ppw::Multipart(
        "outer-boundary",
        {TextPart("Content-Type: multipart/alternative;\r\n boundary=\"alt-boundary\"\r\n", alternative),
         TextPart("Content-Type: image/jpeg;\r\n name=\"" + ppw::EncodedWord("旅行の写真.jpg") +
                      "\"\r\nContent-Transfer-Encoding: base64\r\nContent-Disposition: attachment;\r\n filename=\"" +
                      ppw::EncodedWord("旅行の写真.jpg") + "\"\r\n",
                  ppw::Base64(jpeg)),
         TextPart("Content-Type: application/octet-stream\r\nContent-Transfer-Encoding: binary\r\n"
                  "Content-Disposition: attachment;\r\n filename*0*=UTF-8''%E8%A6%8B%E7%A9;\r\n"
                  " filename*1*=%8D%E6%9B%B8.zip\r\n",
                  binary),
         TextPart("Content-Type: text/plain; charset=Shift_JIS; name=\"memo.txt\"\r\n", ppw::ToCp932("メモ\r\n"))});
    Read({MimeMail("multipart", "MIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=outer-boundary\r\n",
                   body)});
    const auto row = Stored("multipart");
    EXPECT_EQ(row.body, "写真を送ります。\r\nよろしく。");
    const auto list = ListAttachments(*db, row.key);
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0].name, "旅行の写真.jpg");
    EXPECT_EQ(list[0].contentType, "image/jpeg");
    EXPECT_EQ(list[0].size, static_cast<int64_t>(jpeg.size()));
    EXPECT_EQ(AttachmentBytes(*db, row.key, 1), jpeg);
    EXPECT_EQ(list[1].name, "見積書.zip"); // RFC 2231 sections, a character split between them
    EXPECT_EQ(AttachmentBytes(*db, row.key, 2), binary);
    EXPECT_EQ(list[2].name, "memo.txt"); // a text part with a file name is a file
    EXPECT_EQ(list[2].contentType, "text/plain");
    // Stored with its charset, so that its bytes can be read again.
    EXPECT_EQ(AttachmentReader(*db).Read(row.key).at(2).contentType, "text/plain; charset=Shift_JIS");
    EXPECT_EQ(AttachmentBytes(*db, row.key, 3), ppw::ToCp932("メモ\r\n"));
}

TEST_F(MimeRead, HtmlWithoutAPlainVersionIsStoredAsTextAndNestedMessagesAreWalked) {
    const std::string html =
        "<html><head><title>件名</title><style>p {color: red}</style></head><body>"
        "<p>こんにちは&amp;さようなら</p><div>一行目<br>二行目&nbsp;&lt;三&gt;&#x2460;&#9312;</div>"
        "<!-- 見えない --><script>var x = '<p>';</script>"
        "<p>最後の   段落\r\n続き</p></body></html>";
    const std::string htmlText = "こんにちは&さようなら\r\n一行目\r\n二行目 <三>①①\r\n最後の 段落 続き";
    const std::string htmlOnly = MimeMail("html-only",
                                          "MIME-Version: 1.0\r\nContent-Type: text/html; charset=shift_jis\r\n"
                                          "Content-Transfer-Encoding: quoted-printable\r\n",
                                          ppw::QuotedPrintable(ppw::ToCp932(html)))
                                     .body;
    const std::string alternative = ppw::Multipart(
        "a1", {TextPart("Content-Type: text/html; charset=UTF-8\r\nContent-Transfer-Encoding: base64\r\n",
                        ppw::Base64("<p>HTMLだけ</p><p>です</p>")),
               TextPart("Content-Type: image/png\r\nContent-Transfer-Encoding: base64\r\n", ppw::Base64("PNG"))});

    // A forwarded mail: its own header fields (one with encoded words), a text and a picture.
    const std::string inner =
        "From: " + ppw::EncodedWord("山田 花子") + " <hanako@example.jp>\r\nSubject: " + ppw::EncodedWord("元の件名") +
        "\r\nDate: Mon, 03 Sep 2001 10:00:00 +0900\r\nMIME-Version: 1.0\r\n"
        "Content-Type: multipart/mixed; boundary=inner\r\n\r\n" +
        ppw::Multipart("inner", {TextPart("Content-Type: text/plain; charset=UTF-8\r\n", "元の本文です。\r\n"),
                                 TextPart("Content-Type: image/gif; name=a.gif\r\n"
                                          "Content-Transfer-Encoding: base64\r\n",
                                          ppw::Base64("GIF89a"))});
    const std::string forwarded = ppw::Multipart(
        "fw", {TextPart("Content-Type: text/plain; charset=ISO-2022-JP\r\n", ppw::ToIso2022Jp("転送します。")),
               TextPart("Content-Type: message/rfc822\r\n", inner)});
    Read({MimeMail("html-only",
                   "MIME-Version: 1.0\r\nContent-Type: text/html; charset=shift_jis\r\n"
                   "Content-Transfer-Encoding: quoted-printable\r\n",
                   htmlOnly),
          MimeMail("html-alternative", "MIME-Version: 1.0\r\nContent-Type: multipart/alternative; boundary=a1\r\n",
                   alternative),
          MimeMail("forwarded", "MIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=\"fw\"\r\n", forwarded)});
    EXPECT_EQ(Stored("html-only").body, htmlText);
    const auto alt = Stored("html-alternative");
    EXPECT_EQ(alt.body, "HTMLだけ\r\nです");
    ASSERT_EQ(ListAttachments(*db, alt.key).size(), 1u); // the picture of the alternative is kept
    EXPECT_EQ(AttachmentBytes(*db, alt.key, 1), "PNG");
    const auto fw = Stored("forwarded");
    // (The comma is the full-width one every stored body has.)
    EXPECT_EQ(fw.body, "転送します。\r\n\r\nFrom: 山田 花子 <hanako@example.jp>\r\nSubject: 元の件名\r\n"
                       "Date: Mon， 03 Sep 2001 10:00:00 +0900\r\n\r\n元の本文です。\r\n");
    const auto list = ListAttachments(*db, fw.key);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].name, "a.gif");
    EXPECT_EQ(AttachmentBytes(*db, fw.key, 1), "GIF89a");
}

TEST_F(MimeRead, HeaderTextJoinsSplitWordsAndReadsRaw8BitText) {
    const std::string b = "=?UTF-8?B?";
    struct Case {
        std::string subject, expected;
    };
    const std::vector<Case> cases = {
        // 日本語 in UTF-8 (E6 97 A5 E6 9C AC E8 AA 9E) cut inside 本 and inside 語.
        {b + "5pel5pw=?= " + b + "rOiq?=\r\n " + b + "ng==?=", "日本語"},
        // ISO-2022-JP cut between the two bytes of 本, in Q form.
        {"=?ISO-2022-JP?Q?=1B$BF|K?= =?iso-2022-jp?q?=5C=1B(B?=", "日本"},
        // A fold inside a word, and padding missing or extra.
        {b + "5pel5pys\r\n 6Kqe?=", "日本語"},
        {b + "5pel5pys6Kqe5pel?=", "日本語日"},
        {b + "5pel5pys6Kqe===?=", "日本語"},
        // Different charsets next to each other are each their own run.
        {b + "5pel?= =?ISO-2022-JP?B?GyRCS1wbKEI=?= end", "日本 end"},
        // Raw 8-bit text: CP932 as always, UTF-8 and EUC-JP where CP932 does not fit.
        {ppw::ToCp932("髙橋の件"), "髙橋の件"},
        {"テストの件", "テストの件"},
        {"こんにちは", "こんにちは"}, // CP932 would take these bytes, but reads half-width katakana
        {ppw::ToCharset("日本語の件", "EUC-JP"), "日本語の件"},
    };
    std::vector<ppw::Mail> mails;
    for (std::size_t i = 0; i < cases.size(); ++i) {
        ppw::Mail m = MimeMail(cases[i].subject, "", "body " + std::to_string(i) + "\r\n");
        m.from = ppw::ToCharset("差出人 <s" + std::to_string(i) + "@example.jp>", "UTF-8");
        mails.push_back(m);
    }
    ASSERT_EQ(Read(mails).Totals().stored, static_cast<int64_t>(cases.size()));
    for (std::size_t i = 0; i < cases.size(); ++i) {
        SQLite::Statement st(*db, "SELECT tblKamoMail_Subject, tblKamoMail_SndName FROM tblKamoMail "
                                  "WHERE tblKamoMail_Mail1 = ?");
        st.bind(1, "body " + std::to_string(i) + "\r\n");
        ASSERT_TRUE(st.executeStep()) << i;
        EXPECT_EQ(st.getColumn(0).getString(), cases[i].expected) << i;
        EXPECT_EQ(st.getColumn(1).getString(), "差出人") << i;
    }
}

TEST_F(MimeRead, EveryDateFormIsStoredAsWrittenAndAnImpossibleOneAsTheMarker) {
    struct Case {
        std::string date, ymd, hms;
    };
    const std::vector<Case> cases = {
        {"Tue, 6 Mar 2001 13.47.26 +0900", "2001/03/06", "13:47:26"},
        {"Tue, 6 Mar 2001 14:58:26+0800", "2001/03/06", "14:58:26"},
        {"Friday, 19-Nov-82 16:14:55 EST", "1982/11/19", "16:14:55"},
        {"Tue, 6 Mar 2001 21:05:09 JST", "2001/03/06", "21:05:09"},
        {"Tue, 6 Mar 2001 21:05:09 GMT", "2001/03/06", "21:05:09"},
        {"6 Mar 2001 21:05:09 +0900", "2001/03/06", "21:05:09"},
        {"Tue,  6   Mar  2001  21:05:09   +0900", "2001/03/06", "21:05:09"},
        {"Sat, 31 Feb 2001 10:00:00 +0900", "0000/00/00", "00:00:00"},
        {"Tue, 6 Mar 2001 10:99:00 +0900", "0000/00/00", "00:00:00"},
    };
    std::vector<ppw::Mail> mails;
    for (std::size_t i = 0; i < cases.size(); ++i)
        mails.push_back(MimeMail("date " + std::to_string(i), "", "body\r\n", cases[i].date));
    ASSERT_EQ(Read(mails).Totals().stored, static_cast<int64_t>(cases.size()));
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const auto row = Stored("date " + std::to_string(i));
        EXPECT_EQ(row.key.ymd, cases[i].ymd) << cases[i].date;
        EXPECT_EQ(row.key.hms, cases[i].hms) << cases[i].date;
    }
}

TEST_F(MimeRead, MailStoredByTheEarlierReadingIsBroughtUpToDateNotStoredTwice) {
    const std::string fields = "MIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=b\r\n";
    const std::string body = ppw::Multipart(
        "b", {TextPart("Content-Type: text/plain; charset=UTF-8\r\nContent-Transfer-Encoding: base64\r\n",
                       ppw::Base64("添付を見てね\r\n")),
              TextPart("Content-Type: application/pdf; name=a.pdf\r\nContent-Transfer-Encoding: base64\r\n",
                       ppw::Base64("%PDF-1.3"))});
    // The earlier reading took every body for PostPet text: as a mail without MIME header fields.
    // It kept no originals (a row with one is decoded again from it instead).
    ReadHooks before;
    before.keepOriginals = false;
    const auto earlier = Read({MimeMail("upgrade", "", body), MimeMail("plain", "", "ふつう\r\n")}, before);
    ASSERT_EQ(earlier.Totals().stored, 2);
    EXPECT_NE(Stored("upgrade").body.find("--b"), std::string::npos);

    const auto again = Read({MimeMail("upgrade", fields, body), MimeMail("plain", "", "ふつう\r\n")});
    EXPECT_EQ(again.Totals().stored, 0);
    EXPECT_EQ(again.Totals().alreadyStored, 2);
    EXPECT_EQ(again.Totals().updated, 1);
    EXPECT_NE(FormatSummary(again).find("保存済み 2 / フィルター除外 0 / 破損 0 / 読み直して更新 1"), std::string::npos)
        << FormatSummary(again);
    EXPECT_EQ(Count("tblKamoMail"), 2);
    const auto row = Stored("upgrade");
    EXPECT_EQ(row.body, "添付を見てね\r\n");
    EXPECT_EQ(AttachmentBytes(*db, row.key, 1), "%PDF-1.3");

    const auto third = Read({MimeMail("upgrade", fields, body), MimeMail("plain", "", "ふつう\r\n")});
    EXPECT_EQ(third.Totals().alreadyStored, 2);
    EXPECT_EQ(third.Totals().updated, 0);
    EXPECT_EQ(Count("tblKamoMail"), 2);
    EXPECT_EQ(Count("tblAttachment"), 1);
}

TEST_F(MimeRead, DifferentMailsWhoseEarlierReadingsMatchEachOtherAreAllStoredNoneOverwritten) {
    // Two pairs under one date, time and address pair: the second of each reads, as the earlier
    // decoding did, like the first (links dropped, blanks of Q words stripped).
    const std::string html = "MIME-Version: 1.0\r\nContent-Type: text/html; charset=UTF-8\r\n";
    const std::vector<ppw::Mail> mails = {
        MimeMail("Sale", html, "<p>Sale today</p>"),
        MimeMail("Sale", html, "<p><a href=\"http://example.jp/sale\">Sale today</a></p>"),
        MimeMail("ab", "", "same\r\n"),
        MimeMail("=?UTF-8?Q?a_b?=", "", "same\r\n"),
    };
    const auto fresh = Read(mails);
    EXPECT_EQ(fresh.Totals().stored, 4) << FormatSummary(fresh);
    EXPECT_EQ(fresh.Totals().updated, 0);
    EXPECT_EQ(FormatSummary(fresh).find("読み直して更新"), std::string::npos) << FormatSummary(fresh);
    EXPECT_EQ(Count("tblKamoMail"), 4);
    EXPECT_EQ(Stored("ab").body, "same\r\n");
    EXPECT_EQ(Stored("a b").body, "same\r\n");
    SQLite::Statement sale(*db, "SELECT tblKamoMail_Mail1 FROM tblKamoMail WHERE tblKamoMail_Subject = 'Sale' "
                                "ORDER BY tblKamoMail_SubKey");
    std::vector<std::string> saleBodies;
    while (sale.executeStep())
        saleBodies.push_back(sale.getColumn(0).getString());
    EXPECT_EQ(saleBodies, (std::vector<std::string>{"Sale today", "Sale today <http://example.jp/sale>"}));

    const auto again = Read(mails);
    EXPECT_EQ(again.Totals().alreadyStored, 4) << FormatSummary(again);
    EXPECT_EQ(again.Totals().updated, 0);
    EXPECT_EQ(Count("tblKamoMail"), 4);
}

TEST_F(MimeRead, ValuesAreStoredAsTheArchivesOwnCsvImportTakesThem) {
    const std::string mime = "MIME-Version: 1.0\r\n";
    std::string utf16; // "テスト\r\n" in UTF-16LE, sent as it is
    for (const char16_t c : std::u16string(u"テスト\r\n"))
        utf16 += std::string{static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
    ppw::Mail forged = MimeMail(
        "forged", mime + "Cc: =?UTF-8?B?" + ppw::Base64(std::string("a\0b", 3)) + "?= <c@example.jp>\r\n", "body\r\n");
    forged.from = "=?UTF-8?B?" + ppw::Base64("Mallory\r\nX-Evil: 1") + "?= <hanako@example.jp>";
    const std::vector<ppw::Mail> mails = {
        MimeMail("=?iso-2022-jp?b?GyRCJUYlOSVIGyhCCg=?=", "", "jis\r\n"),
        MimeMail("utf-16", mime + "Content-Type: text/plain; charset=UTF-16LE\r\nContent-Transfer-Encoding: binary\r\n",
                 utf16),
        forged,
    };
    ASSERT_EQ(Read(mails).Totals().stored, 3);
    EXPECT_EQ(Stored("テスト").body, "jis\r\n");
    EXPECT_EQ(Stored("utf-16").body, "テスト\r\n");
    EXPECT_EQ(Stored("forged").sndName, "Mallory  X-Evil: 1");

    const auto csv = dir / "csv";
    ExportTables(*db, csv);
    auto copy = OpenArchive(dir / "Copy.Mdb", true);
    CreateTables(*copy);
    EXPECT_NO_THROW(ImportTables(*copy, csv));
    EXPECT_EQ(copy->execAndGet("SELECT COUNT(*) FROM tblKamoMail").getInt64(), 3);
    EXPECT_EQ(copy->execAndGet("SELECT COUNT(*) FROM tblHeaderFields").getInt64(), Count("tblHeaderFields"));
}

TEST_F(MimeRead, MailWithoutMimeFieldsAndRaw8BitHeadersAreReadInTheirJapaneseSet) {
    struct Case {
        std::string subject, body;         // as the mail file holds them
        std::string storedSubject, stored; // as the archive should hold them
    };
    const std::string text = "メール送信のテストです。\r\nよろしくお願いします。\r\n";
    const std::vector<Case> cases = {
        {"euc", ppw::ToCharset(text, "EUC-JP"), "euc", text},
        {"euc-kana", ppw::ToCharset("テスト\r\n", "EUC-JP"), "euc-kana", "テスト\r\n"},
        {"utf-8", text, "utf-8", text},
        {"jis", ppw::ToIso2022Jp(text), "jis", text},
        {"cp932", ppw::ToCp932("髙橋です①\r\n"), "cp932", "髙橋です①\r\n"},
        {"cp932-halfwidth", ppw::ToCp932("ﾃｽﾄ ﾒｰﾙです\r\n"), "cp932-halfwidth", "ﾃｽﾄ ﾒｰﾙです\r\n"},
        // Raw 8-bit subjects: EUC-JP of kana bytes only, which CP932 takes for half-width katakana.
        {ppw::ToCharset("テスト", "EUC-JP"), "s1\r\n", "テスト", "s1\r\n"},
        {ppw::ToCharset("ごあんない", "EUC-JP"), "s2\r\n", "ごあんない", "s2\r\n"},
        {ppw::ToCp932("ｶﾀｶﾅ･ﾃｽﾄ"), "s3\r\n", "ｶﾀｶﾅ･ﾃｽﾄ", "s3\r\n"},
    };
    std::vector<ppw::Mail> mails;
    for (const auto& c : cases)
        mails.push_back(MimeMail(c.subject, "", c.body));
    ASSERT_EQ(Read(mails).Totals().stored, static_cast<int64_t>(cases.size()));
    for (const auto& c : cases)
        EXPECT_EQ(Stored(c.storedSubject).body, c.stored) << c.storedSubject;
}

TEST_F(MimeRead, MailStoredByTheEarlierDecodingIsUpdatedInPlaceOnARereadNeverAdded) {
    const std::string mime = "MIME-Version: 1.0\r\n";
    const std::string stray = [] {
        std::string b64 = ppw::Base64("壊れたbase64の本文です。\r\n", 20);
        return b64.insert(22, "\xE9");
    }();
    // Every mail has the same date, sender and receiver: each update must find its own row.
    const std::vector<ppw::Mail> mails = {
        MimeMail("euc-body", "", ppw::ToCharset("メール送信のテスト\r\n", "EUC-JP")),
        MimeMail(ppw::ToCharset("テスト", "EUC-JP"), "", "raw subject\r\n"),
        MimeMail("=?UTF-8?Q?Test a special character =E3=83=BC?=", "", "q word\r\n"),
        MimeMail("sjis-name", mime + "Content-Type: multipart/mixed; boundary=b\r\n",
                 ppw::Multipart("b", {TextPart("Content-Type: text/plain; charset=UTF-8\r\n", "表を送ります\r\n"),
                                      TextPart("Content-Type: application/vnd.ms-excel; name=\"" +
                                                   ppw::ToCp932("表計算.xls") + "\"\r\n",
                                               "XLS")})),
        MimeMail("stray", mime + "Content-Type: text/plain; charset=UTF-8\r\nContent-Transfer-Encoding: base64\r\n",
                 stray),
        MimeMail("link", mime + "Content-Type: text/html; charset=UTF-8\r\n",
                 "<p><a href=\"http://example.jp/\">こちら</a></p>"),
        MimeMail("unchanged", "", ppw::ToCp932("そのまま\r\n")),
        [] { // only the sender's name changes
            ppw::Mail m = MimeMail("name-only", "", "name\r\n");
            m.from = ppw::ToCharset("テスト <hanako@example.jp>", "EUC-JP");
            return m;
        }(),
    };
    ReadHooks earlier;
    earlier.decode = [](const TmpMail& raw, Mail_StrChange_Fn strChange, bool whole) {
        const EarlierReading reading;
        return whole ? DecodeMail(raw, strChange) : DecodeMailAsText(raw, strChange);
    };
    earlier.keepOriginals = false; // as the versions before originals were kept
    ASSERT_EQ(Read(mails, earlier).Totals().stored, 8);
    // What the earlier decoding stored (as the archives of its users hold it).
    EXPECT_EQ(Stored("･ﾆ･ｹ･ﾈ").body, "raw subject\r\n");
    EXPECT_EQ(Stored("Testaspecialcharacterー").body, "q word\r\n");
    const auto oldName = Stored("sjis-name");
    ASSERT_EQ(ListAttachments(*db, oldName.key).size(), 1u);
    EXPECT_EQ(ListAttachments(*db, oldName.key)[0].name, "阜v算.xls");
    EXPECT_EQ(Stored("stray").body.rfind(stray.substr(0, 22), 0), 0u); // base64 as written
    EXPECT_EQ(Stored("link").body, "こちら");
    EXPECT_EQ(Stored("name-only").sndName, "･ﾆ･ｹ･ﾈ");
    const std::string eucOld = Stored("euc-body").body;
    EXPECT_NE(eucOld, "メール送信のテスト\r\n");

    const auto again = Read(mails);
    EXPECT_EQ(again.Totals().stored, 0);
    EXPECT_EQ(again.Totals().updated, 7) << FormatSummary(again);
    EXPECT_EQ(again.Totals().alreadyStored, 8);
    EXPECT_EQ(Count("tblKamoMail"), 8);
    EXPECT_EQ(Count("tblAttachment"), 1);
    EXPECT_EQ(Stored("euc-body").body, "メール送信のテスト\r\n");
    EXPECT_EQ(Stored("テスト").body, "raw subject\r\n");
    EXPECT_EQ(Stored("Test a special character ー").body, "q word\r\n");
    const auto name = Stored("sjis-name");
    EXPECT_EQ(name.key, oldName.key); // the same row, under its own key
    ASSERT_EQ(ListAttachments(*db, name.key).size(), 1u);
    EXPECT_EQ(ListAttachments(*db, name.key)[0].name, "表計算.xls");
    EXPECT_EQ(AttachmentBytes(*db, name.key, 1), "XLS");
    EXPECT_EQ(Stored("stray").body.rfind("壊れたbase64の本文です。\r\n", 0), 0u) << Stored("stray").body;
    EXPECT_EQ(Stored("link").body, "こちら <http://example.jp/>");
    EXPECT_EQ(Stored("unchanged").body, "そのまま\r\n");
    EXPECT_EQ(Stored("name-only").sndName, "テスト");

    const auto third = Read(mails);
    EXPECT_EQ(third.Totals().alreadyStored, 8);
    EXPECT_EQ(third.Totals().updated, 0);
    EXPECT_EQ(Count("tblKamoMail"), 8);
}

TEST_F(MimeRead, AMailReadAsTextAfterItsDecodingFailedNeverReplacesAnEarlierReadingsRow) {
    const std::vector<ppw::Mail> mails = {MimeMail(
        "files", "MIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=b\r\n",
        ppw::Multipart(
            "b", {TextPart("Content-Type: text/plain; charset=UTF-8\r\n", "表を送ります\r\n"),
                  TextPart("Content-Type: application/vnd.ms-excel; name=\"" + ppw::ToCp932("表計算.xls") + "\"\r\n",
                           "XLS")}))};
    ReadHooks earlier;
    earlier.decode = [](const TmpMail& raw, Mail_StrChange_Fn strChange, bool whole) {
        const EarlierReading reading;
        return whole ? DecodeMail(raw, strChange) : DecodeMailAsText(raw, strChange);
    };
    ASSERT_EQ(Read(mails, earlier).Totals().stored, 1);
    const auto before = Stored("files");
    ReadHooks failing;
    failing.decode = [](const TmpMail& raw, Mail_StrChange_Fn strChange, bool whole) {
        if (whole)
            throw std::bad_alloc();
        return DecodeMailAsText(raw, strChange);
    };
    const auto summary = Read(mails, failing);
    EXPECT_EQ(summary.Totals().undecoded, 1);
    EXPECT_EQ(summary.Totals().updated, 0);
    SQLite::Statement st(*db, "SELECT tblKamoMail_Mail1 FROM tblKamoMail WHERE tblKamoMail_SubKey = ?");
    st.bind(1, before.key.subKey);
    ASSERT_TRUE(st.executeStep());
    EXPECT_EQ(st.getColumn(0).getString(), before.body);
    ASSERT_EQ(ListAttachments(*db, before.key).size(), 1u);
    EXPECT_EQ(AttachmentBytes(*db, before.key, 1), "XLS");
}

// A Content-Type of a parameter only, uuencoded bodies, a forwarded message behind an mbox line.
TEST_F(MimeRead, EachFormOfAPartsHeaderGivesItsTextAndAttachment) {
    const std::string uu = "\r\nbegin 664 h.txt\r\n%:&5L;&\\`\r\n`\r\nend\r\n";
    const std::string file = "Content-Type: application/octet-stream; name=h.txt\r\nContent-Transfer-Encoding: ";
    const std::string inner =
        "Received: from a.example.jp; Fri, 26 Jan 2001 00:11:05 +0900\r\nFrom: elena@example.jp\r\n"
        "Subject: gif\r\nContent-Type: multipart/mixed; boundary=in\r\n\r\n" +
        ppw::Multipart("in", {"\r\nSee.\r\n", "Content-Type: image/gif; name=a.gif\r\n\r\nGIF89a"});
    const std::string forwarded = "本文です。\r\n\r\nFrom: elena@example.jp\r\nSubject: gif\r\n\r\nSee.\r\n";
    ExpectPartsRead({
        {"parameter only", "Content-Type: name=\"" + Utf8Word("テスト.txt") + "\"\r\n\r\n12345", "本文です。",
         "テスト.txt=12345;"},
        {"x-uuencode", file + "x-uuencode\r\n" + uu, "本文です。", "h.txt=hello;"},
        {"uuencode", file + "UUENCODE\r\n" + uu, "本文です。", "h.txt=hello;"},
        {"mbox line", "Content-Type: message/rfc822\r\n\r\nFrom elena@example.jp Fri Jan 26 00:11:07 2001\r\n" + inner,
         forwarded, "a.gif=GIF89a;"},
        {"text from", "Content-Type: message/rfc822\r\n\r\nFrom here on.\r\nNo header.",
         "本文です。\r\nFrom here on.\r\nNo header.", ""},
    });
}

// Names whose quotes a writer got wrong read as the name meant.
TEST_F(MimeRead, ANameWithBrokenQuotingGivesTheNameMeant) {
    const std::string extra = Utf8Word("クオテーションが先頭に過剰");
    const std::string open = Utf8Word("一部のクオテーションが末尾に不足");
    const std::string file = "Content-Type: application/octet-stream";
    ExpectPartsRead({
        {"quote too many", file + "; name=\"\"" + extra + "\"\r\n\r\nXYZ", "本文です。",
         "クオテーションが先頭に過剰=XYZ;"},
        {"RFC 2231 left open", file + "\r\nContent-Disposition: attachment;\r\n filename*0*=\"" + open + ";\r\n\r\nXYZ",
         "本文です。", "一部のクオテーションが末尾に不足=XYZ;"},
        {"open before another", file + "; name=\"" + open + "; x=1\r\n\r\nXYZ", "本文です。",
         "一部のクオテーションが末尾に不足=XYZ;"},
    });
}
