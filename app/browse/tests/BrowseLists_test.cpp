#include <gtest/gtest.h>

#include <cctype>
#include <random>

#include <SQLiteCpp/Transaction.h>

#include "browse/BrowseLists.h"
#include "browse/MailView.h"
#include "browse/RunTables.h"
#include "browse/ViewModes.h"
#include "common/CodePage.h"
#include "testsupport/TestSupport.h"

namespace kamo {
namespace {

MailRecord Mail(std::string ymd, std::string hms, bool sent, std::string sndName, std::string sndAdd,
                std::string rcvName, std::string rcvAdd, std::string subject, int64_t subKey = 0) {
    MailRecord m;
    m.ymd = std::move(ymd);
    m.hms = std::move(hms);
    m.subKey = subKey;
    m.sent = sent;
    m.sndName = std::move(sndName);
    m.sndAdd = std::move(sndAdd);
    m.rcvName = std::move(rcvName);
    m.rcvAdd = std::move(rcvAdd);
    m.subject = std::move(subject);
    m.body = "本文 " + m.subject;
    return m;
}

std::vector<std::string> Texts(const std::vector<KeyItem>& items) {
    std::vector<std::string> t;
    for (const auto& i : items)
        t.push_back(i.text);
    return t;
}

std::vector<std::string> Lower(std::vector<KeyItem> items) {
    std::vector<std::string> t;
    for (auto& i : items) {
        for (char& c : i.text)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        t.push_back(i.text);
    }
    return t;
}

std::vector<std::string> Subjects(const std::vector<SubjectLine>& lines) {
    std::vector<std::string> s;
    for (const auto& l : lines)
        s.push_back(l.subject);
    return s;
}

// The owner (kamo) writes to and hears from two friends over three days.
class BrowseListsTest : public ::testing::Test {
protected:
    void SetUp() override {
        db_ = test::MemoryArchive();
        auto& db = *db_;
        test::InsertTestMail(db, Mail("2002/03/01", "09:00:00", false, "太郎", "taro@example.jp", "かも",
                                      "kamo@example.jp", "おはよう"));
        test::InsertTestMail(
            db, Mail("2002/03/01", "08:00:00", true, "かも", "kamo@example.jp", "太郎", "taro@example.jp", "早起き"));
        test::InsertTestMail(db, Mail("2002/03/01", "08:00:00", true, "かも", "kamo@example.jp", "花子",
                                      "hana@example.jp", "同じ時刻の二通目", 1));
        test::InsertTestMail(db, Mail("2001/12/24", "20:00:00", false, "花子", "HANA@example.jp", "かも",
                                      "kamo@example.jp", "メリークリスマス"));
        test::InsertTestMail(db, Mail("2003/01/01", "00:00:01", false, "花子", "hana@example.jp", "かも",
                                      "kamo@example.jp", "あけおめ"));
        RebuildAddressList(db);
        RebuildNameList(db);
    }
    std::unique_ptr<SQLite::Database> db_;
};

TEST(ViewModes, ValuesOutsideZeroToTwoShowTheFilterModeAndTheClickCyclesFourModes) {
    EXPECT_EQ(ViewModeOf(0), ViewMode::Address);
    EXPECT_EQ(ViewModeOf(1), ViewMode::Name);
    EXPECT_EQ(ViewModeOf(2), ViewMode::Date);
    EXPECT_EQ(ViewModeOf(3), ViewMode::Filter);
    EXPECT_EQ(ViewModeOf(7), ViewMode::Filter);
    EXPECT_EQ(ViewModeOf(-1), ViewMode::Filter);
    int16_t t = 0;
    std::vector<int16_t> seen;
    for (int i = 0; i < 4; ++i)
        seen.push_back(t = NextDisplayType(t));
    EXPECT_EQ(seen, (std::vector<int16_t>{1, 2, 3, 0}));
    EXPECT_EQ(NextDisplayType(7), 0);
    EXPECT_STREQ(TextsOf(ViewModeOf(7)).label, "フィルター　表示");
    EXPECT_STREQ(TextsOf(ViewMode::Name).deleteCaption, "名前　削除");
}

TEST_F(BrowseListsTest, LookupTablesHoldEachSenderAndReceiverOnceIgnoringCase) {
    EXPECT_EQ(Lower(FillAddressList(*db_)),
              (std::vector<std::string>{"hana@example.jp", "kamo@example.jp", "taro@example.jp"}));
    EXPECT_EQ(Texts(FillNameList(*db_)).size(), 3u);

    // A rebuild drops names no mail carries any more, and works inside a caller's transaction.
    SQLite::Transaction tx(*db_);
    db_->exec("DELETE FROM tblKamoMail WHERE tblKamoMail_SndName = '太郎' OR tblKamoMail_RcvName = '太郎'");
    RebuildNameList(*db_);
    RebuildAddressList(*db_);
    tx.commit();
    EXPECT_EQ(Texts(FillNameList(*db_)), (std::vector<std::string>{"かも", "花子"}));
    EXPECT_EQ(Lower(FillAddressList(*db_)), (std::vector<std::string>{"hana@example.jp", "kamo@example.jp"}));
}

TEST_F(BrowseListsTest, DateListHoldsEachDateOnceNewestFirstAndADaysMailOldestFirst) {
    EXPECT_EQ(Texts(FillDateList(*db_)), (std::vector<std::string>{"2003/01/01", "2002/03/01", "2001/12/24"}));
    auto lines = FillSubjectList(*db_, ViewMode::Date, "2002/03/01");
    EXPECT_EQ(Subjects(lines), (std::vector<std::string>{"早起き", "同じ時刻の二通目", "おはよう"}));
}

TEST_F(BrowseListsTest, AddressAndNameListsShowEveryMailOfTheKeyOnEitherSideInDateOrder) {
    // The address compares without regard to case, as the archive always did.
    auto hana = FillSubjectList(*db_, ViewMode::Address, "hana@example.jp");
    EXPECT_EQ(Subjects(hana), (std::vector<std::string>{"メリークリスマス", "同じ時刻の二通目", "あけおめ"}));
    auto kamo = FillSubjectList(*db_, ViewMode::Address, "kamo@example.jp");
    EXPECT_EQ(kamo.size(), 5u);
    auto byName = FillSubjectList(*db_, ViewMode::Name, "太郎");
    EXPECT_EQ(Subjects(byName), (std::vector<std::string>{"早起き", "おはよう"}));
    EXPECT_TRUE(FillSubjectList(*db_, ViewMode::Address, "nobody@example.jp").empty());
}

TEST_F(BrowseListsTest, AMailToOneselfIsListedOnce) {
    test::InsertTestMail(
        *db_, Mail("2004/01/01", "10:00:00", true, "かも", "kamo@example.jp", "かも", "kamo@example.jp", "メモ"));
    auto lines = FillSubjectList(*db_, ViewMode::Address, "kamo@example.jp");
    EXPECT_EQ(lines.size(), 6u);
    EXPECT_EQ(FillSubjectList(*db_, ViewMode::Name, "かも").size(), 6u);
}

TEST_F(BrowseListsTest, SentLineNamesTheReceiverAndReceivedLineTheSender) {
    auto lines = FillSubjectList(*db_, ViewMode::Address, "taro@example.jp");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_TRUE(lines[0].key.sent);
    EXPECT_EQ(lines[0].text.rfind("2002/03/01 08:00:00 　送　受取人：太郎 ", 0), 0u) << lines[0].text;
    EXPECT_FALSE(lines[1].key.sent);
    EXPECT_EQ(lines[1].text.rfind("2002/03/01 09:00:00 受　　差出人：太郎 ", 0), 0u) << lines[1].text;
    EXPECT_EQ(lines[1].key.sndAdd, "taro@example.jp");
    EXPECT_EQ(lines[1].key.rcvAdd, "kamo@example.jp");
}

TEST(FormatSubjectLine, SubjectsStartInOneColumnWhateverTheNames) {
    const std::string subject = "件名テスト";
    for (const char* name : {"a", "太郎", "ｶﾓ", "おともだちさん", "Mixed名前"}) {
        std::string line = FormatSubjectLine("20020301", "080000", true, "", std::string("  ") + name + "  ", subject);
        std::string cp = Utf8ToCp932(line);
        ASSERT_GE(cp.size(), 55u);
        EXPECT_EQ(cp.substr(55), Utf8ToCp932(subject)) << name;
        EXPECT_NE(line.find(std::string("受取人：") + name + " "), std::string::npos) << "trimmed name";
    }
    // A prefix already wider than the column gets no padding, only the one blank.
    std::string longName(60, 'x');
    std::string line = FormatSubjectLine("20020301", "080000", false, longName, "", " 件名 ");
    EXPECT_EQ(line, "2002/03/01 08:00:00 受　　差出人：" + longName + " 件名");
    // Short date and time texts give what there is, never a crash.
    EXPECT_EQ(FormatSubjectLine("2002", "", true, "", "b", "s").rfind("2002// :: ", 0), 0u);
}

TEST(EmptyArchive, GivesEmptyListsInEveryMode) {
    auto db = test::MemoryArchive();
    RebuildAddressList(*db);
    RebuildNameList(*db);
    for (ViewMode m : {ViewMode::Address, ViewMode::Name, ViewMode::Date, ViewMode::Filter})
        EXPECT_TRUE(FillKeyList(*db, m).empty());
    EXPECT_TRUE(FillSubjectList(*db, ViewMode::Date, "2002/03/01").empty());
    EXPECT_TRUE(FillFilterSubjectList(*db, 10).empty());
}

TEST(FilterLists, FiltersInNumberOrderAndAFiltersMailByDateAndTime) {
    auto db = test::MemoryArchive();
    db->exec("INSERT INTO tblFilter VALUES (20, 1, 0, '旅行', '旅'), (10, 2, 0, 'たろう', 'taro'),"
             " (30, 0, 1, '広告', '広告')");
    auto filters = FillFilterList(*db);
    ASSERT_EQ(filters.size(), 3u);
    EXPECT_EQ(filters[0].text, "たろう");
    EXPECT_EQ(filters[0].filterNo, 10);
    EXPECT_EQ(filters[1].filterNo, 20);
    EXPECT_NE(filters[2].text.find("メールを読み込まない"), std::string::npos);
    db->exec("INSERT INTO tblFilterData VALUES"
             " (1, 10, '2002/03/02', '10:00:00', 0, '太郎', 'taro@x', 'かも', 'kamo@x', 0, '二番目'),"
             " (2, 10, '2002/03/01', '23:00:00', 0, 'かも', 'kamo@x', '太郎', 'taro@x', 1, '一番目'),"
             " (3, 20, '2002/03/01', '01:00:00', 0, 'かも', 'kamo@x', '花子', 'hana@x', 1, '別のフィルター')");
    auto lines = FillFilterSubjectList(*db, 10);
    EXPECT_EQ(Subjects(lines), (std::vector<std::string>{"一番目", "二番目"}));
    EXPECT_TRUE(lines[0].key.sent);
    EXPECT_NE(lines[0].text.find("受取人：太郎"), std::string::npos);
    EXPECT_EQ(lines[1].key.sndAdd, "taro@x");
}

TEST_F(BrowseListsTest, AMailsDisplayShowsItsHeaderAndAllOfItsBody) {
    // A long body spread over all sixteen pieces, with the converter's line breaks.
    std::string sql = "UPDATE tblKamoMail SET tblKamoMail_Mail1 = '1行目\r\n'";
    std::string expected = "1行目\n";
    for (int i = 2; i <= 16; ++i) {
        sql += ", tblKamoMail_Mail" + std::to_string(i) + " = '> 引用" + std::to_string(i) + "\r\r\n'";
        expected += "> 引用" + std::to_string(i) + "\n";
    }
    db_->exec(sql + " WHERE tblKamoMail_Subject = 'おはよう'");
    auto lines = FillSubjectList(*db_, ViewMode::Address, "taro@example.jp");
    ASSERT_EQ(lines.size(), 2u);
    auto mail = ReadMail(*db_, lines[1].key);
    ASSERT_TRUE(mail);
    EXPECT_EQ(MailBodyText(*mail), expected);
    std::string head = MailHeadText(*mail);
    EXPECT_NE(head.find("送信者：太郎 <taro@example.jp>"), std::string::npos) << head;
    EXPECT_NE(head.find("件　名：おはよう"), std::string::npos);
    EXPECT_NE(head.find("受信者：かも <kamo@example.jp>"), std::string::npos);
    EXPECT_NE(head.find("2002/03/01 09:00:00"), std::string::npos);
    EXPECT_EQ(ReplyAddress(*mail), "taro@example.jp");
    EXPECT_EQ(ReplySubject(*mail), "Re: おはよう");

    // The other mail of the same minute is a different mail: the key tells them apart.
    auto sent = ReadMail(*db_, lines[0].key);
    ASSERT_TRUE(sent);
    EXPECT_EQ(sent->subject, "早起き");
    EXPECT_EQ(ReplyAddress(*sent), "taro@example.jp");
    MailKey gone = lines[0].key;
    gone.subKey = 9;
    EXPECT_FALSE(ReadMail(*db_, gone));
}

TEST(SmallTables, MonthsDrawersAndFontFlags) {
    RunTables t;
    FillMonthTable(t);
    FillDrawerTable(t);
    EXPECT_EQ(t.months[0], "Jan");
    EXPECT_EQ(t.months[11], "Dec");
    EXPECT_TRUE(t.months[12].empty());
    EXPECT_EQ(MonthNumber(t, "Feb"), "02");
    EXPECT_EQ(MonthNumber(t, "Oct"), "10");
    EXPECT_EQ(MonthNumber(t, "feb"), "");
    EXPECT_EQ(t.drawerColours[0], "ピンク");
    EXPECT_EQ(t.drawerColours[8], "橙色");

    EXPECT_FALSE(ParseFontStyle("0,0").bold);
    EXPECT_TRUE(ParseFontStyle("1,0").bold);
    EXPECT_FALSE(ParseFontStyle("1,0").italic);
    EXPECT_TRUE(ParseFontStyle("0,1").italic);
    EXPECT_FALSE(ParseFontStyle("x,y").bold);
    EXPECT_FALSE(ParseFontStyle("").italic);
    EXPECT_EQ(FormatFontStyle({true, false}), "1,0");
    EXPECT_EQ(FormatFontStyle(ParseFontStyle("0,1")), "0,1");
}

} // namespace
} // namespace kamo

