#include <gtest/gtest.h>

#include <SQLiteCpp/Statement.h>

#include "common/Messages.h"
#include "common/MessagesBrowse.h"
#include "filters/FilterStore.h"
#include "filters/tests/FilterTestUtil.h"
#include "testsupport/TestSupport.h"

using namespace kamo;
using kamo::test::Filter;
using kamo::test::RecordingWait;

namespace {

EditArea Area(std::string header, int rule, int action, std::string terms) {
    return EditArea{std::move(header), std::move(terms), rule, action};
}

void StoreRow(SQLite::Database& db, const FilterEntry& e) {
    SQLite::Statement st(db, "INSERT INTO tblFilter VALUES (?, ?, ?, ?, ?)");
    st.bind(1, e.number);
    st.bind(2, e.termsCode);
    st.bind(3, e.actionCode);
    st.bind(4, e.header);
    st.bind(5, e.data);
    st.exec();
}

std::vector<std::pair<int, std::string>> StoredNumbers(SQLite::Database& db) {
    std::vector<std::pair<int, std::string>> rows;
    SQLite::Statement q(db, "SELECT tblFilter_No, tblFilter_Header FROM tblFilter ORDER BY tblFilter_No");
    while (q.executeStep())
        rows.emplace_back(q.getColumn(0).getInt(), q.getColumn(1).getString());
    return rows;
}

class FilterStoreTest : public ::testing::Test {
protected:
    std::unique_ptr<SQLite::Database> db = kamo::test::MemoryArchive();
    FilterTables tables;
    RecordingWait wait;
};

} // namespace

TEST_F(FilterStoreTest, LoadPutsSortingFiltersFirstAndCopiesReadFilters) {
    StoreRow(*db, Filter(10, 1, 1, "spam", "広告"));
    StoreRow(*db, Filter(40, 2, 0, "b", "b@example.jp"));
    StoreRow(*db, Filter(30, 5, 1, "nuisance", "迷惑"));
    StoreRow(*db, Filter(20, 0, 0, "a", "hello"));
    ASSERT_TRUE(LoadFilters(*db, tables, wait));
    ASSERT_EQ(tables.count, 4);
    EXPECT_EQ(tables.filters[0].header, "a");
    EXPECT_EQ(tables.filters[1].header, "b");
    EXPECT_EQ(tables.filters[2].header, "spam");
    EXPECT_EQ(tables.filters[3].header, "nuisance");
    EXPECT_EQ(tables.filters[3].termsCode, 5);
    EXPECT_EQ(tables.filters[3].data, "迷惑");
    ASSERT_EQ(tables.readCount, 2);
    EXPECT_EQ(tables.readFilters[0].header, "spam");
    EXPECT_EQ(tables.readFilters[1].header, "nuisance");
    EXPECT_TRUE(tables.filters[4].IsEmptySlot());
    EXPECT_EQ(wait.lines[0], "　振り分け処理を行っています。");
    EXPECT_EQ(wait.lines[1], "　少々お待ちください。");
    EXPECT_EQ(wait.lines[2], "");

    // Reloading replaces, it does not append.
    db->exec("DELETE FROM tblFilter WHERE tblFilter_ActionCode = 1");
    ASSERT_TRUE(LoadFilters(*db, tables, wait));
    EXPECT_EQ(tables.count, 2);
    EXPECT_EQ(tables.readCount, 0);
    EXPECT_TRUE(tables.filters[2].IsEmptySlot());
    EXPECT_TRUE(tables.readFilters[0].IsEmptySlot());
}

TEST_F(FilterStoreTest, LoadStopsAtTheTableSize) {
    for (int i = 0; i < kFilterSlots + 5; ++i)
        StoreRow(*db, Filter(static_cast<int16_t>(i), 1, i % 2 == 0 ? 0 : 1, "f" + std::to_string(i), "x"));
    ASSERT_TRUE(LoadFilters(*db, tables, wait));
    EXPECT_EQ(tables.count, kFilterSlots);
    EXPECT_LE(tables.readCount, kFilterSlots);
}

