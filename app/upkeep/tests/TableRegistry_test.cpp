// The registry names every table the program makes, and says of each what it is.
#include <gtest/gtest.h>

#include <fstream>
#include <set>

#include "common/WaitReporter.h"
#include "db/Schema.h"
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
        EXPECT_EQ(t.data == TableData::Derived, t.rebuild != Rebuild::None) << t.name;
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
