// Every command that changes mail leaves an archive with a search index sound: the search gives what
// a plain scan of the mail gives, SQLite and FTS5 find nothing wrong, and the index has no mail
// waiting. Recreation, the CSV import, every kind of deletion and the renaming by the friend book.
#include <gtest/gtest.h>

#include <SQLiteCpp/Statement.h>

#include "browse/MailDeletion.h"
#include "common/ArchiveView.h"
#include "common/Prompter.h"
#include "common/WaitReporter.h"
#include "db/ArchiveSession.h"
#include "db/Schema.h"
#include "filters/FilterCommands.h"
#include "friends/FriendBook.h"
#include "friends/FriendCommands.h"
#include "search/Conversations.h"
#include "search/SearchIndex.h"
#include "search/tests/FoundRows.h"
#include "search/tests/SearchReference.h"
#include "testsupport/ScriptedPrompter.h"
#include "testsupport/TestSupport.h"
#include "upkeep/ArchiveCommands.h"
#include "upkeep/TableExchange.h"
#include "upkeep/TableRegistry.h"

namespace kamo {
namespace {

namespace fs = std::filesystem;

MailRecord Mail(int i, const std::string& name, const std::string& address, const std::string& subject) {
    return test::MailBuilder()
        .Date("2002/03/0" + std::to_string(1 + i % 3), "09:00:0" + std::to_string(i % 10))
        .SubKey(i)
        .Sent(i % 2 == 1)
        .With(name, address)
        .Subject(subject)
        .Body(subject + " の本文です。ポストペットより")
        .Build();
}

const char* const kQueries[] = {"太郎", "山田",  "ポチ", "花子",          "はな",
                                "ポ",   "taro@", "本文", "おはよう 太郎", "存在しない"};

class Invariants : public ::testing::Test {
protected:
    Invariants() {
        folders.dataDir = dir / "data";
        fs::create_directories(folders.dataDir);
        auto db = OpenArchive(folders.DatabaseFile(), true);
        CreateTables(*db);
        const MailRecord mails[] = {
            Mail(0, "太郎", "taro@example.jp", "おはよう"),   Mail(1, "太郎", "taro@example.jp", "返事"),
            Mail(2, "花子", "hana@example.jp", "こんにちは"), Mail(3, "花子", "hana@example.jp", "はなのたより"),
            Mail(4, "たろう", "Taro@Example.JP", "大文字"),   Mail(5, "知らない人", "x@example.jp", "宣伝"),
        };
        for (const auto& m : mails)
            test::InsertTestMail(*db, m);
        db->exec("INSERT INTO tblFilter VALUES (10, 2, 0, 'はなこ', 'hana@example.jp')");
        db->exec("INSERT INTO tblFriend VALUES ('10', 'ポチ', '山田 太郎', 'taro@example.jp', 2)");
        db->exec("INSERT INTO tblFriend VALUES ('3', 'ミミ', '', 'hana@example.jp', 2)");
        session = std::make_unique<ArchiveSession>(folders, nullptr, std::move(db));
        FilterStartUp(*session);
        EXPECT_TRUE(RefreshDerivedData(session->Database(), session->Filters(), wait));
        ExpectSound("at the start");
    }

    SQLite::Database& Db() { return session->Database(); }

    void ExpectSound(const std::string& when) {
        SQLite::Database& db = Db();
        EXPECT_EQ(db.execAndGet("PRAGMA integrity_check").getString(), "ok") << when;
        ASSERT_EQ(InspectSearchIndex(db), SearchIndexState::Ready) << when;
        EXPECT_EQ(PendingSearchRows(db), 0) << when;
        // FTS5 compares its index with the folded text it was made from.
        const std::string table = kSearchTextTable;
        EXPECT_NO_THROW(db.exec("INSERT INTO " + table + " (" + table + ") VALUES ('integrity-check')")) << when;
        const auto folded = test::FoldArchive(db);
        for (const char* q : kQueries)
            EXPECT_EQ(test::FoundRows(db, q), test::ReferenceSearch(folded, q)) << when << ": " << q;
        // The look-ups list exactly the names and addresses of the mail.
        EXPECT_EQ(db.execAndGet("SELECT COUNT(*) FROM tblSearch_Name").getInt64(),
                  db.execAndGet("SELECT COUNT(*) FROM (SELECT tblKamoMail_SndName FROM tblKamoMail UNION SELECT "
                                "tblKamoMail_RcvName FROM tblKamoMail)")
                      .getInt64())
            << when;
        // Each mail's conversation from the index equals the whole archive's reading.
        const Conversations all(db);
        SQLite::Statement rows(db, "SELECT rowid FROM tblKamoMail");
        while (rows.executeStep()) {
            const int64_t row = rows.getColumn(0).getInt64();
            EXPECT_EQ(ConversationOf(db, row, wait).rows, all.MailsWith(row)) << when << ": mail " << row;
        }
    }
    int64_t Count(const std::string& sql) { return Db().execAndGet(sql).getInt64(); }

