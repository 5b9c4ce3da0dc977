// The registry names every table the program makes, and says of each what it is.
#include <gtest/gtest.h>

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
