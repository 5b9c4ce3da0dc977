#include <gtest/gtest.h>

#include <vector>

#include "import/TmpReader.h"
#include "testsupport/TestSupport.h"

using namespace kamo;

namespace {

// What the library writes for one mail: every LF of the block, the body's included, becomes CR LF.
std::string Block(const std::string& from, const std::string& subject, const std::string& body) {
    std::string text = "<Start>\nFrom " + from + "\nTo kamo@example.jp\nCc \nSubject " + subject +
                       "\nDate Tue, 6 Mar 2001 21:05:09 +0900\nMail\n" + body + "\n<End>\n";
    std::string expanded;
    for (char c : text) {
        if (c == '\n')
            expanded += '\r';
        expanded += c;
    }
    return expanded;
}

std::vector<TmpMail> ReadAll(const std::string& fileText, int64_t* incomplete = nullptr) {
    test::TempDir dir;
    test::WriteFile(dir / "KamoMail.Tmp", fileText);
    TmpReader reader(dir / "KamoMail.Tmp");
    EXPECT_TRUE(reader.IsOpen());
    std::vector<TmpMail> mails;
    TmpMail m;
    while (reader.Next(m))
        mails.push_back(m);
    if (incomplete)
        *incomplete = reader.Incomplete();
    return mails;
}

} // namespace

TEST(TmpReader, BodyLineBreaksComeBackAsStored) {
    // CR LF stored -> CR CR LF in the file -> CR LF; a lone LF -> CR LF; an inner lone CR stays.
    const auto mails = ReadAll(Block("a@x.jp", "s1", "line1\r\nline2\nline3\rstill3\r\n\r\nlast") +
                               Block("b@x.jp", "s2", "ends with break\r\n") + Block("c@x.jp", "", ""));
    ASSERT_EQ(mails.size(), 3u);
    EXPECT_EQ(mails[0].body, "line1\r\nline2\r\nline3\rstill3\r\n\r\nlast");
    EXPECT_EQ(mails[1].body, "ends with break\r\n");
    EXPECT_EQ(mails[2].body, "");
    EXPECT_EQ(mails[0].from, "a@x.jp");
    EXPECT_EQ(mails[0].to, "kamo@example.jp");
    EXPECT_EQ(mails[0].subject, "s1");
    EXPECT_EQ(mails[0].date, "Tue, 6 Mar 2001 21:05:09 +0900");
    EXPECT_EQ(mails[2].subject, "");
}

TEST(TmpReader, HeaderWordsAreExactAndBodyKeepsLookalikeLines) {
    // Body lines that look like header words or like "<End>" belong to the body.
    const auto mails =
        ReadAll(Block("a@x.jp", "s", "From me\nSubject x\n<End>\n<Start>x\nend") + Block("b@x.jp", "t", "<End>"));
    ASSERT_EQ(mails.size(), 2u);
    EXPECT_EQ(mails[0].body, "From me\r\nSubject x\r\n<End>\r\n<Start>x\r\nend");
    EXPECT_EQ(mails[0].subject, "s");
    EXPECT_EQ(mails[1].body, "<End>");
    // "Fromage" is not "From"; "Cc" is not kept.
    const auto other = ReadAll("<Start>\r\nFromage x\r\nFrom real@x.jp\r\nCc c@x.jp\r\nMail\r\nb\r\n<End>\r\n");
    ASSERT_EQ(other.size(), 1u);
    EXPECT_EQ(other[0].from, "real@x.jp");
    EXPECT_EQ(other[0].body, "b");
}

TEST(TmpReader, MissingEmptyAndCutFiles) {
    test::TempDir dir;
    EXPECT_FALSE(TmpReader(dir / "none.Tmp").IsOpen());
    EXPECT_TRUE(ReadAll("").empty());
    // A file cut inside the second block gives the first block only and counts the cut one.
    const std::string whole = Block("a@x.jp", "s", "one") + Block("b@x.jp", "t", "two");
    int64_t incomplete = 0;
    const auto mails = ReadAll(whole.substr(0, whole.size() - 12), &incomplete);
    ASSERT_EQ(mails.size(), 1u);
    EXPECT_EQ(mails[0].body, "one");
    EXPECT_EQ(incomplete, 1);
    // Every prefix of a two-block file reads cleanly: never more than two mails, never a crash.
    for (std::size_t n = 0; n <= whole.size(); ++n) {
        const auto part = ReadAll(whole.substr(0, n));
        EXPECT_LE(part.size(), 2u);
        if (!part.empty()) {
            EXPECT_EQ(part[0].body, "one");
        }
    }
}

TEST(TmpReader, LongBodiesAndManyMailsStream) {
    std::string body(200000, 'x');
    body += "\r\n";
    body += std::string(100000, 'y');
    std::string text;
    for (int i = 0; i < 50; ++i)
        text += Block("a" + std::to_string(i) + "@x.jp", "s", body);
    const auto mails = ReadAll(text);
    ASSERT_EQ(mails.size(), 50u);
    EXPECT_EQ(mails[49].body, body);
    EXPECT_EQ(mails[49].from, "a49@x.jp");
}
