#include "db/HeaderFields.h"

#include <gtest/gtest.h>

#include "db/Attachments.h"
#include "db/Schema.h"
#include "db/tests/ArchiveFiles.h"

namespace kamo {
namespace {

HeaderFields Sample(const std::string& id) {
    HeaderFields f;
    f.messageId = id;
    f.inReplyTo = "<a@example.jp>";
    f.references = "<root@example.jp> <a@example.jp>";
    f.cc = {{"山田\t花子\r\n", "hanako@example.jp"}, {"", "jiro@example.jp"}};
    f.replyTo = {{"Taro", "taro@example.jp"}};
    return f;
}

TEST(HeaderFields, KeptUnderTheirMailFollowItAndGoWithIt) {
    auto db = test::MemoryArchive();
    MailRecord first = test::NumberedMail(0);
    MailRecord second = first;
    second.subKey = 1;
    test::InsertTestMail(*db, first);
    test::InsertTestMail(*db, second);
    {
        HeaderFieldWriter writer(*db);
        writer.Put(KeyOf(first), Sample("<first@example.jp>"));
        writer.Put(KeyOf(second), Sample("<second@example.jp>"));
        writer.Keep(KeyOf(second), Sample("<not-taken@example.jp>")); // something is kept already
    }
    HeaderFieldReader reader(*db);
    HeaderFields want = Sample("<first@example.jp>");
    want.cc[0].name = "山田 花子  "; // tabs and line breaks in a name become blanks
    EXPECT_EQ(reader.Read(KeyOf(first)), want);
    EXPECT_EQ(reader.Read(KeyOf(second)).messageId, "<second@example.jp>");
    EXPECT_TRUE(reader.RepeatedMessageIds().empty());

    // A mail whose key changes takes them along; a deleted mail takes them away.
    db->exec("UPDATE tblKamoMail SET tblKamoMail_HMS = '23:00:00' WHERE tblKamoMail_SubKey = 0");
    MailKey moved = KeyOf(first);
    moved.hms = "23:00:00";
    EXPECT_EQ(reader.Read(moved).messageId, "<first@example.jp>");
    EXPECT_TRUE(reader.Read(KeyOf(first)).Empty());
    db->exec("DELETE FROM tblKamoMail WHERE tblKamoMail_SubKey = 1");
    EXPECT_EQ(db->execAndGet("SELECT COUNT(*) FROM tblHeaderFields").getInt(), 1);

    // What another program or a CSV import put there is checked again when read.
    db->exec("UPDATE tblHeaderFields SET tblHeaderFields_MessageId = '<no at sign>', tblHeaderFields_References ="
             " 'junk <ok@x.jp> <bad id@x.jp> <also@x.jp>'");
    const HeaderFields read = reader.Read(moved);
    EXPECT_EQ(read.messageId, "");
    EXPECT_EQ(read.references, "<ok@x.jp> <also@x.jp>");
}

TEST(HeaderFields, AnArchiveWithoutTheTableReadsAsNoneAndGetsItWhenOpened) {
    auto db = test::MemoryArchive();
    db->exec("DROP TABLE tblHeaderFields");
    HeaderFieldReader reader(*db);
    EXPECT_TRUE(reader.Read(KeyOf(test::NumberedMail(0))).Empty());
    EXPECT_TRUE(reader.RepeatedMessageIds().empty());
    EXPECT_TRUE(AddMissingTables(*db));
    EXPECT_EQ(db->execAndGet("SELECT COUNT(*) FROM sqlite_master WHERE name IN ('tblHeaderFields', "
                             "'idxHeaderFields_MessageId', 'trgKamoMail_DeleteHeaderFields', "
                             "'trgKamoMail_MoveHeaderFields')")
                  .getInt(),
              4);
}

TEST(HeaderFields, MessageIdsAndAddressListsKeepTheirShape) {
    struct Case {
        const char* value;
        const char* ids;
    };
    const Case cases[] = {
        {"<a@b>", "<a@b>"},
        {"  <a@b>\r\n\t<c.d@e.f> (comment)", "<a@b> <c.d@e.f>"},
        {"<no-at-sign> <a b@c> <@x> <x@> <<x@y>", "<x@y>"},
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(JoinedMessageIds(c.value), c.ids) << c.value;
    EXPECT_FALSE(IsMessageId("<" + std::string(300, 'a') + "@b>"));
    const std::vector<MailParty> parties = {{"", "a@b"}, {"名前", "c@d"}, {"", "odd text"}};
    EXPECT_EQ(PartiesOf(PartiesText(parties)), parties);
    EXPECT_TRUE(PartiesOf("").empty());
}

TEST(HeaderFields, AStoredTextTypeKeepsItsCharsetAndReadsAsItsMediaType) {
    EXPECT_EQ(StoredContentType("text/plain", "Shift_JIS"), "text/plain; charset=Shift_JIS");
    EXPECT_EQ(StoredContentType("text/plain", ""), "text/plain");
    EXPECT_EQ(StoredContentType("image/jpeg", "utf-8"), "image/jpeg");
    EXPECT_EQ(StoredContentType("text/plain", "x\r\nX-Injected: 1"), "text/plain");
    EXPECT_EQ(MediaTypeOf("text/plain; charset=Shift_JIS"), "text/plain");
    EXPECT_EQ(MediaTypeOf("image/jpeg"), "image/jpeg");
    EXPECT_EQ(CharsetOf("text/plain; charset=Shift_JIS"), "Shift_JIS");
    EXPECT_EQ(CharsetOf("text/plain"), "");
    // A list (and the extension of an unnamed file saved from it) sees the media type.
    auto db = test::MemoryArchive();
    const MailRecord mail = test::NumberedMail(0);
    test::InsertTestMail(*db, mail);
    AttachmentWriter(*db).Add(KeyOf(mail), 1, {"", "text/plain; charset=Shift_JIS", "\x93\xfa"});
    EXPECT_EQ(ListAttachments(*db, KeyOf(mail)).at(0).contentType, "text/plain");
    EXPECT_EQ(AttachmentReader(*db).Read(KeyOf(mail)).at(0).contentType, "text/plain; charset=Shift_JIS");
}

} // namespace
} // namespace kamo
