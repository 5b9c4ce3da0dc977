// The browser's panes driven alone, without the window: the date view's year-and-month chooser, the
// reading pane, and the heads of the conversation page's mails.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>

#include <SQLiteCpp/Statement.h>

#include "browse/MailView.h"
#include "browse/QtListModels.h"
#include "browse/QtReadingPane.h"
#include "browse/QtYearMonthChooser.h"
#include "browse/frmConversation.h"
#include "common/WaitReporter.h"
#include "testsupport/ScriptedPrompter.h"
#include "testsupport/TestSupport.h"

using namespace kamo;

namespace {

std::string S(const QString& s) {
    return s.toStdString();
}

std::vector<KeyItem> Days(std::initializer_list<const char*> days) {
    std::vector<KeyItem> keys;
    for (const char* day : days) {
        KeyItem key;
        key.text = day;
        keys.push_back(key);
    }
    return keys;
}

// One entry per month of the days, newest first, at the month's first day; the mails come in once
// the event loop has run, for the last fill only.
TEST(YearMonthChooser, OneEntryPerMonthWithItsDaysThenItsMails) {
    KeyListModel days;
    days.SetItems(Days({"2003/04/02", "2003/04/01", "2003/03/15", "2001/12/31"}));
    QtYearMonthChooser chooser;
    int wanted = 0;
    QObject::connect(&chooser, &QtYearMonthChooser::CountsWanted, [&wanted] { ++wanted; });
    chooser.Fill(days);
    chooser.Fill(days); // the first fill's count is dropped
    ASSERT_EQ(chooser.count(), 3);
    EXPECT_FALSE(chooser.isHidden());
    EXPECT_EQ(chooser.currentIndex(), -1);
    EXPECT_EQ(S(chooser.placeholderText()), "年月を選ぶ（3 か月）");
    const char* texts[] = {"2003年04月（2 日）", "2003年03月（1 日）", "2001年12月（1 日）"};
    const int firstRows[] = {0, 2, 3};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(S(chooser.itemText(i)), texts[i]);
        EXPECT_EQ(chooser.FirstRowAt(i), firstRows[i]);
    }
    EXPECT_EQ(chooser.IndexOfMonth("2003/03"), 1);
    EXPECT_EQ(chooser.IndexOfMonth("2002/01"), -1);
    chooser.Follow("2001/12/31");
    EXPECT_EQ(chooser.currentIndex(), 2);

    EXPECT_EQ(wanted, 0);
    QApplication::processEvents();
    EXPECT_EQ(wanted, 1);
    chooser.SetCounts({{"2003/04", 2, 1}, {"2001/12", 1234, 0}});
    EXPECT_EQ(S(chooser.itemText(0)), "2003年04月（2 日・3 通）");
    EXPECT_EQ(S(chooser.itemText(1)), "2003年03月（1 日・0 通）");
    EXPECT_EQ(S(chooser.itemText(2)), "2001年12月（1 日・1,234 通）");
    EXPECT_EQ(S(chooser.itemData(0, Qt::ToolTipRole).toString()), "2003年4月 受信 2 通 / 送信 1 通");

    // No day to list, or another view: no entries, hidden.
    days.Clear();
    chooser.Fill(days);
    EXPECT_EQ(chooser.count(), 0);
    EXPECT_TRUE(chooser.isHidden());
}

class MailPanesTest : public ::testing::Test {
protected:
    void SetUp() override {
        db = test::MemoryArchive();
        received = test::Mail("2002/03/01", "09:00:00", false, "太郎", "taro@example.jp", "おはよう", "本文です\r\n");
        sent = test::Mail("2002/03/02", "10:00:00", true, kNoName, "", "", " \r\n");
        sent.subKey = 1;
        test::InsertTestMail(*db, received);
        test::InsertTestMail(*db, sent);
    }
    std::unique_ptr<SQLite::Database> db;
    MailRecord received, sent;
    ScriptedPrompter prompter;
    NullWaitReporter wait;
};

// The pane shows the mail's head and text; a mail without text says so, a line whose mail is gone
// says that; copying takes the head and the text.
TEST_F(MailPanesTest, TheReadingPaneShowsTheMailOrSaysItIsGone) {
    QtReadingPane pane(prompter, wait);
    auto* head = pane.findChild<QLabel*>("lblHead");
    ASSERT_TRUE(head);
    pane.ShowMail(*db, KeyOf(received));
    EXPECT_EQ(S(head->text()), MailHeadText(received));
    ASSERT_TRUE(pane.CurrentMail());
    EXPECT_EQ(pane.CurrentMail()->subject, "おはよう");
    EXPECT_EQ(S(pane.WholeText()), MailHeadText(received) + "\n\n本文です\n");

    pane.ShowMail(*db, KeyOf(sent));
    EXPECT_EQ(S(pane.WholeText()), "送信者：かも <kamo@example.jp>\n件　名：\n受信者：（名前なし）\n"
                                   "日　時：2002/03/02 10:00:00\n\n（本文なし）");
    MailKey gone = KeyOf(sent);
    gone.subKey = 9;
    for (const std::optional<MailKey>& key : {std::optional<MailKey>(gone), std::optional<MailKey>()}) {
        pane.ShowMail(*db, key);
        EXPECT_EQ(S(head->text()), "このメールはアーカイブにありません。");
        EXPECT_FALSE(pane.CurrentMail());
        EXPECT_TRUE(pane.WholeText().isEmpty());
    }
    EXPECT_TRUE(prompter.shown.empty());
}

// A bubble's bold line: the sender (to the receiver, of sent mail) by the names as stored, and the
// date; the subject under it as it is.
TEST_F(MailPanesTest, TheConversationPageHeadsEachMailWithWhoAndWhen) {
    std::vector<int64_t> rows;
    SQLite::Statement st(*db, "SELECT rowid FROM tblKamoMail ORDER BY tblKamoMail_YMD");
    while (st.executeStep())
        rows.push_back(st.getColumn(0).getInt64());
    frmConversation page(*db, rows, rows[0], nullptr);
    ASSERT_EQ(page.MailCount(), 2);
    QStringList heads;
    for (auto* head : page.findChildren<QLabel*>("lblConversationHead"))
        heads << head->text();
    EXPECT_EQ(heads, (QStringList{QString::fromUtf8("太郎　2002/03/01 09:00:00"),
                                  QString::fromUtf8("かも → 設定無し　2002/03/02 10:00:00")}));
    QStringList subjects;
    for (auto* label : page.findChildren<QLabel*>())
        if (label->objectName().isEmpty() && label->parentWidget()->objectName().endsWith("Mail"))
            subjects << label->text();
    EXPECT_EQ(subjects, (QStringList{QString::fromUtf8("おはよう"), QString()}));
}

} // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) // also when the tests are only listed
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
