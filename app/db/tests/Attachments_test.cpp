#include "db/Attachments.h"

#include <gtest/gtest.h>

#include "db/Archive.h"
#include "db/tests/ArchiveFiles.h"

namespace kamo {
namespace {

using test::ReadFile;
using test::TempDir;

// Two mails of one second that differ in their sub-key only, each with attachments.
struct TwoMails {
    explicit TwoMails(SQLite::Database& db) {
        first = test::NumberedMail(0);
        second = first;
        second.subKey = 1;
        test::InsertTestMail(db, first);
        test::InsertTestMail(db, second);
        AttachmentWriter writer(db);
        writer.Add(KeyOf(first), 1, {"写真.jpg", "image/jpeg", std::string("\xFF\xD8\x00\x00\r\n\x1A\xFF", 8)});
        writer.Add(KeyOf(first), 2, {"", "application/octet-stream", ""});
        writer.Add(KeyOf(second), 1, {"memo.txt", "text/plain", "second"});
    }
    MailRecord first, second;
};

int64_t AttachmentRows(SQLite::Database& db) {
    return db.execAndGet("SELECT COUNT(*) FROM tblAttachment").getInt64();
}

TEST(Attachments, TheHeadOfAnAttachmentIsItsFirstBytesAtMost) {
    auto db = test::MemoryArchive();
    TwoMails mails(*db);
    std::string big(3 << 20, 'x');
    big.replace(0, 4, "\x89PNG");
    AttachmentWriter(*db).Add(KeyOf(mails.second), 2, {"big.bin", "application/octet-stream", big});
    EXPECT_EQ(AttachmentHead(*db, KeyOf(mails.second), 2, 6), std::optional<std::string>("\x89PNGxx"));
    EXPECT_EQ(AttachmentHead(*db, KeyOf(mails.second), 1, 32), std::optional<std::string>("second")); // shorter
    EXPECT_EQ(AttachmentHead(*db, KeyOf(mails.first), 2, 32), std::optional<std::string>(""));        // empty
    EXPECT_EQ(AttachmentHead(*db, KeyOf(mails.first), 3, 32), std::nullopt);                          // no such one
    EXPECT_EQ(AttachmentHead(*db, KeyOf(mails.first), 1, 4),
              std::optional<std::string>(std::string("\xFF\xD8\x00\x00", 4)));
}

TEST(Attachments, StoredListedAndReadBackByteForByteUnderTheirOwnMail) {
    auto db = test::MemoryArchive();
    TwoMails mails(*db);
    const auto list = ListAttachments(*db, KeyOf(mails.first));
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].position, 1);
    EXPECT_EQ(list[0].name, "写真.jpg");
    EXPECT_EQ(list[0].contentType, "image/jpeg");
    EXPECT_EQ(list[0].size, 8);
    EXPECT_EQ(list[1].name, "");
    EXPECT_EQ(list[1].size, 0);
    EXPECT_EQ(AttachmentBytes(*db, KeyOf(mails.first), 1), std::string("\xFF\xD8\x00\x00\r\n\x1A\xFF", 8));
    EXPECT_EQ(AttachmentBytes(*db, KeyOf(mails.first), 2), "");
    EXPECT_EQ(AttachmentBytes(*db, KeyOf(mails.first), 3), std::nullopt);
    EXPECT_EQ(AttachmentBytes(*db, KeyOf(mails.second), 1), "second");
    // The archive's text equality: an address in another letter case is the same mail.
    MailKey upper = KeyOf(mails.second);
    upper.sndAdd = "KAMO0@EXAMPLE.JP";
    EXPECT_EQ(ListAttachments(*db, upper).size(), 1u);
    MailKey other = KeyOf(mails.second);
    other.sent = !other.sent;
    EXPECT_TRUE(ListAttachments(*db, other).empty());
}

TEST(Attachments, DeletingOrRekeyingAMailTakesItsAttachmentsAlongAndNoOthers) {
    auto db = test::MemoryArchive();
    TwoMails mails(*db);
    db->exec("DELETE FROM tblKamoMail WHERE tblKamoMail_SubKey = 1");
    EXPECT_EQ(AttachmentRows(*db), 2);
    EXPECT_TRUE(ListAttachments(*db, KeyOf(mails.second)).empty());
    // A command that changes a mail's key columns keeps its attachments with it.
    db->exec("UPDATE tblKamoMail SET tblKamoMail_YMD = '2002/01/01', tblKamoMail_SndAdd = 'new@example.jp'");
    MailKey moved = KeyOf(mails.first);
    moved.ymd = "2002/01/01";
    moved.sndAdd = "new@example.jp";
    EXPECT_EQ(ListAttachments(*db, moved).size(), 2u);
    EXPECT_TRUE(ListAttachments(*db, KeyOf(mails.first)).empty());
    db->exec("DELETE FROM tblKamoMail");
    EXPECT_EQ(AttachmentRows(*db), 0);
}

TEST(Attachments, AnArchiveWithoutTheTableGetsItOnceAndIsNotWrittenAgain) {
    TempDir dir;
    const auto path = dir / "KamoMail.Mdb";
    {
        // The six tables only, as every archive before the attachment table was.
        auto db = OpenArchive(path, true);
        CreateTables(*db);
        for (const auto& trigger : ArchiveTriggers())
            db->exec("DROP TRIGGER " + trigger.name);
        db->exec("DROP TABLE tblAttachment");
        test::InsertTestMail(*db, test::NumberedMail(3));
        EXPECT_TRUE(ListAttachments(*db, KeyOf(test::NumberedMail(3))).empty()); // no table: nothing, no error
        EXPECT_TRUE(AddMissingTables(*db));
        AttachmentWriter(*db).Add(KeyOf(test::NumberedMail(3)), 1, {"a.bin", "application/octet-stream", "x"});
        EXPECT_EQ(ListAttachments(*db, KeyOf(test::NumberedMail(3))).size(), 1u);
    }
    const std::string before = ReadFile(path);
    {
        auto db = OpenArchive(path);
        EXPECT_FALSE(AddMissingTables(*db));
        EXPECT_FALSE(UpgradeArchive(*db));
        db->exec("DELETE FROM tblKamoMail");
        EXPECT_EQ(AttachmentRows(*db), 0); // the trigger came with the table
    }
    EXPECT_NE(ReadFile(path), before);
}

TEST(Attachments, AnUpgradeThatRebuildsTheTablesKeepsTheTriggersAndTheRows) {
    auto db = test::MemoryArchive();
    TwoMails mails(*db);
    auto triggers = [&] {
        return db->execAndGet("SELECT COUNT(*) FROM sqlite_master WHERE type = 'trigger'").getInt();
    };
    // A table that lacks a column is rebuilt: dropped and renamed. SQLite refuses the rename of the
    // attachment table while the mail table's triggers name it; the mail table takes its triggers
    // with it when it is dropped.
    db->exec("ALTER TABLE tblAttachment DROP COLUMN tblAttachment_Type");
    EXPECT_TRUE(UpgradeArchive(*db));
    EXPECT_EQ(AttachmentBytes(*db, KeyOf(mails.second), 1), "second");
    db->exec("ALTER TABLE tblKamoMail DROP COLUMN tblKamoMail_Include");
    EXPECT_TRUE(UpgradeArchive(*db));
    EXPECT_EQ(triggers(), static_cast<int>(ArchiveTriggers().size()));
    db->exec("DELETE FROM tblKamoMail WHERE tblKamoMail_SubKey = 0");
    EXPECT_EQ(AttachmentRows(*db), 1);
    EXPECT_FALSE(UpgradeArchive(*db));
}

} // namespace
} // namespace kamo
