// The conversation index: one mail's conversation found through it equals the whole archive's
// joining, and the index follows the mail and its header fields as they change.
#include <gtest/gtest.h>

#include <map>
#include <random>

#include <SQLiteCpp/Statement.h>
#include <SQLiteCpp/Transaction.h>

#include "db/HeaderFields.h"
#include "db/Schema.h"
#include "search/ConversationIndex.h"
#include "search/Conversations.h"
#include "search/tests/SearchTestMails.h"
#include "testsupport/TestSupport.h"

using namespace kamo;

namespace {

struct CaseMail {
    const char* label; // mails with the same first letter are one conversation; "X" mails get deleted
    const char* ymd;
    const char* friendAddress;
    const char* subject;
    const char* messageId = "";
    const char* inReplyTo = "";
    const char* references = "";
};

struct Case {
    const char* name;
    std::vector<CaseMail> mails;                           // oldest first
    std::map<std::string, std::string> laterSubjects = {}; // label to a subject set after indexing
};

MailRecord RecordOf(const CaseMail& c, int64_t subKey) {
    MailRecord m;
    m.ymd = c.ymd;
    m.hms = "10:00:00";
    m.subKey = subKey;
    m.sndName = "相手";
    m.sndAdd = c.friendAddress;
    m.rcvName = "かも";
    m.rcvAdd = "kamo@example.jp";
    m.subject = c.subject;
    m.body = "本文";
    return m;
}

// Background mail from the generator, some of it answering earlier mail by ID (or mail not there).
void AddGeneratedMail(SQLite::Database& db, size_t n) {
    std::mt19937_64 rng(7);
    int64_t id = 0;
    SQLite::Transaction tx(db);
    for (const MailRecord& m : test::GeneratedMails(n, 11)) {
        test::InsertSpread(db, m, rng);
        if (rng() % 3 != 0)
            continue;
        HeaderFields fields;
        fields.messageId = "<g" + std::to_string(++id) + "@x>";
        if (id > 1 && rng() % 2 == 0)
            fields.inReplyTo = "<g" + std::to_string(1 + rng() % (id - 1)) + "@x>";
        if (rng() % 5 == 0)
            fields.references = "<gone" + std::to_string(rng() % 4) + "@x> " + fields.inReplyTo;
        HeaderFieldWriter(db).Put(KeyOf(m), fields);
    }
    tx.commit();
}

} // namespace

