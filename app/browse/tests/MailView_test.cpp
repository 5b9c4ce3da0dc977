#include <gtest/gtest.h>

#include "browse/MailView.h"
#include "browse/SubjectCursor.h"
#include "browse/tests/ShownLines.h"
#include "db/tests/OwnerMail.h"

namespace kamo {
namespace {

using test::OwnerMailTest;

TEST_F(OwnerMailTest, AMailsDisplayShowsItsHeaderAndAllOfItsBody) {
    // A long body spread over all sixteen pieces, with the converter's line breaks.
    std::string sql = "UPDATE tblKamoMail SET tblKamoMail_Mail1 = '1行目\r\n'";
    std::string expected = "1行目\n";
    for (int i = 2; i <= 16; ++i) {
        sql += ", tblKamoMail_Mail" + std::to_string(i) + " = '> 引用" + std::to_string(i) + "\r\r\n'";
        expected += "> 引用" + std::to_string(i) + "\n";
    }
    db_->exec(sql + " WHERE tblKamoMail_Subject = 'おはよう'");
    auto lines = test::ShownLines(*db_, ViewMode::Address, "taro@example.jp");
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

// The header label line by line: a sender known by the placeholder alone shows its address.
TEST(MailHeadText, TheLabelIsSenderSubjectReceiverAndDate) {
    MailRecord m;
    m.ymd = "2002/03/01";
    m.hms = "09:00:00";
    m.sndName = kNoName;
    m.sndAdd = "nobody@example.jp";
    m.rcvName = "かも";
    m.rcvAdd = "kamo@example.jp";
    m.subject = "おはよう";
    EXPECT_EQ(MailHeadText(m), "送信者：nobody@example.jp\n件　名：おはよう\n受信者：かも <kamo@example.jp>\n"
                               "日　時：2002/03/01 09:00:00");
}

} // namespace
} // namespace kamo