TEST_F(FilterStoreTest, SaveRenumbersBySlotAndDropsDeletedSlots) {
    for (const char* title : {"one", "two", "three", "four", "five"})
        ASSERT_TRUE(AddFilter(tables, Area(title, 1, 0, title)));
    EXPECT_EQ(tables.filters[4].number, 0); // added filters are unnumbered until saved
    ASSERT_TRUE(DeleteFilter(tables, 1));
    ASSERT_TRUE(DeleteFilter(tables, 3));
    EXPECT_TRUE(tables.filters[1].IsEmptySlot());
    EXPECT_EQ(tables.count, 5); // the blank slot stays until the save
    ASSERT_TRUE(SaveFilters(*db, tables, wait));
    const std::vector<std::pair<int, std::string>> expected = {{10, "one"}, {30, "three"}, {50, "five"}};
    EXPECT_EQ(StoredNumbers(*db), expected);
    EXPECT_EQ(tables.count, 3);
    EXPECT_EQ(tables.filters[1].number, 30);

    // Saving again closes the gaps.
    ASSERT_TRUE(SaveFilters(*db, tables, wait));
    const std::vector<std::pair<int, std::string>> closed = {{10, "one"}, {20, "three"}, {30, "five"}};
    EXPECT_EQ(StoredNumbers(*db), closed);
}

TEST_F(FilterStoreTest, SaveSkipsBlankTitlesAndKeepsTextAsIs) {
    FilterEntry blank = Filter(0, 1, 0, " 　 ", "x");
    FilterEntry quoted = Filter(0, 1, 0, "it's", "a|b'c"); // only the editor forbids these characters
    kamo::test::SetFilters(tables, {blank, quoted});
    ASSERT_TRUE(SaveFilters(*db, tables, wait));
    ASSERT_EQ(tables.count, 1);
    EXPECT_EQ(tables.filters[0].number, 20);
    EXPECT_EQ(tables.filters[0].header, "it's");
    EXPECT_EQ(tables.filters[0].data, "a|b'c");
}

TEST_F(FilterStoreTest, FailedSaveChangesNothingStored) {
    StoreRow(*db, Filter(10, 1, 0, "kept", "x"));
    db->exec("CREATE TRIGGER refuse BEFORE INSERT ON tblFilter WHEN NEW.tblFilter_Header = 'bad' "
             "BEGIN SELECT RAISE(ABORT, 'refused'); END");
    ASSERT_TRUE(LoadFilters(*db, tables, wait));
    ASSERT_TRUE(AddFilter(tables, Area("fine", 1, 0, "y")));
    ASSERT_TRUE(AddFilter(tables, Area("bad", 1, 0, "z")));
    EXPECT_FALSE(SaveFilters(*db, tables, wait));
    const std::vector<std::pair<int, std::string>> expected = {{10, "kept"}};
    EXPECT_EQ(StoredNumbers(*db), expected);
    EXPECT_EQ(tables.count, 3); // the edits are still there to retry
}

TEST_F(FilterStoreTest, ReloadThrowsAwayUnsavedEdits) {
    StoreRow(*db, Filter(10, 1, 0, "first", "a"));
    StoreRow(*db, Filter(20, 3, 1, "second", "b"));
    ASSERT_TRUE(LoadFilters(*db, tables, wait));
    ASSERT_TRUE(AddFilter(tables, Area("new", 2, 0, "c")));
    ASSERT_TRUE(DeleteFilter(tables, 0));
    ASSERT_TRUE(UpdateFilter(tables, 1, Area("changed", 0, 0, "d")));
    ASSERT_TRUE(LoadFilters(*db, tables, wait)); // what Cancel does
    ASSERT_EQ(tables.count, 2);
    EXPECT_EQ(tables.filters[0].header, "first");
    EXPECT_EQ(tables.filters[1].header, "second");
    EXPECT_EQ(tables.filters[1].termsCode, 3);
    EXPECT_EQ(tables.readCount, 1);
}

TEST(FilterEditing, TableHoldsAtMost256Filters) {
    FilterTables tables;
    for (int i = 0; i < kFilterSlots; ++i)
        ASSERT_TRUE(AddFilter(tables, Area("f", 1, 0, "x")));
    EXPECT_FALSE(AddFilter(tables, Area("one too many", 1, 0, "x")));
    EXPECT_EQ(tables.count, kFilterSlots);
    EXPECT_EQ(tables.filters[kFilterSlots - 1].header, "f");
    // Deleting frees nothing before the save: the slot keeps its place.
    ASSERT_TRUE(DeleteFilter(tables, 0));
    EXPECT_FALSE(AddFilter(tables, Area("still too many", 1, 0, "x")));
}

