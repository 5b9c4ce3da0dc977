#include <gtest/gtest.h>

#include "common/CodePage.h"
#include "import/MailDecode.h"

using namespace kamo;

TEST(MailDecode, Cp932AndIso2022JpTextComeOutRight) {
    // Characters only CP932 has, from CP932 bytes (髙 in both of its CP932 spellings).
    EXPECT_EQ(DecodeMailText("\x81\x60\x87\x40\x87\x8a\xee\xe0\xfb\xfc"), "～①㈱髙髙");
    EXPECT_EQ(DecodeMailText("plain ascii"), "plain ascii");
    // ISO-2022-JP: 日本, then ① ㈱ (NEC row 13), 髙 (row 92) and ～ as Windows mailers send them.
    EXPECT_EQ(DecodeMailText("\x1b$BF|K\\\x1b(B"), "日本");
    EXPECT_EQ(DecodeMailText("a\x1b$B-!-j|b!A\x1b(Bz"), "a①㈱髙～z");
    // Half-width katakana by ESC ( I, and CP932 bytes beside an escape sequence stay CP932.
    EXPECT_EQ(DecodeMailText("\x1b(I12\x1b(B \x83\x7c"), "ｱｲ ポ");
    // Broken bytes never lose the rest of the text.
    const std::string broken = DecodeMailText(std::string("ok\x81\x1b$B\x01!", 8) + "\x1b(Btail");
    EXPECT_TRUE(IsValidUtf8(broken));
    EXPECT_EQ(broken.substr(0, 2), "ok");
    EXPECT_EQ(broken.substr(broken.size() - 4), "tail");
}

TEST(MailDecode, EncodedWords) {
    EXPECT_EQ(DecodeEncodedWords("=?ISO-2022-JP?B?GyRCRnxLXBsoQg==?="), "日本");
    EXPECT_EQ(DecodeEncodedWords("=?iso-2022-jp?b?GyRCRnxLXBsoQg?="), "日本"); // no padding, lower case
    EXPECT_EQ(DecodeEncodedWords("=?Shift_JIS?B?k/qWew==?="), "日本");
    EXPECT_EQ(DecodeEncodedWords("=?shift_jis?Q?=8E=52=93=63_san?="), "山田 san");
    EXPECT_EQ(DecodeEncodedWords("=?UTF-8?B?4pGg6auZ?="), "①髙");
    EXPECT_EQ(DecodeEncodedWords("=?utf-8?q?=E2=91=A0?="), "①");
    // Blanks between adjacent words go; other text stays as it is.
    EXPECT_EQ(DecodeEncodedWords("Re: =?UTF-8?B?4pGg?= \t =?UTF-8?B?6auZ?= end"), "Re: ①髙 end");
    // Malformed or unknown words are left alone.
    EXPECT_EQ(DecodeEncodedWords("=?x-unknown-set?B?AAAA?="), "=?x-unknown-set?B?AAAA?=");
    EXPECT_EQ(DecodeEncodedWords("price =?5"), "price =?5");
    EXPECT_EQ(DecodeEncodedWords("=?UTF-8?X?abc?="), "=?UTF-8?X?abc?=");
    // Bad UTF-8 inside a word still yields well-formed text.
    EXPECT_TRUE(IsValidUtf8(DecodeEncodedWords("=?UTF-8?Q?=FF=FEa?=")));
}

TEST(MailDecode, AddressAndNameSplit) {
    struct Case {
        const char* in;
        const char* address;
        const char* name;
    };
    const Case cases[] = {
        {"Taro Yamada <taro@example.jp>", "taro@example.jp", "Taro Yamada"},
        {"\"Yamada, Taro\" <taro@example.jp>", "taro@example.jp", "Yamada, Taro"},
        {"<taro@example.jp>", "taro@example.jp", kNoName},
        {"taro@example.jp (山田 太郎)", "taro@example.jp", "山田 太郎"},
        {"taro@example.jp", "taro@example.jp", kNoName},
        {"  taro@example.jp  ", "taro@example.jp", kNoName},
        {"山田 taro@example.jp", "taro@example.jp", "山田"},
        {"=?ISO-2022-JP?B?GyRCRnxLXBsoQg==?= <nihon@example.jp>", "nihon@example.jp", "日本"},
        {"\"=?UTF-8?B?4pGg6auZ?=\" <x@example.jp>", "x@example.jp", "①髙"},
        {"a@example.jp, b@example.jp", "a@example.jp", kNoName},
        {"'Hanako' <h@example.jp>", "h@example.jp", "Hanako"},
        {"モモ", "モモ", kNoName},
        {"", "", kNoName},
        {"Name <unclosed@example.jp", "unclosed@example.jp", "Name"},
    };
    for (const auto& c : cases) {
        const AddressName split = SplitAddress(c.in);
        EXPECT_EQ(split.address, c.address) << c.in;
        EXPECT_EQ(split.name, c.name) << c.in;
    }
}

TEST(MailDecode, Dates) {
    struct Case {
        const char* in;
        const char* ymd;
        const char* hms;
    };
    const Case cases[] = {
        {"Tue, 6 Mar 2001 21:05:09 +0900", "2001/03/06", "21:05:09"},
        {"Tue, 06 Mar 2001 21:05:09 +0900 (JST)", "2001/03/06", "21:05:09"},
        {"6 Mar 01 21:05", "2001/03/06", "21:05:00"},
        {"Sat, 31 Dec 99 23:59:59 JST", "1999/12/31", "23:59:59"},
        {"Thu, 1 feb 2001 7:05:09 -0500", "2001/02/01", "07:05:09"},
        {"Fri Mar  9 10:00:01 2001", "2001/03/09", "10:00:01"},
        {"1 January 2002 00:00:00 GMT", "2002/01/01", "00:00:00"},
        {"2001/03/06 21:05:09", "2001/03/06", "21:05:09"},
        {"6 Mar 101 21:05:09", "2001/03/06", "21:05:09"},
        {"6 Mar 2001", "2001/03/06", "00:00:00"},
    };
    for (const auto& c : cases) {
        const MailDate d = ParseMailDate(c.in);
        EXPECT_TRUE(d.readable) << c.in;
        EXPECT_EQ(d.ymd, c.ymd) << c.in;
        EXPECT_EQ(d.hms, c.hms) << c.in;
    }
    for (const char* bad : {"", "yesterday", "32 Mar 2001 10:00", "6 Foo 2001 10:00", "Mar 2001", "\xff\xfe"}) {
        const MailDate d = ParseMailDate(bad);
        EXPECT_FALSE(d.readable) << bad;
        EXPECT_EQ(d.ymd, kUnknownYmd);
        EXPECT_EQ(d.hms, kUnknownHms);
    }
}

TEST(MailDecode, RecordValuesGetBarsReplacedAndNoNameMarked) {
    TmpMail raw;
    raw.from = "sender@example.jp";
    raw.to = "\x8e\x52\x93\x63 <yamada@example.jp>"; // 山田 in CP932
    raw.subject = "a|b =?UTF-8?B?4pGg?=";
    raw.date = "Tue, 6 Mar 2001 21:05:09 +0900";
    raw.body = "x|y\r\n\x87\x40";
    const MailRecord mail = BuildMailRecord(raw, nullptr);
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
    EXPECT_EQ(BuildMailRecord(raw, nullptr).body, "日本｜");
}
