// What the CSV export and import tell when done: the folder, then one line per table, each table named
// by what it holds and by its own name (the file's), its rows with thousands separators.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "upkeep/ArchiveCommands.h"
#include "upkeep/TableExchange.h"

namespace kamo {
namespace {

const std::filesystem::path kFolder = "/tmp/kamo csv/2024-05-01";

struct TableLine {
    TableCount count;
    std::string line;
};

// One summary per case: the head the command gives for no table, then the case's line.
TEST(TableSummary, EachExportedTableHasItsLine) {
    const std::string head = TablesExportedText(kFolder, {});
    EXPECT_NE(head.find("\n" + kFolder.string() + "\n"), std::string::npos) << head;
    const TableLine cases[] = {
        {{"tblKamoMail", 1234}, "メール　tblKamoMail → tblKamoMail.csv: 1,234 行\n"},
        {{"tblOriginalNames", 0}, "メールのもとの名前　tblOriginalNames → tblOriginalNames.csv: 0 行\n"},
        {{"tblFilterData", 1000000}, "フィルターの振り分け結果　tblFilterData → tblFilterData.csv: 1,000,000 行\n"},
        // A table without a caption is named by its name alone.
        {{"tblNotKnown", 5}, "tblNotKnown → tblNotKnown.csv: 5 行\n"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TablesExportedText(kFolder, {c.count}), head + c.line) << c.count.table;
}

TEST(TableSummary, EachImportedTableHasItsLine) {
    const std::string head = TablesImportedText(kFolder, {});
    EXPECT_EQ(head, "取り込みました。\n" + kFolder.string() + "\n");
    const TableLine cases[] = {
        {{"tblFriend", 1000, 2}, "おともだち帳　tblFriend: 追加 1,000 行 / 保存済み 2 行\n"},
        {{"tblAttachment", 0, 0}, "添付ファイル　tblAttachment: 追加 0 行 / 保存済み 0 行\n"},
        // A derived table's file is not read: its counts are not told.
        {{"tblSearch_Name", 7, 3, true},
         "名前の一覧　tblSearch_Name: 取り込まず作り直しました（メールから作るデータです）\n"},
        {{"tblNotKnown", 1, 12345}, "tblNotKnown: 追加 1 行 / 保存済み 12,345 行\n"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TablesImportedText(kFolder, {c.count}), head + c.line) << c.count.table;
}

// The lines follow the tables in the order they were done.
TEST(TableSummary, LinesFollowTheTablesInOrder) {
    const std::vector<TableCount> counts = {{"tblFilter", 2}, {"tblKamoMail", 3}};
    EXPECT_EQ(TablesExportedText(kFolder, counts),
              TablesExportedText(kFolder, {counts[0]}) +
                  TablesExportedText(kFolder, {counts[1]}).substr(TablesExportedText(kFolder, {}).size()));
    const std::vector<TableCount> imported = {{"tblTrash", 0, 0, true}, {"tblFilter", 4, 1}};
    const std::string text = TablesImportedText(kFolder, imported);
    const size_t rebuilt = text.find("tblTrash: ");
    const size_t added = text.find("フィルター　tblFilter: 追加 4 行");
    ASSERT_NE(rebuilt, std::string::npos) << text;
    ASSERT_NE(added, std::string::npos) << text;
    EXPECT_LT(rebuilt, added);
}

} // namespace
} // namespace kamo
