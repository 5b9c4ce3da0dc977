#include "db/Schema.h"

#include <gtest/gtest.h>

#include <sqlite3.h>

#include <map>

#include <SQLiteCpp/Statement.h>

#include "testsupport/TestSupport.h"

namespace kamo {
namespace {

struct Col {
    std::string name;
    std::string type;
    int pkPosition; // 0: not in the primary key
};

std::vector<Col> ReadColumns(SQLite::Database& db, const std::string& table) {
    std::vector<Col> cols;
    SQLite::Statement q(db, "SELECT name, type, pk FROM pragma_table_info(?) ORDER BY cid");
    q.bind(1, table);
    while (q.executeStep())
        cols.push_back({q.getColumn(0).getString(), q.getColumn(1).getString(), q.getColumn(2).getInt()});
    return cols;
}

std::string Collation(SQLite::Database& db, const std::string& table, const std::string& column) {
    const char* type = nullptr;
    const char* coll = nullptr;
    int notNull = 0, pk = 0, autoinc = 0;
    if (sqlite3_table_column_metadata(db.getHandle(), nullptr, table.c_str(), column.c_str(), &type, &coll, &notNull,
                                      &pk, &autoinc) != SQLITE_OK)
        return "?";
    return coll ? coll : "";
}

void ExpectTable(SQLite::Database& db, const std::string& table, const std::vector<Col>& expected) {
    auto cols = ReadColumns(db, table);
    ASSERT_EQ(cols.size(), expected.size()) << table;
    for (size_t i = 0; i < cols.size(); ++i) {
        EXPECT_EQ(cols[i].name, expected[i].name) << table << " column " << i;
        EXPECT_EQ(cols[i].type, expected[i].type) << expected[i].name;
        EXPECT_EQ(cols[i].pkPosition, expected[i].pkPosition) << expected[i].name;
        if (cols[i].type == "TEXT") {
            EXPECT_EQ(Collation(db, table, cols[i].name), "NOCASE") << expected[i].name;
        }
    }
}

TEST(ArchiveSchema, TablesColumnsTypesAndPrimaryKeysReadBackFromSqlite) {
    auto db = test::MemoryArchive();

    std::vector<std::string> tables;
    SQLite::Statement q(*db, "SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY rowid");
    while (q.executeStep())
        tables.push_back(q.getColumn(0).getString());
    // The six, then the tables this program adds.
    EXPECT_EQ(tables, (std::vector<std::string>{"tblKamoMail", "tblSearch_Addresses", "tblSearch_Name", "tblFriend",
                                                "tblFilter", "tblFilterData", "tblAttachment", "tblOriginalNames",
                                                "tblHeaderFields", "tblOriginal", "tblTrash", "tblTrashAttachment",
                                                "tblTrashOriginalNames", "tblTrashHeaderFields", "tblTrashOriginal",
                                                "tblOriginalDictionary", "tblDerivedOwed", "tblMonthCount"}));

    std::vector<Col> mail = {{"tblKamoMail_YMD", "TEXT", 1},       {"tblKamoMail_HMS", "TEXT", 2},
                             {"tblKamoMail_SubKey", "INTEGER", 3}, {"tblKamoMail_SndRcvFlag", "INTEGER", 4},
                             {"tblKamoMail_SndName", "TEXT", 0},   {"tblKamoMail_SndAdd", "TEXT", 5},
                             {"tblKamoMail_RcvName", "TEXT", 0},   {"tblKamoMail_RcvAdd", "TEXT", 6},
                             {"tblKamoMail_Subject", "TEXT", 0}};
    for (int i = 1; i <= 16; ++i)
        mail.push_back({"tblKamoMail_Mail" + std::to_string(i), "TEXT", 0});
    mail.push_back({"tblKamoMail_Include", "TEXT", 0});
    ExpectTable(*db, "tblKamoMail", mail);
    ExpectTable(*db, "tblSearch_Addresses", {{"tblSearch_Addr_Data", "TEXT", 1}});
    ExpectTable(*db, "tblSearch_Name", {{"tblSearch_Name_Data", "TEXT", 1}});
    ExpectTable(*db, "tblFriend",
                {{"tblFriend_PetKind", "TEXT", 0},
                 {"tblFriend_Pet", "TEXT", 0},
                 {"tblFriend_Name", "TEXT", 0},
                 {"tblFriend_Address", "TEXT", 1},
                 {"tblFriend_RecvMailCnt", "INTEGER", 0}});
    ExpectTable(*db, "tblFilter",
                {{"tblFilter_No", "INTEGER", 0},
                 {"tblFilter_TermsCode", "INTEGER", 0},
                 {"tblFilter_ActionCode", "INTEGER", 0},
                 {"tblFilter_Header", "TEXT", 0},
                 {"tblFilter_Data", "TEXT", 0}});
    ExpectTable(*db, "tblFilterData",
                {{"tblFilterDt_Id", "INTEGER", 1},
                 {"tblFilterDt_No", "INTEGER", 0},
                 {"tblFilterDt_Date", "TEXT", 0},
                 {"tblFilterDt_Time", "TEXT", 0},
                 {"tblFilterDt_SubKey", "INTEGER", 0},
                 {"tblFilterDt_SendName", "TEXT", 0},
                 {"tblFilterDt_SendAddr", "TEXT", 0},
                 {"tblFilterDt_RecvName", "TEXT", 0},
                 {"tblFilterDt_RecvAddr", "TEXT", 0},
                 {"tblFilterDt_SndRcvFlag", "INTEGER", 0},
                 {"tblFilterDt_Subject", "TEXT", 0}});

    // The attachments: the mail's six key columns and their place in it form the primary key.
    ExpectTable(*db, "tblAttachment",
                {{"tblAttachment_YMD", "TEXT", 1},
                 {"tblAttachment_HMS", "TEXT", 2},
                 {"tblAttachment_SubKey", "INTEGER", 3},
                 {"tblAttachment_SndRcvFlag", "INTEGER", 4},
                 {"tblAttachment_SndAdd", "TEXT", 5},
                 {"tblAttachment_RcvAdd", "TEXT", 6},
                 {"tblAttachment_No", "INTEGER", 7},
                 {"tblAttachment_Name", "TEXT", 0},
                 {"tblAttachment_Type", "TEXT", 0},
                 {"tblAttachment_Size", "INTEGER", 0},
                 {"tblAttachment_Data", "BLOB", 0},
                 {"tblAttachment_Picture", "INTEGER", 0}});

    // Named primary indexes.
    for (const char* name : {"tblKamoMail", "tblFriend", "tblAttachment"}) {
        SQLite::Statement sql(*db, "SELECT sql FROM sqlite_master WHERE name = ?");
        sql.bind(1, name);
        ASSERT_TRUE(sql.executeStep());
        EXPECT_NE(sql.getColumn(0).getString().find(std::string("CONSTRAINT ") + name + " PRIMARY KEY"),
                  std::string::npos);
    }
}

TEST(ArchiveSchema, ZeroLengthColumnsDefaultToEmptyText) {
    auto db = test::MemoryArchive();
    SQLite::Statement insert(*db, "INSERT INTO tblKamoMail (tblKamoMail_YMD, tblKamoMail_HMS, tblKamoMail_SubKey, "
                                  "tblKamoMail_SndRcvFlag, tblKamoMail_SndAdd, tblKamoMail_RcvAdd) "
                                  "VALUES (?, ?, 0, 0, ?, ?)");
    insert.bind(1, "2001/01/01");
    insert.bind(2, "00:00:00");
    insert.bind(3, "a");
    insert.bind(4, "b");
    insert.exec();
    SQLite::Statement q(*db, "SELECT tblKamoMail_Subject, tblKamoMail_Mail1, tblKamoMail_Mail16 FROM tblKamoMail");
    ASSERT_TRUE(q.executeStep());
    for (int i = 0; i < 3; ++i) {
        EXPECT_FALSE(q.getColumn(i).isNull());
        EXPECT_EQ(q.getColumn(i).getString(), "");
    }
}

class MailKeyBehaviour : public ::testing::Test {
protected:
    MailRecord mail = [] {
        MailRecord m;
        m.ymd = "2001/05/01";
        m.hms = "10:00:00";
        m.sndAdd = "kamo@example.jp";
        m.rcvAdd = "momo@example.jp";
        m.subject = std::string(300, 's'); // sizes are not enforced
        return m;
    }();
    std::unique_ptr<SQLite::Database> db = test::MemoryArchive();
};

TEST_F(MailKeyBehaviour, SubKeyTellsRowsApartAndAllSixEqualIsRefused) {
    test::InsertTestMail(*db, mail);
    MailRecord other = mail;
    other.subKey = 1;
    EXPECT_NO_THROW(test::InsertTestMail(*db, other));
    other.sndName = "another name"; // not part of the key
    EXPECT_THROW(test::InsertTestMail(*db, other), SQLite::Exception);
    MailRecord sentCopy = mail;
    sentCopy.sent = true;
    EXPECT_NO_THROW(test::InsertTestMail(*db, sentCopy));
    EXPECT_EQ(db->execAndGet("SELECT count(*) FROM tblKamoMail").getInt(), 3);
    EXPECT_EQ(db->execAndGet("SELECT length(tblKamoMail_Subject) FROM tblKamoMail LIMIT 1").getInt(), 300);
}

TEST_F(MailKeyBehaviour, KeyTextIgnoresLetterCase) {
    test::InsertTestMail(*db, mail);
    MailRecord upper = mail;
    upper.sndAdd = "KAMO@Example.JP";
    EXPECT_THROW(test::InsertTestMail(*db, upper), SQLite::Exception);
    SQLite::Statement q(*db, "SELECT count(*) FROM tblKamoMail WHERE tblKamoMail_SndAdd = ?");
    q.bind(1, "Kamo@example.jp");
    ASSERT_TRUE(q.executeStep());
    EXPECT_EQ(q.getColumn(0).getInt(), 1);
}

// The declared indexes (or triggers) as SQLite keeps them, by name.
std::map<std::string, std::string> SchemaOf(SQLite::Database& db, const char* type = "index") {
    std::map<std::string, std::string> sql;
    SQLite::Statement q(db, "SELECT name, sql FROM sqlite_master WHERE type = ?1 AND sql IS NOT NULL");
    q.bind(1, type);
    while (q.executeStep())
        sql[q.getColumn(0).getString()] = q.getColumn(1).getString();
    return sql;
}
std::map<std::string, std::string> IndexSql(SQLite::Database& db) {
    return SchemaOf(db);
}

// What the month counts and the owed rebuilds hold, as text.
std::string Derived(SQLite::Database& db) {
    return db
        .execAndGet("SELECT ifnull((SELECT group_concat(m, ' ') FROM (SELECT tblMonthCount_Month || '=' || "
                    "tblMonthCount_Received || '/' || tblMonthCount_Sent AS m FROM tblMonthCount ORDER BY 1)), '') || "
                    "' | ' || ifnull((SELECT group_concat(tblDerivedOwed_Rebuild) FROM (SELECT * FROM tblDerivedOwed "
                    "ORDER BY 1)), '')")
        .getString();
}

TEST(MadeAfterFill, LeaveOutOnlyWhatEmptyTablesKeepAndMakeItAsTheRowsWouldHave) {
    const std::map<std::string, std::string> declared = IndexSql(*test::MemoryArchive());
    const std::map<std::string, std::string> triggers = SchemaOf(*test::MemoryArchive(), "trigger");
    const std::vector<std::string> mailIndexes = {"idxKamoMail_SndAdd", "idxKamoMail_RcvAdd", "idxKamoMail_SndName",
                                                  "idxKamoMail_RcvName", "idxKamoMail_Subject"};
    const std::vector<MailRecord> filled = {
        test::Mail("2001/05/01", "10:00:00", false, "もも", "momo@example.jp", "s", "b"),
        test::Mail("2001/05/31", "23:59:59", true, "もも", "momo@example.jp", "re", "b"),
        test::Mail("2002/01/02", "00:00:00", false, "かも", "kamo@example.jp", "s", "b")};
    const struct {
        const char* name;
        bool mailStored;
        bool inTransaction;
        size_t left;     // indexes there while the write runs
        size_t triggers; // the mail table's triggers left out
    } cases[] = {
        {"a first read: every table empty", false, false, 0, 2},
        {"mail stored: the mail table keeps its indexes and triggers", true, false, mailIndexes.size(), 0},
        {"inside a caller's transaction: nothing dropped", false, true, declared.size(), 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto db = test::MemoryArchive();
        auto kept = test::MemoryArchive(); // the same mail written with everything in place
        if (c.mailStored)
            for (auto* a : {db.get(), kept.get()})
                test::InsertTestMail(*a,
                                     test::Mail("2000/12/01", "10:00:00", false, "もも", "momo@example.jp", "s", "b"));
        if (c.inTransaction)
            db->exec("BEGIN");
        {
            MadeAfterFill made(*db);
            const auto during = IndexSql(*db);
            EXPECT_EQ(during.size(), c.left);
            EXPECT_EQ(made.DroppedIndexes(), declared.size() - c.left);
            EXPECT_EQ(made.DroppedTriggers(), c.triggers);
            EXPECT_EQ(SchemaOf(*db, "trigger").size(), triggers.size() - c.triggers);
            for (const std::string& name : mailIndexes)
                EXPECT_EQ(during.count(name), c.mailStored || c.inTransaction ? 1U : 0U) << name;
            for (auto* a : {db.get(), kept.get()})
                for (const auto& mail : filled)
                    test::InsertTestMail(*a, mail);
            if (!c.inTransaction)
                made.Make();
        }
        if (c.inTransaction)
            db->exec("COMMIT");
        EXPECT_EQ(IndexSql(*db), declared);
        EXPECT_EQ(SchemaOf(*db, "trigger"), triggers);
        EXPECT_EQ(Derived(*db), Derived(*kept));
    }
}

TEST(MadeAfterFill, AreMadeWithTheWindowPumpedAndThePumpGoesAfter) {
    auto db = test::MemoryArchive();
    const auto declared = IndexSql(*db);
    MadeAfterFill indexes(*db);
    ASSERT_GT(indexes.DroppedIndexes(), 0U);
    db->exec("BEGIN");
    for (int i = 0; i < 3000; ++i)
        test::InsertTestMail(*db, test::Mail("2001/05/01", "10:00:00", i % 2 == 0, "もも",
                                             "m" + std::to_string(i) + "@example.jp", "s", "b"));
    db->exec("COMMIT");
    int pumped = 0;
    indexes.Make([&pumped] { ++pumped; });
    EXPECT_GT(pumped, 0);
    EXPECT_EQ(IndexSql(*db), declared);
    const int made = pumped;
    db->exec("SELECT sum(length(a.tblKamoMail_SndAdd)) FROM tblKamoMail AS a, (SELECT 1 FROM tblKamoMail LIMIT 20)");
    EXPECT_EQ(pumped, made);
}

TEST(MadeAfterFill, AnArchiveLeftWithoutThemGetsThemWhenOpened) {
    // As a read killed before it made them leaves the archive.
    auto db = test::MemoryArchive();
    const auto declared = IndexSql(*db);
    test::InsertTestMail(*db, test::Mail("2001/05/01", "10:00:00", false, "もも", "momo@example.jp", "s", "b"));
    for (const auto& [name, sql] : declared)
        db->exec("DROP INDEX " + name);
    EXPECT_TRUE(AddMissingTables(*db));
    EXPECT_EQ(IndexSql(*db), declared);
    EXPECT_FALSE(AddMissingTables(*db)); // nothing left to write
}

} // namespace
} // namespace kamo
