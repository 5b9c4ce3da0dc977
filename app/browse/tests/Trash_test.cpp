// The trash: every kind of deletion moves a mail with everything kept beside it, 元に戻す gives
// back the last deletion byte for byte, and the read does not store a trashed mail again.
#include <gtest/gtest.h>

#include <SQLiteCpp/Statement.h>
#include <SQLiteCpp/Transaction.h>

#include "browse/MailDeletion.h"
#include "common/WaitReporter.h"
#include "db/Trash.h"
#include "import/MailStore.h"
#include "search/SearchIndex.h"
#include "search/SearchQuery.h"
#include "search/tests/FoundRows.h"
#include "testsupport/TestSupport.h"
#include "upkeep/TrashActions.h"

using namespace kamo;

namespace {

const char* const kKept[] = {"tblKamoMail", "tblAttachment", "tblHeaderFields", "tblOriginal", "tblOriginalNames"};

// Every row of the mail's tables, each value quoted as SQLite holds it, in key order.
std::string Rows(SQLite::Database& db) {
    std::string all;
    for (const char* table : kKept) {
        SQLite::Statement q(db, std::string("SELECT * FROM ") + table + " ORDER BY 1, 2, 3, 4, 5, 6");
        while (q.executeStep()) {
            all += table;
            for (int i = 0; i < q.getColumnCount(); ++i)
                all += "|" + q.getColumn(i).getString() + "#" + std::to_string(q.getColumn(i).getType());
            all += "\n";
        }
    }
    return all;
}

int64_t Count(SQLite::Database& db, const std::string& sql) {
    return db.execAndGet(sql).getInt64();
}

// Two friends' mail, the first with an attachment, header fields, an original and kept names.
std::unique_ptr<SQLite::Database> Archive() {
    auto db = test::MemoryArchive();
    test::InsertTestMail(*db, test::Mail("2002/03/01", "09:00:00", false, "太郎", "taro@example.jp", "写真", "本文"));
    test::InsertTestMail(*db, test::Mail("2002/03/02", "10:00:00", true, "花子", "hana@example.jp", "返事", "はい"));
    const std::string key = "SELECT tblKamoMail_YMD, tblKamoMail_HMS, tblKamoMail_SubKey, tblKamoMail_SndRcvFlag, "
                            "tblKamoMail_SndAdd, tblKamoMail_RcvAdd";
    db->exec("INSERT INTO tblAttachment " + key +
             ", 1, 'a.jpg', 'image/jpeg', 3, x'FFD800', 1 FROM tblKamoMail "
             "WHERE tblKamoMail_Subject = '写真'");
    db->exec("INSERT INTO tblHeaderFields " + key +
             ", '<1@x>', '', '', 'c@x', '' FROM tblKamoMail "
             "WHERE tblKamoMail_Subject = '写真'");
    db->exec("INSERT INTO tblOriginal " + key + ", '受信箱', 7, x'0102' FROM tblKamoMail");
    db->exec("INSERT INTO tblOriginalNames " + key +
             ", 'たろう', '' FROM tblKamoMail WHERE tblKamoMail_Subject = '写真'");
    return db;
}

struct KindCase {
    const char* name;
    DeletionTarget target;
    int64_t mails;
};

DeletionTarget Key(DeletionTarget::Kind kind, const std::string& key) {
    DeletionTarget t;
    t.kind = kind;
    t.key = key;
    return t;
}

TEST(Trash, EachDeletionMovesEverythingAndUndoGivesItBackByteForByte) {
    DeletionTarget mail;
    mail.mail = {"2002/03/01", "09:00:00", 0, false, "", "", "taro@example.jp", ""};
    {
        auto probe = Archive();
        SQLite::Statement q(*probe, "SELECT tblKamoMail_RcvAdd FROM tblKamoMail WHERE tblKamoMail_Subject = '写真'");
        ASSERT_TRUE(q.executeStep());
        mail.mail.rcvAdd = q.getColumn(0).getString();
    }
    const KindCase cases[] = {
        {"mail", mail, 1},
        {"address", Key(DeletionTarget::Kind::Address, "taro@example.jp"), 1},
        {"name", Key(DeletionTarget::Kind::Name, "太郎"), 1},
        {"date", Key(DeletionTarget::Kind::Date, "2002/03/01"), 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto db = Archive();
        const std::string before = Rows(*db);
        EXPECT_EQ(DeleteTarget(*db, c.target), c.mails);
        EXPECT_EQ(Count(*db, "SELECT count(*) FROM tblKamoMail"), 1);
        EXPECT_EQ(Count(*db, "SELECT count(*) FROM tblAttachment"), 0);
        EXPECT_EQ(Count(*db, "SELECT count(*) FROM tblTrashAttachment"), 1);
        EXPECT_EQ(Count(*db, "SELECT count(*) FROM tblTrashOriginal"), 1);
        EXPECT_EQ(ListTrash(*db).size(), 1u);
        NullWaitReporter quiet;
        UpdateSearchIndex(*db, quiet);
        EXPECT_TRUE(test::FoundRows(*db, "写真").empty());
        EXPECT_EQ(RestoreBatchAlone(*db, 0).size(), 1u);
        EXPECT_EQ(Rows(*db), before);
        UpdateSearchIndex(*db, quiet);
        EXPECT_EQ(test::FoundRows(*db, "写真").size(), 1u);
        EXPECT_EQ(Count(*db, "SELECT count(*) FROM tblTrash"), 0);
    }
}

TEST(Trash, UndoRestoresOnlyTheLastBatchAndAKeyTakenSinceGetsTheNextSubKey) {
    auto db = Archive();
    DeleteTarget(*db, Key(DeletionTarget::Kind::Date, "2002/03/01"));
    DeleteTarget(*db, Key(DeletionTarget::Kind::Date, "2002/03/02"));
    const auto back = RestoreBatchAlone(*db, 0);
    ASSERT_EQ(back.size(), 1u);
    EXPECT_EQ(back[0].ymd, "2002/03/02");
    EXPECT_EQ(Count(*db, "SELECT count(*) FROM tblTrash WHERE tblKamoMail_YMD = '2002/03/01'"), 1);

    // Another mail took the trashed mail's key meanwhile: both are kept.
    test::InsertTestMail(*db, test::Mail("2002/03/01", "09:00:00", false, "太郎", "taro@example.jp", "別", "別"));
    const auto again = RestoreBatchAlone(*db, 0);
    ASSERT_EQ(again.size(), 1u);
    EXPECT_EQ(again[0].subKey, 1);
    EXPECT_EQ(Count(*db, "SELECT count(*) FROM tblAttachment WHERE tblAttachment_SubKey = 1"), 1);
    EXPECT_TRUE(RestoreBatchAlone(*db, 0).empty());
}

TEST(Trash, TheReadDoesNotStoreATrashedMailUntilTheTrashIsEmptied) {
    auto db = test::MemoryArchive();
    MailRecord mail = test::Mail("2002/03/01", "09:00:00", false, "太郎", "taro@example.jp", "写真", "本文");
    const std::vector<Attachment> photo = {{"a.jpg", "image/jpeg", "\xFF\xD8"}};
    auto store = [&](MailRecord m, const std::vector<Attachment>& attachments) {
        SQLite::Transaction tx(*db);
        MailStore s(*db);
        const auto outcome = s.Store(m, attachments);
        tx.commit();
        return outcome;
    };
    ASSERT_EQ(store(mail, photo), MailStore::Outcome::Stored);
    DeleteTarget(*db, Key(DeletionTarget::Kind::Address, "taro@example.jp"));
    EXPECT_EQ(store(mail, photo), MailStore::Outcome::InTrash);
    // Other pictures, or another text: another mail.
    EXPECT_EQ(store(mail, {{"b.jpg", "image/jpeg", "\xFF\xD8"}}), MailStore::Outcome::Stored);
    MailRecord other = mail;
    other.body = "別の本文";
    EXPECT_EQ(store(other, photo), MailStore::Outcome::Stored);
    SQLite::Transaction tx(*db);
    EXPECT_EQ(EmptyTrash(*db), 1);
    tx.commit();
    EXPECT_EQ(store(mail, photo), MailStore::Outcome::Stored);
}

} // namespace
