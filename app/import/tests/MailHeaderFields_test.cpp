// The header fields kept beside a mail for other mail programs: read from the mail's own header
// region when it is read, and stored with it (also for a mail an earlier reading stored without them).
#include <gtest/gtest.h>

#include "db/HeaderFields.h"
#include "import/MailDecode.h"
#include "import/MailHeaderFields.h"
#include "import/MailStore.h"
#include "testsupport/TestSupport.h"

using namespace kamo;

TEST(MailHeaderFields, TheFieldsOtherProgramsNeedAreReadFromTheHeader) {
    const std::string header =
        "From: a@example.jp\r\n"
        "Message-ID: <20010306.1@mail.example.jp>\r\n"
        "In-Reply-To: <root@example.jp> (Taro's mail)\r\n"
        "References: <older@example.jp>\r\n"
        "\t<root@example.jp> <broken\r\n"
        "Cc: \"Yamada, Hanako\" <hanako@example.jp>, jiro@example.jp (Jiro),\r\n"
        " =?ISO-2022-JP?B?GyRCOzNFRBsoQg==?= <yama@example.jp>, \x8e\x52\x93\x63 <sjis@example.jp>,"
        " friends: x@example.jp, y@example.jp;\r\n"
        "Reply-To: <reply@example.jp>\r\n"
        "\r\n";
    const HeaderFields f = ReadHeaderFields(header);
    EXPECT_EQ(f.messageId, "<20010306.1@mail.example.jp>");
    EXPECT_EQ(f.inReplyTo, "<root@example.jp>");
    EXPECT_EQ(f.references, "<older@example.jp> <root@example.jp>");
    const std::vector<MailParty> cc = {{"Yamada, Hanako", "hanako@example.jp"},
                                       {"Jiro", "jiro@example.jp"},
                                       {"山田", "yama@example.jp"},
                                       {"山田", "sjis@example.jp"},
                                       {"", "x@example.jp"},
                                       {"", "y@example.jp"}};
    EXPECT_EQ(f.cc, cc);
    EXPECT_EQ(f.replyTo, (std::vector<MailParty>{{"", "reply@example.jp"}}));
    EXPECT_TRUE(ReadHeaderFields("From: a@example.jp\r\nMessage-ID: no id at all\r\n\r\n").Empty());
    EXPECT_TRUE(ReadHeaderFields("").Empty());
}

TEST(MailHeaderFields, DecodingAMailGivesItsFieldsAndAnAttachedTextItsCharset) {
    TmpMail raw;
    raw.from = "sender@example.jp";
    raw.to = "kamo@example.jp";
    raw.subject = "s";
    raw.date = "Tue, 6 Mar 2001 21:05:09 +0900";
    raw.header = "Message-ID: <m1@example.jp>\r\nMIME-Version: 1.0\r\n"
                 "Content-Type: multipart/mixed; boundary=\"b\"\r\n\r\n";
    raw.rawBody = "--b\r\nContent-Type: text/plain; charset=ISO-2022-JP\r\n\r\nhi\r\n"
                  "--b\r\nContent-Type: text/plain; charset=Shift_JIS\r\nContent-Disposition: attachment\r\n\r\n"
                  "\x93\xfa\x96\x7b\r\n--b--\r\n";
    const DecodedMail decoded = DecodeMail(raw, nullptr);
    EXPECT_EQ(decoded.headers.messageId, "<m1@example.jp>");
    ASSERT_EQ(decoded.attachments.size(), 1u);
    EXPECT_EQ(decoded.attachments[0].contentType, "text/plain; charset=Shift_JIS");
}

TEST(MailHeaderFields, StoredWithTheMailAndGivenToAMailStoredWithoutThem) {
    auto db = test::MemoryArchive();
    MailRecord mail;
    mail.ymd = "2001/03/06";
    mail.hms = "21:05:09";
    mail.sndName = "山田";
    mail.sndAdd = "yamada@example.jp";
    mail.rcvName = "かも";
    mail.rcvAdd = "kamo@example.jp";
    mail.subject = "件名";
    mail.body = "本文";
    mail.include = "0";
    HeaderFields fields;
    fields.messageId = "<m1@example.jp>";
    fields.cc = {{"", "cc@example.jp"}};
    // An earlier version stored the mail, without its fields and with its text attachment's
    // media type alone: reading it again is no new mail, and it gets its fields.
    const std::vector<Attachment> before = {{"memo.txt", "text/plain", "\x93\xfa"}};
    const std::vector<Attachment> now = {{"memo.txt", "text/plain; charset=Shift_JIS", "\x93\xfa"}};
    MailStore store(*db);
    MailRecord first = mail;
    ASSERT_EQ(store.Store(first, before), MailStore::Outcome::Stored);
    HeaderFieldReader reader(*db);
    EXPECT_TRUE(reader.Read(KeyOf(first)).Empty());
    MailRecord again = mail;
    EXPECT_EQ(store.Store(again, now, {}, fields), MailStore::Outcome::AlreadyStored);
    EXPECT_EQ(reader.Read(KeyOf(first)), fields);
    // A new mail has them from the start.
    MailRecord other = mail;
    other.body = "別の本文";
    HeaderFields otherFields;
    otherFields.messageId = "<m2@example.jp>";
    ASSERT_EQ(store.Store(other, {}, {}, otherFields), MailStore::Outcome::Stored);
    EXPECT_EQ(reader.Read(KeyOf(other)).messageId, "<m2@example.jp>");
    EXPECT_EQ(db->execAndGet("SELECT COUNT(*) FROM tblKamoMail").getInt(), 2);
}
