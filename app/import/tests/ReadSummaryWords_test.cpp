// The read's summary worded from its counts alone: a mailbox's note in the table, its line in the
// text, and where a stopped read says it stopped.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/Messages.h"
#include "import/MailRead.h"
#include "import/Mailboxes.h"

using namespace kamo;

namespace {

const char* const kInbox = "受信フォルダ";

std::vector<uint64_t> Positions(uint64_t count) {
    std::vector<uint64_t> at;
    for (uint64_t i = 1; i <= count; ++i)
        at.push_back(i * 10);
    return at;
}

MailboxSummary Box(int64_t read, int64_t stored, int64_t alreadyStored) {
    MailboxSummary box;
    box.name = kInbox;
    box.read = read;
    box.stored = stored;
    box.alreadyStored = alreadyStored;
    return box;
}

MailboxSummary Damaged(uint64_t positions) {
    MailboxSummary box = Box(2, 2, 0);
    box.damaged = static_cast<int64_t>(positions);
    box.damagedAt = Positions(positions);
    return box;
}

MailboxSummary SetApart() {
    MailboxSummary box = Box(1234, 1000, 5);
    box.code = -4;
    box.filtered = 3;
    box.cut = 2;
    box.updated = 4;
    box.trashed = 1;
    box.undecoded = 1;
    return box;
}

MailboxSummary CutShort() {
    MailboxSummary box = Damaged(1);
    box.problem.emplace(FailureCode::MailTmpCut, std::vector<std::string>{kInbox});
    return box;
}

ReadSummary Read(const MailboxSummary& box) {
    ReadSummary summary;
    summary.completed = true;
    summary.mailboxes.push_back(box);
    return summary;
}

std::string FirstLine(const std::string& text) {
    return text.substr(0, text.find('\n'));
}

struct BoxCase {
    const char* what;
    MailboxSummary box;
    std::string note; // the table's note
    std::string line; // the text's line
};

TEST(ReadSummaryWords, AMailboxsNoteAndLineSayWhatHappenedToIt) {
    const std::string counts = "受信フォルダ: 読込 2 / 保存 2 / 保存済み 0 / フィルター除外 0 / 破損 ";
    const std::string cutShort = NoteOf(Failure(FailureCode::MailTmpCut, {kInbox}));
    const std::vector<BoxCase> cases = {
        {"read whole", Box(3, 2, 1), "", "受信フォルダ: 読込 3 / 保存 2 / 保存済み 1 / フィルター除外 0 / 破損 0"},
        {"five places, all in the note", Damaged(5), "破損位置 10 20 30 40 50",
         counts + "5（リストファイルの位置 10, 20, 30, 40, 50）"},
        {"six places, the note names five", Damaged(6), "破損位置 10 20 30 40 50 ほか",
         counts + "6（リストファイルの位置 10, 20, 30, 40, 50, 60）"},
        {"ten places, all in the line", Damaged(10), "破損位置 10 20 30 40 50 ほか",
         counts + "10（リストファイルの位置 10, 20, 30, 40, 50, 60, 70, 80, 90, 100）"},
        {"eleven places, the line names ten", Damaged(11), "破損位置 10 20 30 40 50 ほか",
         counts + "11（リストファイルの位置 10, 20, 30, 40, 50, 60, 70, 80, 90, 100 ほか 1 か所）"},
        {"a library code and mail set apart", SetApart(),
         "エラー -4、本文を切って保存 2、削除済み 1、読み解けず元のまま保存 1",
         "受信フォルダ: 読込 1,234 / 保存 1,000 / 保存済み 5 / フィルター除外 3 / 破損 0 / 本文を切って保存 2 / "
         "読み直して更新 4 / 削除済み 1 / 読み解けず元のまま保存 1（エラー -4）"},
        {"a problem before its damage", CutShort(), cutShort + "、破損位置 10",
         counts + "1（リストファイルの位置 10）（" + cutShort + "）"},
    };
    for (const auto& c : cases) {
        const ReadSummary summary = Read(c.box);
        const Prompter::Table table = SummaryTable(summary);
        ASSERT_EQ(table.rows.size(), 2u) << c.what;
        EXPECT_EQ(table.rows[0].front(), kInbox) << c.what;
        EXPECT_EQ(table.rows[0].back(), c.note) << c.what;
        EXPECT_EQ(table.rows[1].back(), "") << c.what; // the totals carry no mailbox's note
        EXPECT_EQ(FirstLine(FormatSummary(summary)), c.line) << c.what;
    }
}

TEST(ReadSummaryWords, TheTotalsAddUpUnderTheirOwnCaption) {
    ReadSummary summary = Read(SetApart());
    summary.mailboxes.push_back(Damaged(11));
    const Prompter::Table table = SummaryTable(summary);
    EXPECT_EQ(table.columns, (std::vector<std::string>{"メールボックス", "読込", "保存", "保存済み", "フィルター除外",
                                                       "破損", "備考"}));
    ASSERT_EQ(table.rows.size(), 3u);
    EXPECT_EQ(table.rows[2], (std::vector<std::string>{"合計", "1,236", "1,002", "5", "3", "11", ""}));
    const std::string text = FormatSummary(summary);
    EXPECT_NE(
        text.find("\n合計: 読込 1,236 / 保存 1,002 / 保存済み 5 / フィルター除外 3 / 破損 11 / 本文を切って保存 2 / "
                  "読み直して更新 4 / 削除済み 1 / 読み解けず元のまま保存 1\n"),
        std::string::npos)
        << text;
    EXPECT_EQ(table.asText, table.headline + "\n" + text);
}

struct StopCase {
    const char* what;
    bool inside;       // stopped inside the mailbox, not after it
    std::string note;  // the totals' note
    std::string after; // the text's last line
};

TEST(ReadSummaryWords, AStoppedReadSaysWhereItStopped) {
    const std::vector<StopCase> cases = {
        {"inside", true, "受信フォルダ の 4 通目で中止",
         "（受信フォルダ の 4 / 10 通目まで読んだところで中止しました。そこまでのメールは保存しました。残りはもう一度"
         "「PostPet Mail Read」を押すと続きから保存します）"},
        {"after", false, "受信フォルダ のあとで中止",
         "（受信フォルダ を読み終えたところで中止しました。残りのメールボックスは読んでいません）"},
    };
    for (const auto& c : cases) {
        MailboxSummary box = Box(3, 3, 0);
        box.damaged = 1;
        box.listed = 10;
        box.stopped = c.inside;
        ReadSummary summary = Read(box);
        summary.stoppedAfter = kInbox;
        const Prompter::Table table = SummaryTable(summary);
        EXPECT_EQ(table.headline, "PostPetのメールの読み込みを中止しました。") << c.what;
        ASSERT_EQ(table.rows.size(), 2u) << c.what;
        EXPECT_EQ(table.rows[1].back(), c.note) << c.what;
        const std::string text = FormatSummary(summary);
        const std::string last = c.after + "\n";
        ASSERT_GE(text.size(), last.size()) << c.what;
        EXPECT_EQ(text.substr(text.size() - last.size()), last) << c.what;
    }
}

// The names the user sees are the names PostPet gives its mailboxes on disk, and the names kept with
// each stored mail: a word changed on one side only would lose the other.
TEST(ReadSummaryWords, MailboxNamesAreTheNamesOfTheirFiles) {
    for (const auto& box : Mailboxes()) {
        const std::string name = box.name;
        if (box.kind == MailboxKind::Drawer)
            EXPECT_EQ(std::string(box.mailFile), name + ".ppm") << name;
        else
            EXPECT_EQ(std::string(box.folder), name);
    }
    EXPECT_STREQ(Mailboxes().front().name, "受信フォルダ");
    EXPECT_STREQ(Mailboxes().back().name, "橙色の引出し");
}

} // namespace