    test::TempDir dir;
    AppFolders folders;
    std::unique_ptr<ArchiveSession> session;
    ScriptedPrompter prompter;
    NullWaitReporter wait;
    NoArchiveView view;
};

TEST_F(Invariants, RecreationCopiesTheUserDataAndMakesTheIndexAgain) {
    ApplyFriendNames(Db(), FriendName::Owner); // kept names are the user's data too
    const int64_t kept = Count("SELECT COUNT(*) FROM tblOriginalNames");
    ASSERT_GT(kept, 0);
    prompter.QueueAnswer(true);
    ASSERT_TRUE(RecreateCommand(*session, prompter, wait, view));
    ExpectSound("after recreation");
    EXPECT_EQ(Count("SELECT COUNT(*) FROM tblKamoMail"), 6);
    EXPECT_EQ(Count("SELECT COUNT(*) FROM tblOriginalNames"), kept);
    EXPECT_EQ(Count("SELECT COUNT(*) FROM tblFilterData"), 2);
    // The index works on: a deletion afterwards (it failed with "malformed" when the index was copied).
    prompter.QueueAnswer(true);
    EXPECT_EQ(RunDeletion(*session, prompter, wait, view, KeyTarget(ViewMode::Date, "2002/03/01", 0)), 2);
    ExpectSound("after a deletion in the recreated archive");
}

TEST_F(Invariants, CsvImportWritesOnlyTheUserDataWithOrWithoutAnIndexAndTwice) {
    const fs::path folder = dir / "export";
    ASSERT_TRUE(ExportCsvCommand(*session, prompter, wait, folder));
    for (const auto& t : RegisteredTables())
        EXPECT_EQ(fs::exists(folder / (t.name + ".csv")), t.exported) << t.name;
    // An export of an older version also held the index's tables.
    for (const auto& table : SearchIndexTables())
        test::WriteFile(folder / (table.name + ".csv"), "\"MailRow\",\"Value\"\r\n1,\"x\"\r\n");

    for (bool indexed : {true, false}) {
        const std::string when = indexed ? "into an archive with an index" : "into one without";
        // A second archive with one mail of its own.
        session.reset();
        fs::remove(folders.DatabaseFile());
        auto db = OpenArchive(folders.DatabaseFile(), true);
        CreateTables(*db);
        test::InsertTestMail(*db, Mail(9, "次郎", "jiro@example.jp", "べつの話"));
        session = std::make_unique<ArchiveSession>(folders, nullptr, std::move(db));
        FilterStartUp(*session);
        if (indexed)
            UpdateSearchIndex(Db(), wait);
        for (int round = 1; round <= 2; ++round) {
            ASSERT_TRUE(ImportCsvCommand(*session, prompter, wait, view, folder)) << when;
            ExpectSound(when + ", import " + std::to_string(round));
            EXPECT_EQ(Count("SELECT COUNT(*) FROM tblKamoMail"), 7) << when;
            const std::string said = prompter.shown.back().text;
            for (const auto& table : SearchIndexTables())
                EXPECT_NE(said.find(table.name + ": 取り込まず作り直しました"), std::string::npos) << when << said;
            EXPECT_NE(said.find("tblKamoMail: 追加 " + std::string(round == 1 ? "6" : "0") + " 行"), std::string::npos)
                << said;
        }
    }
}

TEST_F(Invariants, EveryKindOfDeletionKeepsTheIndexRight) {
    DeletionTarget mail;
    mail.kind = DeletionTarget::Kind::Mail;
    mail.mail = KeyOf(Mail(5, "知らない人", "x@example.jp", "宣伝"));
    const struct {
        const char* what;
        DeletionTarget target;
    } cases[] = {
        {"one mail", mail},
        {"a date", KeyTarget(ViewMode::Date, "2002/03/01", 0)},
        {"a filter", KeyTarget(ViewMode::Filter, "はなこ", 10)},
        {"a name", KeyTarget(ViewMode::Name, "たろう", 0)},
        {"an address", KeyTarget(ViewMode::Address, "taro@example.jp", 0)},
    };
    int64_t left = 6;
    for (const auto& c : cases) {
        prompter.QueueAnswer(true);
        const int64_t deleted = RunDeletion(*session, prompter, wait, view, c.target);
        EXPECT_GT(deleted, 0) << c.what;
        left -= deleted;
        EXPECT_EQ(Count("SELECT COUNT(*) FROM tblKamoMail"), left) << c.what;
        ExpectSound(std::string("after deleting ") + c.what);
    }
}

TEST_F(Invariants, RenamingByTheFriendBookAndBackKeepsTheIndexRight) {
    ASSERT_TRUE(RenameCommand(*session, prompter, wait, view, FriendName::Owner));
    ExpectSound("renamed to the owners' names");
    EXPECT_EQ(test::FoundRows(Db(), "山田").size(), 3u); // addresses compare without letter case
    ASSERT_TRUE(RenameCommand(*session, prompter, wait, view, FriendName::Pet));
    ExpectSound("renamed to the pets' names");
    EXPECT_EQ(test::FoundRows(Db(), "ミミ").size(), 2u);
    EXPECT_TRUE(test::FoundRows(Db(), "山田").empty());
    ASSERT_TRUE(RestoreNamesCommand(*session, prompter, wait, view));
    ExpectSound("names restored");
    EXPECT_TRUE(test::FoundRows(Db(), "ミミ").empty());
}

} // namespace
} // namespace kamo
