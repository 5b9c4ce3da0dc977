// Mail deletion: each kind of target takes exactly its mails, the look-ups and filter data follow,
// and a failing deletion takes nothing.
#include <gtest/gtest.h>

#include <set>

#include <SQLiteCpp/Statement.h>

#include "browse/MailDeletion.h"
#include "common/ArchiveView.h"
#include "common/Prompter.h"
#include "common/WaitReporter.h"
#include "db/ArchiveSession.h"
#include "db/LookupLists.h"
#include "filters/FilterCommands.h"
#include "filters/FilterRun.h"
#include "testsupport/ScriptedPrompter.h"
#include "testsupport/TestSupport.h"

using namespace kamo;

namespace {

MailRecord Mail(const std::string& ymd, const std::string& hms, bool sent, const std::string& other,
                const std::string& otherName, const std::string& subject) {
    return test::MailBuilder()
        .Date(ymd, hms)
        .Sent(sent)
        .With(otherName, other)
        .Subject(subject)
        .Body(subject + " の本文")
        .Build();
}

class CountingView : public ArchiveView {
public:
    void ShowViewMode() override { ++shown; }
    int shown = 0;
};

// An archive of four mails and one filter, filter data and look-ups up to date.
struct Archive {
    Archive() {
        auto db = test::MemoryArchive();
        for (const auto& m : {Mail("2002/03/01", "09:00:00", false, "taro@example.jp", "太郎", "おはよう"),
                              Mail("2002/03/01", "10:00:00", true, "taro@example.jp", "太郎", "返事"),
                              Mail("2002/03/02", "09:00:00", false, "hana@example.jp", "花子", "こんにちは"),
                              Mail("2002/03/03", "09:00:00", false, "Taro@Example.JP", "たろう", "大文字")})
            test::InsertTestMail(*db, m);
        db->exec("INSERT INTO tblFilter VALUES (10, 2, 0, 'はなこ', 'hana@example.jp')");
        RebuildNameList(*db);
        RebuildAddressList(*db);
        session = std::make_unique<ArchiveSession>(AppFolders{}, nullptr, std::move(db));
        FilterStartUp(*session);
        NullWaitReporter quiet;
        RunFilters(session->Database(), session->Filters(), quiet);
    }
    SQLite::Database& Db() { return session->Database(); }
    std::set<std::string> Subjects() {
        std::set<std::string> s;
        SQLite::Statement q(Db(), "SELECT tblKamoMail_Subject FROM tblKamoMail");
        while (q.executeStep())
            s.insert(q.getColumn(0).getString());
        return s;
    }
    std::set<std::string> Column(const char* sql) {
        std::set<std::string> s;
        SQLite::Statement q(Db(), sql);
        while (q.executeStep())
            s.insert(q.getColumn(0).getString());
        return s;
    }
    int64_t Delete(const DeletionTarget& target) {
        prompter.QueueAnswer(true);
        return RunDeletion(*session, prompter, wait, view, target);
    }

    std::unique_ptr<ArchiveSession> session;
    ScriptedPrompter prompter;
    NullWaitReporter wait;
    CountingView view;
};

class Deletion : public ::testing::Test, public Archive {};

} // namespace

TEST_F(Deletion, EachKindTakesExactlyWhatItsViewLists) {
    struct Case {
        DeletionTarget target;
        int64_t count;
        std::set<std::string> left;
        const char* question;
    };
    DeletionTarget one;
    one.kind = DeletionTarget::Kind::Mail;
    one.mail = MailKey{"2002/03/01", "10:00:00", 0, true, "かも", "太郎", "kamo@example.jp", "taro@example.jp"};
    one.subject = "返事";
    const Case cases[] = {
        {one, 1, {"おはよう", "こんにちは", "大文字"}, "2002/03/01 10:00:00 のメール「返事」を削除します。"},
        // The address view lists mail from and to the address, letter case aside.
        {KeyTarget(ViewMode::Address, "taro@example.jp", 0),
         3,
         {"こんにちは"},
         "アドレス「taro@example.jp」の送受信メール 3 件"},
        {KeyTarget(ViewMode::Name, "太郎", 0), 2, {"こんにちは", "大文字"}, "名前「太郎」の送受信メール 2 件"},
        {KeyTarget(ViewMode::Date, "2002/03/01", 0), 2, {"こんにちは", "大文字"}, "2002/03/01 のメール 2 件"},
        {KeyTarget(ViewMode::Filter, "はなこ", 10),
         1,
         {"おはよう", "返事", "大文字"},
         "フィルター「はなこ」のメール 1 件"},
    };
    for (const auto& c : cases) {
        Archive fresh;
        EXPECT_EQ(fresh.Delete(c.target), c.count) << c.question;
        EXPECT_EQ(fresh.Subjects(), c.left) << c.question;
        ASSERT_FALSE(fresh.prompter.shown.empty());
        EXPECT_TRUE(fresh.prompter.shown[0].question);
        EXPECT_EQ(fresh.prompter.shown[0].text.find(c.question), 0u) << fresh.prompter.shown[0].text;
        EXPECT_TRUE(fresh.prompter.shown[0].text.ends_with("\n     よろしいでしょうか？"));
        EXPECT_EQ(fresh.view.shown, 1);
        // Look-ups and filter data follow the mail that is left.
        EXPECT_EQ(fresh.Column("SELECT tblSearch_Name_Data FROM tblSearch_Name"),
                  fresh.Column("SELECT tblKamoMail_SndName FROM tblKamoMail UNION SELECT tblKamoMail_RcvName FROM "
                               "tblKamoMail"))
            << c.question;
        EXPECT_EQ(fresh.Column("SELECT lower(tblSearch_Addr_Data) FROM tblSearch_Addresses"),
                  fresh.Column("SELECT lower(tblKamoMail_SndAdd) FROM tblKamoMail UNION SELECT "
                               "lower(tblKamoMail_RcvAdd) FROM tblKamoMail"))
            << c.question;
        const bool hanaLeft = c.left.count("こんにちは") > 0;
        EXPECT_EQ(fresh.Column("SELECT tblFilterDt_Subject FROM tblFilterData"),
                  hanaLeft ? std::set<std::string>{"こんにちは"} : std::set<std::string>{})
            << c.question;
    }
}