TEST(ConversationOf, EqualsTheWholeArchiveJoining) {
    const Case cases[] = {
        {"a chain by ids",
         {{"A1", "2002/04/01", "hana@example.jp", "旅行", "<a@x>"},
          {"A2", "2002/04/02", "hana@example.jp", "Re: 旅行", "<b@x>", "<a@x>", "<a@x>"},
          {"A3", "2002/09/02", "hana@example.jp", "Re: 旅行", "<c@x>", "<b@x>", "<a@x> <b@x>"},
          {"B1", "2002/04/03", "hana@example.jp", "料理", "<d@x>"}}},
        {"the first mail missing: two replies to it join",
         {{"A1", "2002/04/02", "hana@example.jp", "Re: 会議", "<b@x>", "<gone@x>"},
          {"A2", "2002/04/03", "taro@example.jp", "Re: 会議", "<c@x>", "", "<gone@x>"},
          {"B1", "2002/04/03", "hana@example.jp", "Re: 会議", "<d@x>", "<other@x>"}}},
        {"a mailer that writes only In-Reply-To",
         {{"A1", "2002/04/01", "hana@example.jp", "質問", "<a@x>"},
          {"A2", "2002/04/05", "hana@example.jp", "答え", "<b@x>", "<a@x>"},
          {"A3", "2002/04/06", "hana@example.jp", "別の件名", "<c@x>", "<b@x>"}}},
        {"subject only, each within 60 days of the previous",
         {{"A1", "2002/01/01", "hana@example.jp", "旅行"},
          {"A2", "2002/02/10", "HANA@example.jp", "Re: 旅行"},
          {"A3", "2002/03/30", "hana@example.jp", "Re[2]: 旅行"},
          {"B1", "2002/02/01", "taro@example.jp", "旅行"}}},
        {"the same subject months apart stays apart",
         {{"A1", "2002/01/01", "hana@example.jp", "旅行"},
          {"B1", "2002/06/01", "hana@example.jp", "旅行"},
          {"B2", "2002/06/20", "hana@example.jp", "Fwd: 旅行"},
          {"C1", "2003/06/20", "hana@example.jp", "返信: 旅行"}}},
        {"a reply by id keeps the conversation recent for a later subject-only mail",
         {{"A1", "2002/01/01", "hana@example.jp", "旅行", "<a@x>"},
          {"A2", "2002/03/20", "hana@example.jp", "別件", "<b@x>", "<a@x>"},
          {"A3", "2002/04/10", "hana@example.jp", "Re: 旅行"},
          {"B1", "2002/09/01", "hana@example.jp", "Re: 旅行"}}},
        {"a mail deleted from the middle parts what it joined",
         {{"A1", "2002/01/01", "hana@example.jp", "写真", "<a@x>"},
          {"X2", "2002/01/05", "hana@example.jp", "Re: 写真", "<b@x>", "<a@x>"},
          {"B3", "2002/01/06", "hana@example.jp", "写真について", "<c@x>", "<b@x>", "<b@x>"},
          {"C1", "2002/01/01", "taro@example.jp", "旅行"},
          {"X4", "2002/02/15", "taro@example.jp", "Re: 旅行"},
          {"D5", "2002/04/01", "taro@example.jp", "Re: 旅行"}}},
        {"a subject changed after indexing",
         {{"A1", "2002/05/01", "hana@example.jp", "旅行"}, {"A2", "2002/05/03", "hana@example.jp", "料理"}},
         {{"A2", "Re: 旅行"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto db = test::MemoryArchive();
        AddGeneratedMail(*db, 300);
        NullWaitReporter quiet;
        UpdateConversationIndex(*db, quiet); // made from the mail there; the rest comes by its triggers
        std::map<std::string, int64_t> rowOf;
        std::map<std::string, MailRecord> recordOf;
        // Newest first, so that rowids do not follow the dates.
        for (size_t i = c.mails.size(); i-- > 0;) {
            const MailRecord m = RecordOf(c.mails[i], static_cast<int64_t>(i));
            test::InsertTestMail(*db, m);
            rowOf[c.mails[i].label] = db->getLastInsertRowid();
            recordOf[c.mails[i].label] = m;
        }
        UpdateConversationIndex(*db, quiet);
        // The header fields come after the mail was indexed, as a later import would add them.
        for (const CaseMail& m : c.mails) {
            HeaderFields fields;
            fields.messageId = m.messageId;
            fields.inReplyTo = m.inReplyTo;
            fields.references = m.references;
            if (!fields.Empty())
                HeaderFieldWriter(*db).Put(KeyOf(recordOf[m.label]), fields);
        }
        for (const auto& [label, subject] : c.laterSubjects) {
            SQLite::Statement update(*db, "UPDATE tblKamoMail SET tblKamoMail_Subject = ?1 WHERE rowid = ?2");
            update.bind(1, subject);
            update.bind(2, rowOf[label]);
            update.exec();
        }
        for (const CaseMail& m : c.mails)
            if (m.label[0] == 'X')
                db->exec("DELETE FROM tblKamoMail WHERE rowid = " + std::to_string(rowOf[m.label]));

        const Conversations all(*db);
        for (const CaseMail& m : c.mails) {
            if (m.label[0] == 'X')
                continue;
            std::vector<int64_t> expected; // the mails of its letter, oldest first
            for (const CaseMail& other : c.mails)
                if (other.label[0] == m.label[0])
                    expected.push_back(rowOf[other.label]);
            const Conversation found = ConversationOf(*db, rowOf[m.label], quiet);
            EXPECT_EQ(found.rows, expected) << m.label;
            EXPECT_EQ(found.rows, all.MailsWith(rowOf[m.label])) << m.label;
            EXPECT_EQ(found.threadId, all.ThreadOf(rowOf[m.label])) << m.label;
        }
        // And every background mail, joined by subject and by ID among themselves.
        SQLite::Statement rows(*db, "SELECT rowid FROM tblKamoMail");
        size_t joined = 0;
        while (rows.executeStep()) {
            const int64_t row = rows.getColumn(0).getInt64();
            const Conversation found = ConversationOf(*db, row, quiet);
            ASSERT_EQ(found.rows, all.MailsWith(row)) << row;
            ASSERT_EQ(found.threadId, all.ThreadOf(row)) << row;
            joined += found.rows.size() > 1 ? 1 : 0;
        }
        EXPECT_GT(joined, 50u); // the background is no set of lone mails
    }
}

TEST(ConversationOf, MissingOrStaleIndexIsMadeAgainAndGoneMailHasNone) {
    auto db = test::MemoryArchive();
    AddGeneratedMail(*db, 100);
    NullWaitReporter quiet;
    const int64_t row = db->execAndGet("SELECT MAX(rowid) FROM tblKamoMail").getInt64();
    const Conversations all(*db);
    EXPECT_FALSE(ConversationIndexComplete(*db));
    EXPECT_EQ(ConversationOf(*db, row, quiet).rows, all.MailsWith(row)); // made on first use
    EXPECT_TRUE(ConversationIndexComplete(*db));
    // Rows the program did not make (another version's, or damage) mean a rebuild, not wrong answers.
    db->exec("UPDATE tblConversationInfo SET Value = 'old'");
    db->exec("DELETE FROM tblConversationIds");
    EXPECT_FALSE(ConversationIndexComplete(*db));
    for (int64_t r = 1; r <= row; ++r)
        ASSERT_EQ(ConversationOf(*db, r, quiet).rows, all.MailsWith(r)) << r;
    // A trigger gone: the index is stale.
    db->exec("DROP TRIGGER trgConversation_FieldsInsert");
    EXPECT_FALSE(ConversationIndexComplete(*db));
    UpdateConversationIndex(*db, quiet);
    EXPECT_TRUE(ConversationIndexComplete(*db));
    db->exec("DELETE FROM tblKamoMail WHERE rowid = " + std::to_string(row));
    EXPECT_TRUE(ConversationOf(*db, row, quiet).rows.empty());
    EXPECT_EQ(
        db->execAndGet("SELECT COUNT(*) FROM tblConversationMail WHERE MailRow = " + std::to_string(row)).getInt(), 0);
    DropConversationIndex(*db);
    EXPECT_EQ(db->execAndGet("SELECT COUNT(*) FROM sqlite_master WHERE name LIKE '%Conversation%'").getInt(), 0);
}

TEST(ConversationOf, ListedMailsJoinAsTheWholeArchiveAndOnlyWhatIsLinkedIsRead) {
    auto db = test::MemoryArchive();
    AddGeneratedMail(*db, 400);
    // A subject run joined only through its middle mail, which the first list leaves out, and a
    // mail linked to nothing listed.
    const CaseMail run[] = {{"A1", "2002/01/01", "hana@example.jp", "旅行"},
                            {"A2", "2002/02/20", "hana@example.jp", "Re: 旅行"},
                            {"A3", "2002/04/10", "hana@example.jp", "Re: 旅行"},
                            {"Z1", "2002/04/11", "zz@example.jp", "ひとり"}};
    std::map<std::string, int64_t> rowOf;
    for (const CaseMail& m : run) {
        test::InsertTestMail(*db, RecordOf(m, 0));
        rowOf[m.label] = db->getLastInsertRowid();
    }
    NullWaitReporter quiet;
    const Conversations all(*db);
    ASSERT_EQ(all.SizeOf(rowOf["A1"]), 3u);

    std::vector<std::vector<int64_t>> lists = {{rowOf["A1"], rowOf["A3"]}, {rowOf["A3"], 999999}};
    std::map<std::string, std::vector<int64_t>> bySender; // each friend's list, as the window's lists go
    for (SQLite::Statement st(*db, "SELECT rowid, tblKamoMail_SndAdd FROM tblKamoMail"); st.executeStep();)
        bySender[st.getColumn(1).getString()].push_back(st.getColumn(0).getInt64());
    for (const auto& [sender, rows] : bySender)
        lists.push_back(rows);
    // A list of most of the archive is joined from one pass over it: the same conversations.
    std::vector<int64_t> most;
    for (const auto& [sender, rows] : bySender)
        most.insert(most.end(), rows.begin(), rows.end());
    most.resize(most.size() * 3 / 4);
    lists.push_back(most);
    for (const auto& list : lists) {
        const Conversations listed(*db, list, quiet);
        for (int64_t row : list) {
            ASSERT_EQ(listed.ThreadOf(row), all.ThreadOf(row)) << row;
            ASSERT_EQ(listed.MailsWith(row), all.MailsWith(row)) << row;
            ASSERT_EQ(listed.MessageIdOf(row), all.MessageIdOf(row)) << row;
        }
    }
    const Conversations ends(*db, lists[0], quiet);
    EXPECT_EQ(ends.ThreadOf(rowOf["A1"]), ends.ThreadOf(rowOf["A3"]));
    EXPECT_EQ(all.MailsWith(rowOf["Z1"]), std::vector<int64_t>{rowOf["Z1"]});
    EXPECT_TRUE(ends.MailsWith(rowOf["Z1"]).empty()); // not read
    EXPECT_TRUE(ends.ThreadOf(999999).empty());
}

TEST(MakeConversationIndexPiece, MakesTheWholeIndexInPiecesAndABrokenPieceLeavesItSound) {
    struct Case {
        const char* name;
        int64_t rows;  // a piece's mails
        bool breakOne; // one piece fails half-way (a lock, a full disk)
        bool readOnly; // a backup on display
    };
    const Case cases[] = {
        {"one mail a piece", 1, false, false},
        {"a few mails a piece", 37, true, false},
        {"more than a batch a piece", 20000, false, false},
        {"a read-only archive is left alone", 50, false, true},
    };
    constexpr int64_t kMails = 240;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempDir dir;
        const auto file = dir / "KamoMail.Mdb";
        {
            auto db = OpenArchive(file, true);
            CreateTables(*db);
            AddGeneratedMail(*db, kMails);
        }
        auto db = c.readOnly ? std::make_unique<SQLite::Database>(file.string(), SQLite::OPEN_READONLY)
                             : OpenArchive(file, false);
        const Conversations all(*db);
        EXPECT_EQ(ConversationIndexOwed(*db), kMails); // none yet: every mail owed
        if (c.readOnly) {
            EXPECT_FALSE(MakeConversationIndexPiece(*db, c.rows));
            EXPECT_EQ(db->execAndGet("SELECT COUNT(*) FROM sqlite_master WHERE name LIKE '%Conversation%'").getInt(),
                      0);
            continue;
        }
        EXPECT_FALSE(MakeConversationIndexPiece(*db, c.rows)); // the first piece lays it down
        EXPECT_EQ(ConversationIndexOwed(*db), kMails);
        int pieces = 0;
        bool broken = false;
        for (bool complete = false; !complete; ++pieces) {
            ASSERT_LT(pieces, kMails + 5);
            const int64_t owedBefore = ConversationIndexOwed(*db);
            if (c.breakOne && !broken && owedBefore < kMails / 2) {
                // The next mail cannot be indexed: the piece throws, and nothing of it stays.
                db->exec("CREATE TEMP TRIGGER trgBreak BEFORE INSERT ON tblConversationMail"
                         " BEGIN SELECT RAISE(ABORT, 'broken'); END");
                EXPECT_THROW(MakeConversationIndexPiece(*db, c.rows), SQLite::Exception);
                db->exec("DROP TRIGGER trgBreak");
                broken = true;
                EXPECT_EQ(ConversationIndexOwed(*db), owedBefore);
                EXPECT_FALSE(ConversationIndexComplete(*db));
                EXPECT_EQ(db->execAndGet("PRAGMA integrity_check").getString(), "ok");
            }
            complete = MakeConversationIndexPiece(*db, c.rows);
            EXPECT_EQ(ConversationIndexOwed(*db), std::max<int64_t>(owedBefore - c.rows, 0));
        }
        EXPECT_EQ(pieces, (kMails + c.rows - 1) / c.rows);
        EXPECT_EQ(broken, c.breakOne);
        EXPECT_TRUE(ConversationIndexComplete(*db));
        EXPECT_EQ(ConversationIndexOwed(*db), 0);
        EXPECT_TRUE(MakeConversationIndexPiece(*db, c.rows)); // nothing more to do
        // The index made in pieces finds every mail's conversation as the whole reading does.
        NullWaitReporter quiet;
        for (SQLite::Statement rows(*db, "SELECT rowid FROM tblKamoMail"); rows.executeStep();) {
            const int64_t row = rows.getColumn(0).getInt64();
            ASSERT_EQ(ConversationOf(*db, row, quiet, OwedIndex::MakeWhenFew).rows, all.MailsWith(row)) << row;
        }
    }
}

TEST(ConversationOf, AnIndexThatOwesManyIsReadAroundWhenAskedAndAStopIsHeard) {
    auto db = test::MemoryArchive();
    AddGeneratedMail(*db, kQuietConversationRows / 10);
    NullWaitReporter quiet;
    const Conversations all(*db);
    const int64_t row = db->execAndGet("SELECT MAX(rowid) FROM tblKamoMail").getInt64();
    // Few owed: made on the way, as before.
    EXPECT_EQ(ConversationOf(*db, row, quiet, OwedIndex::MakeWhenFew).rows, all.MailsWith(row));
    EXPECT_TRUE(ConversationIndexComplete(*db));
    // Many owed (the queue stands for an archive from before the index): read around, not made.
    db->exec("WITH RECURSIVE n(v) AS (SELECT 1000000 UNION ALL SELECT v + 1 FROM n WHERE v < 1003000)"
             " INSERT INTO tblConversationQueue (MailRow) SELECT v FROM n");
    EXPECT_GT(ConversationIndexOwed(*db), kQuietConversationRows);
    EXPECT_EQ(ConversationOf(*db, row, quiet, OwedIndex::MakeWhenFew).rows, all.MailsWith(row));
    EXPECT_GT(ConversationIndexOwed(*db), kQuietConversationRows);
    // A reading asked to stop throws between its steps.
    class Stopping : public NullWaitReporter {
    public:
        bool CancelRequested() const override { return true; }
    } stopping;
    EXPECT_THROW(Conversations(*db, {row}, stopping, OwedIndex::MakeWhenFew), ConversationsStopped);
}