TEST(FilterEditing, UpdateKeepsNumberAndOutOfRangeSlotsAreRefused) {
    FilterTables tables;
    kamo::test::SetFilters(tables, {Filter(10, 1, 0, "a", "x")});
    ASSERT_TRUE(UpdateFilter(tables, 0, Area("  b  ", 4, 1, " y ")));
    EXPECT_EQ(tables.filters[0].number, 10);
    EXPECT_EQ(tables.filters[0].header, "b"); // the title is trimmed
    EXPECT_EQ(tables.filters[0].data, " y "); // the condition is compared as typed
    EXPECT_EQ(tables.filters[0].termsCode, 4);
    EXPECT_EQ(tables.filters[0].actionCode, 1);
    EXPECT_FALSE(UpdateFilter(tables, 1, Area("c", 1, 0, "x")));
    EXPECT_FALSE(DeleteFilter(tables, -1));
    EXPECT_FALSE(DeleteFilter(tables, 1));
}

TEST(FilterEditing, MovesStayInsideTheirActionGroup) {
    FilterTables tables;
    kamo::test::SetFilters(tables, {Filter(10, 1, 0, "a", "x"), Filter(20, 1, 0, "b", "x"), Filter(30, 1, 1, "c", "x"),
                                    Filter(40, 1, 1, "d", "x")});
    EXPECT_TRUE(MoveFilter(tables, 1, -1));
    EXPECT_EQ(tables.filters[0].header, "b");
    EXPECT_EQ(tables.filters[1].header, "a");
    EXPECT_FALSE(MoveFilter(tables, 1, +1)); // across the boundary
    EXPECT_FALSE(MoveFilter(tables, 2, -1));
    EXPECT_TRUE(MoveFilter(tables, 2, +1));
    EXPECT_EQ(tables.filters[3].header, "c");
    EXPECT_FALSE(MoveFilter(tables, 0, -1));
    EXPECT_FALSE(MoveFilter(tables, 3, +1));
    EXPECT_FALSE(MoveFilter(tables, 0, 2));
}

TEST(EditAreaChackRules, MessagesComeInTheEditorsOrder) {
    struct Case {
        EditArea area;
        int16_t result;
        std::string message;
        EditAreaCheck::Focus focus;
    };
    using F = EditAreaCheck::Focus;
    const Case cases[] = {
        {Area("", -1, -1, ""), 1, "", F::None},                               // empty: nothing, silently
        {Area(" 　", -1, -1, "  "), 1, "", F::None},                          // blanks count as empty
        {Area("", 1, -1, ""), 1, Say(BrowseText::FilterNoHeader), F::Header}, // any button set makes it an attempt
        {Area("", -1, -1, "x"), 1, Say(BrowseText::FilterNoHeader), F::Header},
        {Area("t", -1, -1, ""), 1, Say(BrowseText::FilterNoRule), F::None},
        {Area("t", 2, -1, ""), 1, Say(BrowseText::FilterNoAction), F::None},
        {Area("t", 2, 0, "   "), 1, Say(BrowseText::FilterNoTerms), F::Terms},
        {Area("it's", 2, 0, "x"), 1, Say(BrowseText::FilterSpecialChars), F::None},
        {Area("a|b", 2, 0, "x"), 1, Say(BrowseText::FilterSpecialChars), F::None},
        {Area("t", 2, 0, "x'"), 1, Say(BrowseText::FilterSpecialChars), F::None},
        {Area("t", 2, 0, "|"), 1, Say(BrowseText::FilterSpecialChars), F::None},
        {Area("t", 5, 1, "ok"), 0, "", F::None},
    };
    for (const auto& c : cases) {
        const EditAreaCheck check = EditAreaChack(c.area);
        SCOPED_TRACE("header [" + c.area.header + "] terms [" + c.area.terms + "]");
        EXPECT_EQ(check.result, c.result);
        EXPECT_EQ(check.message, c.message);
        EXPECT_EQ(check.focus, c.focus);
        EXPECT_EQ(check.clearHeader, c.focus == F::Header);
        EXPECT_EQ(check.clearTerms, c.focus == F::Terms);
    }
    EXPECT_EQ(Say(BrowseText::FilterSpecialChars), "特殊文字 ' と | は使用できません。");
}