TEST_F(Deletion, NoAnswerOrNothingToDeleteChangesNothing) {
    prompter.QueueAnswer(false);
    EXPECT_EQ(RunDeletion(*session, prompter, wait, view, KeyTarget(ViewMode::Date, "2002/03/01", 0)), 0);
    EXPECT_EQ(Subjects().size(), 4u);
    EXPECT_EQ(RunDeletion(*session, prompter, wait, view, KeyTarget(ViewMode::Date, "1999/01/01", 0)), 0);
    EXPECT_EQ(prompter.shown.back().text, "削除するメールがありません。");
    EXPECT_EQ(Subjects().size(), 4u);
}

TEST_F(Deletion, AFailureHalfWayDeletesNothing) {
    // The third row refuses to go: the rows before it must come back.
    Db().exec("CREATE TRIGGER refuse BEFORE DELETE ON tblKamoMail WHEN old.tblKamoMail_Subject = '大文字' "
              "BEGIN SELECT RAISE(ABORT, 'disk says no'); END");
    EXPECT_EQ(Delete(KeyTarget(ViewMode::Address, "taro@example.jp", 0)), 0);
    EXPECT_EQ(Subjects().size(), 4u);
    EXPECT_NE(prompter.shown.back().text.find("何も削除していません。"), std::string::npos);
    EXPECT_EQ(Column("SELECT tblSearch_Name_Data FROM tblSearch_Name").size(), 4u);
}

TEST(DeletionAsk, EachKindNamesItsTargetAndCountsWithSeparators) {
    struct Case {
        const char* what;
        DeletionTarget target;
        int64_t count;
        BrowseText code;
        std::vector<std::string> details;
    };
    DeletionTarget mail;
    mail.kind = DeletionTarget::Kind::Mail;
    mail.mail = MailKey{"2002/03/01", "10:00:00", 0, true, "かも", "太郎", "kamo@example.jp", "taro@example.jp"};
    mail.subject = "返事";
    const Case cases[] = {
        {"mail", mail, 1, BrowseText::DeleteMailAsk, {"2002/03/01", "10:00:00", "返事"}},
        {"address",
         KeyTarget(ViewMode::Address, "taro@example.jp", 0),
         999,
         BrowseText::DeleteAddressAsk,
         {"taro@example.jp", "999"}},
        {"name", KeyTarget(ViewMode::Name, "太郎", 0), 1000, BrowseText::DeleteNameAsk, {"太郎", "1,000"}},
        // A party without a name is asked about as the list shows it.
        {"no name", KeyTarget(ViewMode::Name, kNoName, 0), 2, BrowseText::DeleteNameAsk, {"（名前なし）", "2"}},
        {"blank name", KeyTarget(ViewMode::Name, " \t", 0), 2, BrowseText::DeleteNameAsk, {"（名前なし）", "2"}},
        {"date",
         KeyTarget(ViewMode::Date, "2002/03/01", 0),
         1234567,
         BrowseText::DeleteDateAsk,
         {"2002/03/01", "1,234,567"}},
        {"filter", KeyTarget(ViewMode::Filter, "はなこ", 10), 1, BrowseText::DeleteFilterAsk, {"はなこ", "1"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const DeletionAsk ask = DeletionAskOf(c.target, c.count);
        EXPECT_EQ(ask.what, c.code);
        EXPECT_EQ(ask.details, c.details);
    }
}

TEST(DeletionAsk, QuestionsSayWhereTheMailGoes) {
    const std::pair<std::string, std::string> cases[] = {
        {DeletionQuestion(KeyTarget(ViewMode::Name, kNoName, 0), 1000),
         "名前「（名前なし）」の送受信メール 1,000 件を削除します。\n     メールはゴミ箱に移り、あとで元に戻せます。\n"
         "     よろしいでしょうか？"},
        {EmptyTrashQuestion(1234),
         "ゴミ箱のメール 1,234 件を完全に削除します。元に戻すことはできません。\n"
         "PostPet のフォルダにこれらのメールが残っていると、次の読み込みで再び保存されます。\n     "
         "よろしいでしょうか？"},
    };
    for (const auto& [asked, expected] : cases)
        EXPECT_EQ(asked, expected);
}
