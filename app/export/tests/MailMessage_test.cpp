// The pieces of a message that a reader cannot show us: the date rule, the identity of a mail
// across exports, the encoded words and mbox's quoting.
#include <gtest/gtest.h>

#include "common/AsciiText.h"
#include "export/MailExport.h"
#include "export/MailMessage.h"
#include "export/tests/GMimeReader.h"
#include "mime/EncodedWords.h"
#include "mime/MailAddresses.h"
#include "testsupport/TestSupport.h"

#include <algorithm>
#include <random>

using namespace kamo;

TEST(MailMessage, DatesCarryTheJapaneseZoneTheMboxLineUtcAndAnUnreadableDateIs1970) {
    struct Case {
        const char* ymd;
        const char* hms;
        const char* date;
        const char* fromLineTime; // UTC: nine hours before the clock time in Japan
    };
    const Case cases[] = {
        {"2001/09/04", "21:05:33", "Tue, 04 Sep 2001 21:05:33 +0900", "Tue Sep  4 12:05:33 2001"},
        {"1999/12/31", "23:59:59", "Fri, 31 Dec 1999 23:59:59 +0900", "Fri Dec 31 14:59:59 1999"},
        {"2000/03/01", "08:00:00", "Wed, 01 Mar 2000 08:00:00 +0900", "Tue Feb 29 23:00:00 2000"},
        {"2001/01/01", "00:00:00", "Mon, 01 Jan 2001 00:00:00 +0900", "Sun Dec 31 15:00:00 2000"},
        // A leap second as stored: readers take ":60" for no date, so it goes as the second before.
        {"2005/12/31", "23:59:60", "Sat, 31 Dec 2005 23:59:59 +0900", "Sat Dec 31 14:59:59 2005"},
        {"1965/03/01", "12:00:00", "Mon, 01 Mar 1965 12:00:00 +0900", "Mon Mar  1 03:00:00 1965"},
        {"0000/00/00", "00:00:00", "Thu, 01 Jan 1970 00:00:00 +0000", "Thu Jan  1 00:00:00 1970"},
        {"2001/02/30", "12:00:00", "Thu, 01 Jan 1970 00:00:00 +0000", "Thu Jan  1 00:00:00 1970"},
        {"2001/09/04", "25:00:00", "Thu, 01 Jan 1970 00:00:00 +0000", "Thu Jan  1 00:00:00 1970"},
        {"2001/09/04", "23:59:61", "Thu, 01 Jan 1970 00:00:00 +0000", "Thu Jan  1 00:00:00 1970"},
        {"20010904", "210533", "Thu, 01 Jan 1970 00:00:00 +0000", "Thu Jan  1 00:00:00 1970"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(MessageDate(c.ymd, c.hms), c.date) << c.ymd << " " << c.hms;
        MailRecord m;
        m.ymd = c.ymd;
        m.hms = c.hms;
        m.sndAdd = "a@example.jp";
        EXPECT_EQ(MboxFromLine(m), std::string("From a@example.jp ") + c.fromLineTime);
        // GMime reads the message's Date as written (a leap second would come back as no date);
        // it takes no date before 1970, so that one is compared as text.
        const test::ParsedMail got = test::ParseBytes(MailMessageText(m, {}, "\r\n"));
        if (std::string(c.ymd) < "1970")
            EXPECT_EQ(got.dateText, c.date);
        else
            EXPECT_EQ(got.ymd + " " + got.hms + " " + std::to_string(got.zoneSeconds),
                      std::string(c.date).substr(5, 11) == "01 Jan 1970"
                          ? "1970/01/01 00:00:00 0"
                          : std::string(c.ymd) + " " + std::string(c.date).substr(17, 8) + " 32400")
                << c.ymd << " " << c.hms;
    }
    EXPECT_EQ(MailTime("2001/09/04", "21:05:33"), std::optional<std::time_t>(999605133)); // 12:05:33 UTC
    EXPECT_EQ(MailTime("2005/12/31", "23:59:60"), MailTime("2005/12/31", "23:59:59"));
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
        // The placeholder for no name is no name; a receiver without a plain address is undisclosed,
        // its stored text kept beside.
        auto shown = [](const std::string& n) { return n == kNoName ? std::string() : n; };
        ASSERT_EQ(got.from.name, shown(m.sndName));
        ASSERT_EQ(got.to.name, i % 5 ? shown(m.rcvName) : "undisclosed-recipients");
        ASSERT_EQ(got.keptTo, i % 5 ? "" : shown(m.rcvName).empty() ? "b example" : m.rcvName + " <b example>");
        ASSERT_EQ(got.body, m.body);
    }
}

