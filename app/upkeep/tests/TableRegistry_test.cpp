// The registry names every table the program makes, and says of each what it is.
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <set>

#include "common/FilterTable.h"
#include "common/WaitReporter.h"
#include "db/LookupLists.h"
#include "db/Schema.h"
#include "db/Trash.h"
#include "db/tests/ArchiveFiles.h"
#include "filters/FilterRun.h"
#include "search/ConversationIndex.h"
#include "search/SearchIndex.h"
#include "testsupport/TestSupport.h"
#include "upkeep/TableRegistry.h"

namespace kamo {
namespace {

TEST(TableRegistry, EveryTableTheProgramMakesIsDeclaredOnceWithWhatItIs) {
    // An archive as the program makes it, search and conversation indexes included.
    auto db = test::MemoryArchive();
    NullWaitReporter quiet;
    UpdateSearchIndex(*db, quiet);
    UpdateConversationIndex(*db, quiet);

    std::set<std::string> registered;
    for (const auto& t : RegisteredTables()) {
        EXPECT_TRUE(registered.insert(t.name).second) << t.name << " declared twice";
        // Derived data is made again by its rebuild; the owed marks are simply made empty.
        EXPECT_EQ(t.data == TableData::Derived, t.rebuild != Rebuild::None || t.name == kOwedTable) << t.name;
        EXPECT_TRUE(t.data == TableData::Derived || t.exported) << t.name << ": the user's data is exported";
    }
    // The six first, in creation order.
    for (size_t i = 0; i < ArchiveTables().size(); ++i)
        EXPECT_EQ(RegisteredTables()[i].name, ArchiveTables()[i].name);

    std::set<std::string> made;
    for (const auto& t : FindTables(*db)) {
        made.insert(t.name);
        if (!t.entry) {
            EXPECT_TRUE(t.derived) << t.name << " is made by the program but not declared";
            EXPECT_FALSE(t.exported) << t.name;
        } else {
            EXPECT_EQ(t.derived, t.entry->data == TableData::Derived) << t.name;
        }
    }
    for (const auto& name : registered)
        EXPECT_TRUE(made.count(name)) << name << " is declared but not made";
}

// Each table the program makes, with what it is, in the registry's order: the definitions must give
// every one of them once and no other.
TEST(TableRegistry, EachDefinitionGivesItsTableItsKind) {
    const auto user = [](const char* name) { return DeclaredTable{kUserData, name}; };
    const auto kept = [](const char* name) { return DeclaredTable{kKeptBesideMail, name}; };
    const auto derived = [](const char* name, Rebuild rebuild, bool exported) {
        return DeclaredTable{DerivedData(rebuild, exported), name};
    };
    const std::vector<DeclaredTable> expected = {
        user("tblKamoMail"),
        derived("tblSearch_Addresses", Rebuild::AddressList, true),
        derived("tblSearch_Name", Rebuild::NameList, true),
        user("tblFriend"),
        user("tblFilter"),
        derived("tblFilterData", Rebuild::FilterResults, true),
        kept("tblAttachment"),
        kept("tblOriginalNames"),
        kept("tblHeaderFields"),
        kept("tblOriginal"),
        user("tblTrash"),
        user("tblTrashAttachment"),
        user("tblTrashOriginalNames"),
        user("tblTrashHeaderFields"),
        user("tblTrashOriginal"),
        user("tblOriginalDictionary"),
        derived("tblDerivedOwed", Rebuild::None, false),
        derived("tblMonthCount", Rebuild::MonthCounts, false),
        derived("tblSearchFolded", Rebuild::SearchIndex, false),
        derived("tblSearchText", Rebuild::SearchIndex, false),
        derived("tblSearchQueue", Rebuild::SearchIndex, false),
        derived("tblSearchInfo", Rebuild::SearchIndex, false),
        derived("tblConversationMail", Rebuild::ConversationIndex, false),
        derived("tblConversationIds", Rebuild::ConversationIndex, false),
        derived("tblConversationQueue", Rebuild::ConversationIndex, false),
        derived("tblConversationInfo", Rebuild::ConversationIndex, false),
    };
    const auto& registered = RegisteredTables();
    ASSERT_EQ(registered.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        const auto& got = registered[i];
        const auto& want = expected[i];
        EXPECT_EQ(got.name, want.name);
        EXPECT_EQ(got.data, want.data) << want.name;
        EXPECT_EQ(got.rebuild, want.rebuild) << want.name;
        EXPECT_EQ(got.exported, want.exported) << want.name;
        EXPECT_EQ(got.keyedByMail, want.keyedByMail) << want.name;
    }
}

// Each change of the user's data marks, in its own transaction, the rebuilds of the derived data made
// from it (a command stopped before its refresh leaves them to the next start); each rebuild pays
// its own mark, and the refresh of what is owed runs only those.
TEST(TableRegistry, AChangeMarksTheRebuildsOfWhatIsMadeFromItUntilTheyRun) {
    auto db = test::MemoryArchive();
    NullWaitReporter quiet;
    FilterTables filters;
    using R = Rebuild;
    const std::vector<Rebuild> all = {R::FilterResults, R::NameList, R::AddressList};
    const MailRecord mail = test::NumberedMail(1);
    const struct {
        const char* change;
        std::function<void()> run;
        std::vector<Rebuild> owed;
    } cases[] = {
        {"a mail stored", [&] { test::InsertTestMail(*db, mail); }, all},
        {"every rebuild run", [&] { RefreshDerivedData(*db, filters, quiet); }, {}},
        {"a mail renamed", [&] { db->exec("UPDATE tblKamoMail SET tblKamoMail_SndName = 'x'"); }, all},
        {"the name list made", [&] { RebuildNameList(*db); }, {R::FilterResults, R::AddressList}},
        {"what is owed made", [&] { EXPECT_TRUE(RefreshOwedDerivedData(*db, filters, quiet)); }, {}},
        {"a filter saved", [&] { db->exec("INSERT INTO tblFilter (tblFilter_No) VALUES (1)"); }, {R::FilterResults}},
        {"the filters run", [&] { RunFilters(*db, filters, quiet); }, {}},
        {"a mail trashed", [&] { MoveToTrash(*db, "1", [](SQLite::Statement&) {}); }, all},
        {"what is owed made", [&] { RefreshOwedDerivedData(*db, filters, quiet); }, {}},
        {"the trash emptied", [&] { EmptyTrash(*db); }, {}},
        {"a friend added", [&] { db->exec("INSERT INTO tblFriend (tblFriend_Address) VALUES ('a@b')"); }, {}},
    };
    for (const auto& c : cases) {
        c.run();
        EXPECT_EQ(OwedRebuilds(*db), c.owed) << c.change;
    }
    // What is owed is made, not only paid: the renamed mail's name is in the name list.
    test::InsertTestMail(*db, mail);
    db->exec("UPDATE tblKamoMail SET tblKamoMail_SndName = 'x'");
    RefreshOwedDerivedData(*db, filters, quiet);
    EXPECT_EQ(db->execAndGet("SELECT COUNT(*) FROM tblSearch_Name WHERE tblSearch_Name_Data = 'x'").getInt(), 1);
}

// The README's line on app/db/ names each table kept beside a mail, as the schema defines them.
TEST(TableRegistry, TheReadmeNamesEveryTableKeptBesideAMail) {
    std::ifstream in(std::string(KAMOMAIL_SOURCE_DIR) + "/README.md");
    ASSERT_TRUE(in);
    std::string line;
    while (std::getline(in, line) && line.rfind("| `app/db/` |", 0) != 0) {
    }
    ASSERT_FALSE(line.empty()) << "no line on app/db/";
    int kept = 0;
    for (const auto& table : AddedTables())
        if (table.kind.keyedByMail) {
            ++kept;
            EXPECT_NE(line.find("`" + table.name + "`"), std::string::npos) << table.name;
        }
    EXPECT_EQ(kept, 4);
}

TEST(TableRegistry, ATableOfTheUsersOwnIsTheirDataAndCaseDoesNotMatter) {
    auto db = test::MemoryArchive();
    db->exec("CREATE TABLE myNotes (t TEXT)");
    int found = 0;
    for (const auto& t : FindTables(*db))
        if (t.name == "myNotes") {
            ++found;
            EXPECT_FALSE(t.derived);
            EXPECT_TRUE(t.exported);
        }
    EXPECT_EQ(found, 1) << "the user's own table is not found";
    ASSERT_NE(FindRegisteredTable("TBLKAMOMAIL"), nullptr);
    EXPECT_EQ(FindRegisteredTable("TBLKAMOMAIL")->name, "tblKamoMail");
    EXPECT_EQ(FindRegisteredTable("myNotes"), nullptr);
}

} // namespace
} // namespace kamo
