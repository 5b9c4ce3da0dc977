// Every wire format the exports write reads back, through the import's own decoders, as what was
// written: encoding then decoding gives back the input.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "mime/EncodedWords.h"
#include "mime/MailAddresses.h"
#include "mime/MailDates.h"
#include "mime/MimeHeaders.h"
#include "mime/TransferEncodings.h"

using namespace kamo;

namespace {

// Every byte value once, so no byte is special to an encoder.
std::string AllBytes() {
    std::string s;
    for (int b = 0; b < 256; ++b)
        s += static_cast<char>(b);
    return s;
}

std::string Repeated(const std::string& piece, int times) {
    std::string s;
    for (int i = 0; i < times; ++i)
        s += piece;
    return s;
}

// The longest line of a header or body, line ends not counted.
size_t LongestLine(const std::string& text) {
    size_t longest = 0;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        size_t length = end - start;
        if (length > 0 && text[end - 1] == '\r')
            --length;
        longest = std::max(longest, length);
        start = end + 1;
    }
    return longest;
}

const std::string kIso2022Jp = "\x1b$B;3ED\x1b(B san"; // 山田 san as it travels

} // namespace

TEST(RoundTrip, TransferEncodingsGiveBackEveryByte) {
    const std::string inputs[] = {"",
                                  "a",
                                  "ab",
                                  "abc",
                                  "Hello, world = 1 + 1_\r\n",
                                  "日本語のメール①髙",
                                  kIso2022Jp,
                                  AllBytes(),
                                  Repeated("長い本文の行です。", 40)};
    for (const auto& in : inputs) {
        EXPECT_EQ(DecodeBase64(EncodeBase64(in)), in);
        EXPECT_EQ(DecodeQEncoding(EncodeQEncoding(in)), in);
        for (const char* lineEnd : {"\r\n", "\n"}) {
            const std::string lines = Base64Lines(in, lineEnd);
            EXPECT_EQ(DecodeBase64(lines), in);
            EXPECT_LE(LongestLine(lines), 76u);
        }
    }
    // The Q form holds nothing that ends a word or a phrase.
    EXPECT_EQ(EncodeQEncoding(AllBytes()).find_first_of(" ?\"(),;<>@\\"), std::string::npos);
}

TEST(RoundTrip, EncodedWordsGiveBackTheTextAlsoFoldedInAHeader) {
    const std::string texts[] = {
        "",
        "Meeting on Monday",
        "お元気ですか？",
        "\"Yamada, Hanako\" <not an address> =?UTF-8?B?x?=",
        "a日本", // pieces whose length is no multiple of three go as Q words
        Repeated("ポストペットのモモが、メールを運んでくれました。", 6),
        Repeated("x", 200) + "①",
    };
    for (const auto& text : texts) {
        const std::string words = EncodedWords(text);
        EXPECT_EQ(DecodeEncodedWords(words), text) << words;
        std::string header;
        HeaderLine line(header, "Subject", "\r\n");
        line.Words(words);
        line.End();
        EXPECT_LE(LongestLine(header), kFoldAt) << header;
        EXPECT_EQ(DecodeEncodedWords(HeaderField(header, "Subject").value_or("?")), text) << header;
    }
    // Plain text folded at its blanks unfolds to the same text.
    const std::string plain = Repeated("plain words ", 20) + "end";
    ASSERT_TRUE(IsPlainText(plain, 60));
    std::string header;
    HeaderLine line(header, "Subject", "\n");
    line.Words(plain);
    line.End();
    EXPECT_GT(std::count(header.begin(), header.end(), '\n'), 1);
    EXPECT_EQ(HeaderField(header, "Subject"), plain);
}

TEST(RoundTrip, FileNameParametersGiveBackTheName) {
    const std::string names[] = {
        "memo.txt",
        "two words.txt",
        "a;b\"c\\d.txt",                              // would end or break a quoted value
        "写真①.jpg",                                  // UTF-8, percent-encoded
        Repeated("とても長いファイル名", 8) + ".pdf", // continued over several lines
        Repeated("long-ascii-name-", 6) + ".txt",
        "=?UTF-8?B?5pel5pys?=.txt", // text that only looks like an encoded word
    };
    for (const auto& name : names) {
        const std::string header = "Content-Disposition: attachment" + FileNameParameter(name, "\r\n") + "\r\n";
        EXPECT_LE(LongestLine(header), kFoldAt) << header;
        const auto value = HeaderField(header, "Content-Disposition");
        ASSERT_TRUE(value) << header;
        const FieldParams params = ParseFieldParams(*value);
        EXPECT_EQ(params.value, "attachment");
        ASSERT_TRUE(params.Find("filename")) << header;
        EXPECT_EQ(ParamText(*params.Find("filename")), name) << header;
    }
    EXPECT_EQ(FileNameParameter("", "\r\n"), "\r\n"); // no name, no parameter
}

TEST(RoundTrip, AddressListsGiveBackEveryMailbox) {
    const std::vector<std::vector<MailParty>> lists = {
        {{"", "taro@example.jp"}},
        {{"Yamada, Hanako", "hanako@example.jp"}, {"", "jiro@example.jp"}},
        {{"山田 花子", "yamada@example.jp"}, {"Sato (Kenichi) <boss>", "sato@example.jp"}},
        {{"a \"quoted\" back\\slash; b: c", "q@example.jp"}, {"かも", "kamo@example.jp"}},
        std::vector<MailParty>(12, {"ポストペット 太郎, 弓削", "postpe.taro+pp@so-net.example.ne.jp"}),
    };
    for (const auto& parties : lists) {
        std::string header;
        HeaderLine line(header, "Cc", "\r\n");
        for (size_t i = 0; i < parties.size(); ++i) {
            if (i > 0)
                line.Token(",", false);
            AppendMailbox(line, parties[i].name, parties[i].address);
        }
        line.End();
        EXPECT_LE(LongestLine(header), kFoldAt) << header;
        EXPECT_EQ(SplitAddressList(HeaderField(header, "Cc").value_or("")), parties) << header;
        const AddressName first = SplitAddress(HeaderField(header, "Cc").value_or(""));
        EXPECT_EQ(first.address, parties.front().address);
        EXPECT_EQ(first.name, parties.front().name.empty() ? std::string(kNoName) : parties.front().name);
    }
}

TEST(RoundTrip, DatesGiveBackTheClockTimeAndItsZone) {
    struct Case {
        const char* ymd;
        const char* hms;
        int zone;
    };
    const Case cases[] = {
        {"2001/09/04", "21:05:33", kJapanZoneMinutes},
        {"2000/02/29", "00:00:00", 0},
        {"1999/12/31", "23:59:59", -300},
        {"2002/01/01", "12:30:05", 330},
        {"1900/01/01", "01:02:03", -570},
        {"2049/06/15", "09:09:09", 840},
    };
    for (const auto& c : cases) {
        const std::string text = MessageDate(c.ymd, c.hms, c.zone);
        const MailDate date = ParseMailDate(text);
        EXPECT_TRUE(date.readable) << text;
        EXPECT_EQ(date.ymd, c.ymd) << text;
        EXPECT_EQ(date.hms, c.hms) << text;
        EXPECT_EQ(date.zoneMinutes, c.zone) << text;
    }
    // What cannot be a date goes as the 1970 stand-in, which reads back as that moment.
    const MailDate none = ParseMailDate(MessageDate("0000/00/00", "00:00:00"));
    EXPECT_EQ(none.ymd, "1970/01/01");
    EXPECT_EQ(none.zoneMinutes, 0);
}
