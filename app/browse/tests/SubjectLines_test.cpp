#include <gtest/gtest.h>

#include "browse/SubjectLines.h"
#include "common/CodePage.h"

namespace kamo {
namespace {

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

TEST(ReplySubjectLine, MarksTheSubjectInItsOwnColumn) {
    MailKey key;
    key.ymd = "2002/03/01";
    key.hms = "08:00:00";
    key.sent = true;
    key.rcvName = "花子";
    const std::string plain = FormatSubjectLine(key, "Re: 旅行");
    const std::string reply = ReplySubjectLine(key, "  Re: 旅行 ");
    const std::string before = Utf8ToCp932(plain).substr(0, 55);
    EXPECT_EQ(Utf8ToCp932(reply), before + Utf8ToCp932("　└ Re: 旅行"));
}

} // namespace
} // namespace kamo
