#include "db/Archive.h"

#include <gtest/gtest.h>

#include <SQLiteCpp/Statement.h>

#include "ArchiveFiles.h"
#include "common/Prompter.h"
#include "db/Schema.h"
#include "testsupport/ScriptedPrompter.h"

namespace kamo {
namespace {

using test::ReadFile;
using test::TempDir;

std::vector<std::string> ColumnNames(SQLite::Database& db, const std::string& table) {
    std::vector<std::string> names;
    SQLite::Statement q(db, "SELECT name FROM pragma_table_info(?) ORDER BY cid");
    q.bind(1, table);
    while (q.executeStep())
        names.push_back(q.getColumn(0).getString());
    return names;
}

std::vector<std::string> CurrentColumns(const std::string& table) {
    for (const auto& t : ArchiveTables()) {
        if (t.name == table) {
            std::vector<std::string> names;
            for (const auto& c : t.columns)
                names.push_back(c.name);
            return names;
        }
    }
    return {};
}

TEST(CreateArchive, NewFileGetsTheSixTablesWithoutAQuestion) {
    TempDir dir;
    ScriptedPrompter prompter;
    ASSERT_TRUE(CreateDatabase(dir / "KamoMail.Mdb", prompter));
    EXPECT_TRUE(prompter.shown.empty());
    SQLite::Database db((dir / "KamoMail.Mdb").string(), SQLite::OPEN_READONLY);
    // The six, the four added tables, the five of the trash, the originals' dictionaries, the owed
    // rebuilds and the month counts, nothing else.
    EXPECT_EQ(db.execAndGet("SELECT count(*) FROM sqlite_master WHERE type = 'table'").getInt(), 18);
    for (const auto& t : AddedTables())
        EXPECT_FALSE(ColumnNames(db, t.name).empty()) << t.name;
    EXPECT_FALSE(std::filesystem::exists(dir / "KamoMail.Mdb.Create"));
}

TEST(CreateArchive, ExistingFileAnsweredNoIsLeftAndYesIsReplaced) {
    TempDir dir;
    const auto path = dir / "KamoMail.Mdb";
    test::AddMails(path, 0, 5);
    const std::string before = ReadFile(path);

    ScriptedPrompter no;
    no.QueueAnswer(false);
    EXPECT_FALSE(CreateDatabase(path, no));
    ASSERT_EQ(no.shown.size(), 1u);
    EXPECT_TRUE(no.shown[0].question);
    EXPECT_EQ(no.shown[0].text, "Fileは既に存在します。削除しますか？");
    EXPECT_EQ(no.shown[0].title, "Table Create");
    EXPECT_EQ(ReadFile(path), before);

    ScriptedPrompter yes;
    yes.QueueAnswer(true);
    EXPECT_TRUE(CreateDatabase(path, yes));
    EXPECT_TRUE(test::SubKeysIn(path).empty());
}

// An archive as an older version left it: no tblFilterData, tblKamoMail without the last body
// pieces and the include column, and NULL subjects.
void WriteOldArchive(const std::filesystem::path& path) {
    SQLite::Database db(path.string(), SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE);
    std::string cols = "tblKamoMail_YMD TEXT, tblKamoMail_HMS TEXT, tblKamoMail_SubKey INTEGER, "
                       "tblKamoMail_SndRcvFlag INTEGER, tblKamoMail_SndName TEXT, tblKamoMail_SndAdd TEXT, "
                       "tblKamoMail_RcvName TEXT, tblKamoMail_RcvAdd TEXT, tblKamoMail_Subject TEXT";
    for (int i = 1; i <= 14; ++i)
        cols += ", tblKamoMail_Mail" + std::to_string(i) + " TEXT";
    db.exec("CREATE TABLE tblKamoMail (" + cols + ", tblKamoMail_OldNote TEXT)");
    db.exec("CREATE TABLE tblSearch_Addresses (tblSearch_Addr_Data TEXT)");
    db.exec("CREATE TABLE tblSearch_Name (tblSearch_Name_Data TEXT)");
    db.exec("CREATE TABLE tblFriend (tblFriend_PetKind TEXT, tblFriend_Pet TEXT, tblFriend_Name TEXT, "
            "tblFriend_Address TEXT, tblFriend_RecvMailCnt INTEGER)");
    db.exec("CREATE TABLE tblFilter (tblFilter_No INTEGER, tblFilter_TermsCode INTEGER, tblFilter_ActionCode "
            "INTEGER, tblFilter_Header TEXT, tblFilter_Data TEXT)");
    SQLite::Statement insert(db, "INSERT INTO tblKamoMail (tblKamoMail_YMD, tblKamoMail_HMS, tblKamoMail_SubKey, "
                                 "tblKamoMail_SndRcvFlag, tblKamoMail_SndAdd, tblKamoMail_RcvAdd, "
                                 "tblKamoMail_Subject, tblKamoMail_Mail1, tblKamoMail_OldNote) "
                                 "VALUES (?, ?, ?, 0, ?, ?, ?, ?, ?)");
    for (int i = 0; i < 3; ++i) {
        insert.bind(1, "2000/12/31");
        insert.bind(2, "23:59:59");
        insert.bind(3, i);
        insert.bind(4, "old@example.jp");
        insert.bind(5, "kamo@example.jp");
        if (i == 0)
            insert.bind(6); // NULL
        else
            insert.bind(6, "subject " + std::to_string(i));
        insert.bind(7, "body " + std::to_string(i));
        insert.bind(8, "note " + std::to_string(i));
        insert.exec();
        insert.reset();
    }
}

TEST(VersionUpgrade, RecreatesMissingTablesAndColumnsKeepingEveryRow) {
    TempDir dir;
    const auto path = dir / "KamoMail.Mdb";
    WriteOldArchive(path);
    {
        auto db = OpenArchive(path);
        EXPECT_TRUE(UpgradeArchive(*db));
        for (const auto& t : ArchiveTables()) {
            auto names = ColumnNames(*db, t.name);
            if (t.name == "tblKamoMail") {
                ASSERT_FALSE(names.empty());
                EXPECT_EQ(names.back(), "tblKamoMail_OldNote"); // unknown column kept, at the end
                names.pop_back();
            }
            EXPECT_EQ(names, CurrentColumns(t.name)) << t.name;
            for (const auto& index : t.indexes) {
                SQLite::Statement q(*db, "SELECT count(*) FROM sqlite_master WHERE type = 'index' AND name = ?");
                q.bind(1, index.name);
                ASSERT_TRUE(q.executeStep());
                EXPECT_EQ(q.getColumn(0).getInt(), 1) << index.name;
            }
        }
        SQLite::Statement rows(*db, "SELECT tblKamoMail_SubKey, tblKamoMail_Subject, tblKamoMail_Mail1, "
                                    "tblKamoMail_Mail16, tblKamoMail_OldNote FROM tblKamoMail ORDER BY 1");
        int n = 0;
        while (rows.executeStep()) {
            EXPECT_EQ(rows.getColumn(0).getInt(), n);
            EXPECT_EQ(rows.getColumn(1).getString(), n == 0 ? "" : "subject " + std::to_string(n));
            EXPECT_EQ(rows.getColumn(2).getString(), "body " + std::to_string(n));
            EXPECT_EQ(rows.getColumn(3).getString(), "");
            EXPECT_EQ(rows.getColumn(4).getString(), "note " + std::to_string(n));
            ++n;
        }
        EXPECT_EQ(n, 3);
        // The rebuilt table has its primary key again.
        EXPECT_THROW(db->exec("INSERT INTO tblKamoMail SELECT * FROM tblKamoMail"), SQLite::Exception);
    }
    // A second run finds nothing to do and writes nothing.
    const std::string upgraded = ReadFile(path);
    {
        auto db = OpenArchive(path);
        EXPECT_FALSE(UpgradeArchive(*db));
    }
    EXPECT_EQ(ReadFile(path), upgraded);
}

TEST(VersionUpgrade, CurrentArchiveIsNotChanged) {
    TempDir dir;
    const auto path = dir / "KamoMail.Mdb";
    test::AddMails(path, 0, 20);
    const std::string before = ReadFile(path);
    {
        auto db = OpenArchive(path);
        EXPECT_FALSE(UpgradeArchive(*db));
    }
    EXPECT_EQ(ReadFile(path), before);
}

} // namespace
} // namespace kamo
