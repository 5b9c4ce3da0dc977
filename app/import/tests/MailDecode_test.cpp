#include <gtest/gtest.h>

#include "import/MailDecode.h"

using namespace kamo;

TEST(MailDecode, RecordValuesGetBarsReplacedAndNoNameMarked) {
    TmpMail raw;
    raw.from = "sender@example.jp";
    raw.to = "\x8e\x52\x93\x63 <yamada@example.jp>"; // 山田 in CP932
    raw.subject = "a|b =?UTF-8?B?4pGg?=";
    raw.date = "Tue, 6 Mar 2001 21:05:09 +0900";
    raw.body = "x|y\r\n\x87\x40";
    const MailRecord mail = DecodeMail(raw, nullptr).record;
    EXPECT_EQ(mail.sndAdd, "sender@example.jp");
    EXPECT_EQ(mail.sndName, "設定無し");
    EXPECT_EQ(mail.rcvName, "山田");
    EXPECT_EQ(mail.rcvAdd, "yamada@example.jp");
    EXPECT_EQ(mail.subject, "a｜b ①");
    EXPECT_EQ(mail.body, "x｜y\r\n①");
    EXPECT_EQ(mail.ymd, "2001/03/06");
    EXPECT_EQ(mail.hms, "21:05:09");
    // An ISO-2022-JP body with a bar in ASCII mode.
    raw.body = "\x1b$BF|K\\\x1b(B|";
    EXPECT_EQ(DecodeMail(raw, nullptr).record.body, "日本｜");
}
