// The pieces of a message that a reader cannot show us: the date rule, the identity of a mail
// across exports, the encoded words and mbox's quoting.
#include <gtest/gtest.h>

#include "common/AsciiText.h"
#include "export/MailExport.h"
#include "export/MailMessage.h"
#include "export/tests/GMimeReader.h"

#include <random>

using namespace kamo;

TEST(MailMessage, DatesCarryTheJapaneseZoneAndAnUnreadableDateIs1970) {
    struct Case {
        const char* ymd;
        const char* hms;
        const char* date;
        const char* fromLineTime;
    };
    const Case cases[] = {
        {"2001/09/04", "21:05:33", "Tue, 04 Sep 2001 21:05:33 +0900", "Tue Sep  4 21:05:33 2001"},
        {"1999/12/31", "23:59:59", "Fri, 31 Dec 1999 23:59:59 +0900", "Fri Dec 31 23:59:59 1999"},
        {"2000/02/29", "00:00:00", "Tue, 29 Feb 2000 00:00:00 +0900", "Tue Feb 29 00:00:00 2000"},
        {"0000/00/00", "00:00:00", "Thu, 01 Jan 1970 00:00:00 +0000", "Thu Jan  1 00:00:00 1970"},
        {"2001/02/30", "12:00:00", "Thu, 01 Jan 1970 00:00:00 +0000", "Thu Jan  1 00:00:00 1970"},
        {"2001/09/04", "25:00:00", "Thu, 01 Jan 1970 00:00:00 +0000", "Thu Jan  1 00:00:00 1970"},
        {"20010904", "210533", "Thu, 01 Jan 1970 00:00:00 +0000", "Thu Jan  1 00:00:00 1970"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(MessageDate(c.ymd, c.hms), c.date) << c.ymd << " " << c.hms;
        MailRecord m;
        m.ymd = c.ymd;
        m.hms = c.hms;
        m.sndAdd = "a@example.jp";
        EXPECT_EQ(MboxFromLine(m), std::string("From a@example.jp ") + c.fromLineTime);
    }
    EXPECT_EQ(MailTime("2001/09/04", "21:05:33"), std::optional<std::time_t>(999605133)); // 12:05:33 UTC
    EXPECT_FALSE(MailTime("0000/00/00", "00:00:00"));
}

TEST(MailMessage, TheMessageIdFollowsTheMailsKeyAndNothingElse) {
    MailRecord a;
    a.ymd = "2001/09/04";
    a.hms = "21:05:33";
    a.subKey = 2;
    a.sndAdd = "Hanako@Example.JP";
    a.rcvAdd = "kamo@example.jp";
    a.subject = "件名";
    MailRecord same = a;
    same.sndAdd = "hanako@example.jp"; // the archive's key ignores letter case
    same.subject = "別の件名";
    same.body = "本文";
    EXPECT_EQ(MessageId(a), MessageId(same));
    EXPECT_EQ(MessageId(a).rfind("<20010904210533.2.r.", 0), 0u) << MessageId(a);
    for (auto change : {+[](MailRecord& m) { m.subKey = 3; }, +[](MailRecord& m) { m.sent = true; },
                        +[](MailRecord& m) { m.hms = "21:05:34"; }, +[](MailRecord& m) { m.rcvAdd = "x@y"; }}) {
        MailRecord other = a;
        change(other);
        EXPECT_NE(MessageId(other), MessageId(a));
    }
}

TEST(MailMessage, EncodedWordsAreShortAndHoldWholeCharacters) {
    const std::string text = "①㈱髙～ソ表能ポ弓－ とても長い件名 ABC ｶﾞｲﾄﾞ 😀 end";
    const std::string words = EncodedWords(text);
    size_t start = 0;
    std::string joined;
    while (start < words.size()) {
        size_t end = words.find(' ', start);
        end = end == std::string::npos ? words.size() : end;
        const std::string word = words.substr(start, end - start);
        EXPECT_LE(word.size(), 60u);
        EXPECT_EQ(word.rfind("=?UTF-8?B?", 0), 0u);
        start = end + 1;
    }
    EXPECT_TRUE(EncodedWords("").empty());
    EXPECT_TRUE(IsPlainAddress("hanako.y+pp@so-net.example.ne.jp"));
    for (const char* odd : {"", "no at sign", "a@b@c", "@example.jp", "hanako@", "山田@example.jp", "a b@c"})
        EXPECT_FALSE(IsPlainAddress(odd)) << odd;
}

TEST(MailMessage, MboxQuotingMarksEveryFromLineOnceMore) {
    struct Case {
        const char* message;
        const char* quoted;
    };
    const Case cases[] = {
        {"From me\n", ">From me\n"},
        {"a\nFrom me\n>From you\n>>From them\n", "a\n>From me\n>>From you\n>>>From them\n"},
        {"From\nFromage\n From x\nfrom y\n", "From\nFromage\n From x\nfrom y\n"},
        {"x\n>From last", "x\n>>From last"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(MboxQuoted(c.message), c.quoted) << c.message;
}

TEST(MailMessage, AnyNameAndSubjectComesBackFromAnotherReaderExactly) {
    const std::vector<std::string> pieces = {
        "a", "Z",  "0",  " ", "  ", "_",  "?",  "=", "=?", "?=", "\"", "\\", "'",     ",",  "<",
        "@", "ア", "ｶﾞ", "①", "髙", "～", "－", "😀", "é",  "ß",  "｜", "’",  "From ", "\t", ";"};
    std::mt19937_64 rng(5);
    auto randomText = [&](size_t maxPieces) {
        std::string s;
        for (size_t n = 1 + rng() % maxPieces; n > 0; --n)
            s += pieces[rng() % pieces.size()];
        return s;
    };
    for (int i = 0; i < 400; ++i) {
        MailRecord m;
        m.ymd = "2001/09/04";
        m.hms = "21:05:33";
        // Names are stored trimmed and never empty (readers trim a display name's ends anyway).
        auto name = [&](size_t maxPieces) {
            const std::string s(TrimAscii(randomText(maxPieces), kAsciiWhitespace));
            return s.empty() ? std::string("設定無し") : s;
        };
        m.sndName = name(12);
        m.sndAdd = "a@example.jp";
        m.rcvName = name(4);
        m.rcvAdd = i % 5 ? "b@example.jp" : "b example";
        m.subject = randomText(60);
        m.body = randomText(30);
        const test::ParsedMail got = test::ParseBytes(MailMessageText(m, {}, "\r\n"));
        ASSERT_EQ(got.subject, m.subject);
        ASSERT_EQ(got.from.name, m.sndName);
        ASSERT_EQ(got.to.name, i % 5 ? m.rcvName : m.rcvName + " <b example>");
        ASSERT_EQ(got.body, m.body);
    }
}