namespace {

// Every line of a message: none past 998 octets (RFC 5322's must), and the longest one.
size_t LongestLine(const std::string& text) {
    size_t longest = 0;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        end = end == std::string::npos ? text.size() : end;
        size_t length = end - start;
        if (length > 0 && text[end - 1] == '\r')
            --length;
        longest = std::max(longest, length);
        start = end + 1;
    }
    return longest;
}

// The header fields named `name` as written, unfolded.
std::vector<std::string> HeaderLines(const std::string& text, const std::string& name) {
    std::vector<std::string> found;
    const std::string head = text.substr(0, text.find("\r\n\r\n"));
    size_t start = 0;
    while (start < head.size()) {
        size_t end = head.find("\r\n", start);
        while (end != std::string::npos && end + 2 < head.size() && (head[end + 2] == ' ' || head[end + 2] == '\t'))
            end = head.find("\r\n", end + 2);
        end = end == std::string::npos ? head.size() : end;
        std::string field = head.substr(start, end - start);
        for (size_t fold; (fold = field.find("\r\n")) != std::string::npos;)
            field.erase(fold, 2);
        if (field.rfind(name + ":", 0) == 0)
            found.push_back(field);
        start = end + 2;
    }
    return found;
}

bool IsUtf8(const std::string& s) {
    for (size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        const size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        if (n == 0 || i + n > s.size())
            return false;
        for (size_t k = 1; k < n; ++k)
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80)
                return false;
        i += n;
    }
    return true;
}

// Every RFC 2231 piece (filename*N*=...) of the message percent-decodes to whole UTF-8 characters:
// readers decode each piece on its own.
void ExpectRfc2231Pieces(const std::string& text) {
    int pieces = 0;
    for (size_t at = text.find("filename*"); at != std::string::npos; at = text.find("filename*", at + 1)) {
        const size_t eq = text.find('=', at);
        size_t end = text.find_first_of(";\r\n", eq);
        std::string value = text.substr(eq + 1, end - eq - 1);
        if (value.rfind("UTF-8''", 0) == 0)
            value.erase(0, 7);
        std::string bytes;
        for (size_t i = 0; i < value.size(); ++i) {
            if (value[i] == '%' && i + 2 < value.size()) {
                bytes += static_cast<char>(std::stoi(value.substr(i + 1, 2), nullptr, 16));
                i += 2;
            } else {
                bytes += value[i];
            }
        }
        EXPECT_TRUE(IsUtf8(bytes)) << text.substr(at, end - at);
        ++pieces;
    }
    EXPECT_GT(pieces, 4);
}

MailRecord PartyMail(const std::string& name, const std::string& address) {
    return test::MailBuilder()
        .Date("2001/09/04", "21:05:33")
        .From(name, address)
        .To(name, address)
        .Subject("件名")
        .Body("本文\r\n")
        .Build();
}

} // namespace