namespace kamo {
namespace {

// The merged halves must give exactly what one OR query sorted by the list order gives, whatever the
// mix of sides, equal times, sub-keys and letter case; read in small pieces or all at once.
TEST(SubjectRowStream, MergedHalvesMatchTheListOrderOfASingleQuery) {
    auto db = test::MemoryArchive();
    const char* addresses[] = {"a@x.jp", "A@X.jp", "b@x.jp", "c@x.jp"};
    const char* names[] = {"太郎", "花子", "Taro", "taro"};
    std::mt19937 rng(7);
    for (int i = 0; i < 600; ++i) {
        MailRecord m;
        m.ymd = "2002/03/0" + std::to_string(1 + rng() % 3);
        m.hms = "10:0" + std::to_string(rng() % 3) + ":00";
        m.subKey = static_cast<int64_t>(rng() % 3);
        m.sent = rng() % 2;
        m.sndAdd = addresses[rng() % 4];
        m.rcvAdd = addresses[rng() % 4];
        m.sndName = names[rng() % 4];
        m.rcvName = names[rng() % 4];
        m.subject = std::to_string(i);
        try {
            test::InsertTestMail(*db, m);
        } catch (const SQLite::Exception&) {
            // the same identity twice: the archive keeps one
        }
    }
    auto reference = [&](const char* where, const char* order, const std::string& key) {
        SQLite::Statement st(*db, std::string("SELECT rowid FROM tblKamoMail WHERE ") + where + " ORDER BY " + order +
                                      ", rowid");
        st.bind(1, key);
        std::vector<int64_t> ids;
        while (st.executeStep())
            ids.push_back(st.getColumn(0).getInt64());
        return ids;
    };
    for (const char* key : {"a@x.jp", "b@x.jp", "none@x.jp"}) {
        auto expected = reference("tblKamoMail_SndAdd = ?1 OR tblKamoMail_RcvAdd = ?1",
                                  "tblKamoMail_YMD, tblKamoMail_HMS, tblKamoMail_SubKey", key);
        EXPECT_EQ(QuerySubjectRows(*db, ViewMode::Address, key).rowIds, expected) << key;
        SubjectRowStream stream(*db, ViewMode::Address, key);
        std::vector<int64_t> piecewise;
        while (stream.Read(piecewise, 7)) {
        }
        EXPECT_EQ(piecewise, expected) << key;
        EXPECT_TRUE(stream.Done());
    }
    for (const char* key : {"太郎", "taro"}) {
        auto expected = reference("tblKamoMail_SndName = ?1 OR tblKamoMail_RcvName = ?1",
                                  "tblKamoMail_YMD, tblKamoMail_SubKey, tblKamoMail_HMS", key);
        EXPECT_FALSE(expected.empty());
        EXPECT_EQ(QuerySubjectRows(*db, ViewMode::Name, key).rowIds, expected) << key;
    }
}

} // namespace
} // namespace kamo