TEST(MailMessage, EveryPartyIsAValidMailboxAndThePlaceholderIsNeverAName) {
    const std::string longAddress = std::string(1100, 'a') + "@example.jp";
    struct Case {
        std::string name, address;
        std::string fromName, fromAddress; // as GMime reads From
        bool undisclosed;                  // To is the empty group undisclosed-recipients
        std::string kept;                  // X-KamoMail-From and -To
    };
    const Case cases[] = {
        {kNoName, "nobody@example.jp", "", "nobody@example.jp", false, ""},
        {"山田 花子", "hanako@example.jp", "山田 花子", "hanako@example.jp", false, ""},
        {kNoName, "", "", kNoAddress, true, ""},
        {"差出人", "", "差出人", kNoAddress, true, "差出人"},
        {"送り主", "not an address", "送り主", kNoAddress, true, "送り主 <not an address>"},
        {kNoName, "山田@example.jp", "山田@example.jp", kNoAddress, true, "山田@example.jp"},
        {"Long", longAddress, "Long", kNoAddress, true, "Long <" + longAddress + ">"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name + " / " + c.address.substr(0, 40));
        const std::string text = MailMessageText(PartyMail(c.name, c.address), {}, "\r\n");
        const test::ParsedMail got = test::ParseBytes(text);
        EXPECT_FALSE(got.from.group);
        EXPECT_EQ(got.from.name, c.fromName);
        EXPECT_EQ(got.from.address, c.fromAddress);
        EXPECT_EQ(got.to.group, c.undisclosed);
        EXPECT_EQ(got.to.name, c.undisclosed ? "undisclosed-recipients" : c.fromName);
        EXPECT_EQ(got.keptFrom, c.kept);
        EXPECT_EQ(got.keptTo, c.kept);
        // From is one mailbox, never a group; an address-less receiver is the plain empty group.
        const auto from = HeaderLines(text, "From");
        ASSERT_EQ(from.size(), 1u);
        EXPECT_EQ(from[0].find(":;"), std::string::npos) << from[0];
        if (c.undisclosed) {
            EXPECT_EQ(HeaderLines(text, "To"), std::vector<std::string>{"To: undisclosed-recipients:;"});
        }
        EXPECT_LE(LongestLine(text), 78u);
    }
}

TEST(MailMessage, EveryLineFitsAndRfc2231PiecesHoldWholeCharacters) {
    // A one-word subject that plain would pass 78 characters with "Subject: " before it.
    MailRecord m = PartyMail("Taro", "taro@example.jp");
    for (const std::string& subject : {std::string(69, 'x'), std::string(70, 'y'), std::string(300, 'z'),
                                       std::string("Re: ") + std::string(75, 'w') + " end"}) {
        m.subject = subject;
        const std::string text = MailMessageText(m, {}, "\r\n");
        EXPECT_LE(LongestLine(text), 78u) << subject;
        EXPECT_EQ(test::ParseBytes(text).subject, subject);
    }
    // File names of one-, two-, three- and four-byte characters, long enough to be continued.
    std::vector<MailAttachment> attachments;
    for (const char* piece : {"a", "é", "写", "😀", "aé写😀"}) {
        std::string name;
        while (name.size() < 200)
            name += piece;
        attachments.push_back({name + ".txt", "application/octet-stream", "x"});
    }
    const std::string text = MailMessageText(m, attachments, "\r\n");
    EXPECT_LE(LongestLine(text), 78u);
    ExpectRfc2231Pieces(text);
    const test::ParsedMail got = test::ParseBytes(text);
    ASSERT_EQ(got.attachments.size(), attachments.size());
    for (size_t i = 0; i < attachments.size(); ++i)
        EXPECT_EQ(got.attachments[i].fileName, attachments[i].fileName);
}

TEST(MailMessage, AnUnnamedAttachmentHasNoFileNameAndATextKeepsItsCharset) {
    MailRecord m = PartyMail("Taro", "taro@example.jp");
    const std::string sjis = "\x93\xfa\x96\x7b\x8c\xea\r\n"; // 日本語 in Shift_JIS
    const std::vector<MailAttachment> attachments = {
        {"", "application/octet-stream", "no name"},
        {"memo.txt", "text/plain; charset=shift_jis", sjis},
        {"old.txt", "text/plain", "kept before charsets were"},
        {"bad.txt", "text/plain; charset=x\r\nX-Injected: 1", "refused"},
    };
    const std::string text = MailMessageText(m, attachments, "\r\n");
    EXPECT_EQ(text.find("filename*=UTF-8''\r\n"), std::string::npos);
    EXPECT_EQ(text.find("X-Injected"), std::string::npos);
    const test::ParsedMail got = test::ParseBytes(text);
    ASSERT_EQ(got.attachments.size(), 4u);
    EXPECT_FALSE(got.attachments[0].named);
    EXPECT_EQ(got.attachments[0].data, "no name");
    EXPECT_EQ(got.attachments[1].contentType, "text/plain");
    EXPECT_EQ(got.attachments[1].charset, "shift_jis");
    EXPECT_EQ(got.attachments[1].data, sjis);
    EXPECT_EQ(got.attachments[2].charset, "");
    EXPECT_EQ(got.attachments[3].contentType, "application/octet-stream");
}
