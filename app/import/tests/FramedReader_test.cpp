// The framed file read back: fields as written, bodies reshaped, damage passed on, and a file that
// is missing, foreign, cut anywhere or lying about a length stops cleanly with what came before.
#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "import/FramedReader.h"
#include "testsupport/TestSupport.h"

using namespace kamo;

namespace {

void PutU(std::string& out, uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out += static_cast<char>((v >> (8 * i)) & 0xFF);
}

struct Fields {
    std::string from, to, cc, subject, date, header, body;
};

void PutMail(std::string& out, uint64_t position, const Fields& f) {
    out += 'M';
    PutU(out, position, 8);
    for (const std::string* field : {&f.from, &f.to, &f.cc, &f.subject, &f.date, &f.header, &f.body}) {
        PutU(out, field->size(), 4);
        out += *field;
    }
}

void PutDamage(std::string& out, uint64_t position, uint64_t length) {
    out += 'D';
    PutU(out, position, 8);
    PutU(out, length, 8);
}

struct ReadBack {
    bool open = false;
    bool broken = false;
    std::vector<FramedEntry> entries;
};

ReadBack ReadAll(const std::string& bytes) {
    test::TempDir dir;
    test::WriteFile(dir / "KamoMail.Tmp", bytes);
    FramedReader reader(dir / "KamoMail.Tmp");
    ReadBack r;
    r.open = reader.IsOpen();
    FramedEntry e;
    while (reader.Next(e))
        r.entries.push_back(e);
    EXPECT_FALSE(reader.Next(e)); // the end stays the end
    r.broken = reader.Broken();
    return r;
}

Fields Sample(const std::string& subject, const std::string& body) {
    return {"a@x.jp",
            "kamo@example.jp",
            "c@x.jp",
            subject,
            "Tue, 6 Mar 2001 21:05:09 +0900",
            "From: a@x.jp\r\nSubject: " + subject + "\r\n",
            body};
}

} // namespace

TEST(FramedReader, MailAndDamageComeBackAsWritten) {
    std::string file = "KMF1";
    PutMail(file, 0, Sample("s1", "line1\r\nline2\nline3\rstill3\r\n\r\nlast"));
    PutDamage(file, 120, 77);
    PutMail(file, 197, Sample("", "ends with break\r\n"));
    PutMail(file, 300, Sample("s3", "stored CR LF\r\r\nand nothing"));
    PutMail(file, 400, Sample("s4", ""));
    const ReadBack r = ReadAll(file);
    ASSERT_TRUE(r.open);
    EXPECT_FALSE(r.broken);
    ASSERT_EQ(r.entries.size(), 5u);

    const TmpMail& first = r.entries[0].mail;
    EXPECT_FALSE(r.entries[0].damaged);
    EXPECT_EQ(r.entries[0].position, 0u);
    EXPECT_EQ(first.from, "a@x.jp");
    EXPECT_EQ(first.to, "kamo@example.jp");
    EXPECT_EQ(first.subject, "s1");
    EXPECT_EQ(first.date, "Tue, 6 Mar 2001 21:05:09 +0900");
    EXPECT_EQ(first.header, "From: a@x.jp\r\nSubject: s1\r\n");
    // The body byte for byte beside the reshaped one: each line loses one CR before its LF, a
    // lone LF becomes CR LF, an inner lone CR stays.
    EXPECT_EQ(first.rawBody, "line1\r\nline2\nline3\rstill3\r\n\r\nlast");
    EXPECT_EQ(first.body, "line1\r\nline2\r\nline3\rstill3\r\n\r\nlast");

    EXPECT_TRUE(r.entries[1].damaged);
    EXPECT_EQ(r.entries[1].position, 120u);
    EXPECT_EQ(r.entries[1].length, 77u);
    EXPECT_EQ(r.entries[1].mail.subject, ""); // nothing left over from the mail before

    EXPECT_EQ(r.entries[2].position, 197u);
    EXPECT_EQ(r.entries[2].mail.subject, "");
    EXPECT_EQ(r.entries[2].mail.body, "ends with break\r\n");
    EXPECT_EQ(r.entries[3].mail.body, "stored CR LF\r\r\nand nothing");
    EXPECT_EQ(r.entries[4].mail.body, "");
    EXPECT_EQ(r.entries[4].mail.rawBody, "");
}

TEST(FramedReader, FilesThatAreNotFramedDoNotOpen) {
    test::TempDir dir;
    EXPECT_FALSE(FramedReader(dir / "none.Tmp").IsOpen());
    EXPECT_FALSE(FramedReader(dir.path()).IsOpen()); // a folder
    EXPECT_FALSE(ReadAll("").open);
    EXPECT_FALSE(ReadAll("KMF").open);
    EXPECT_FALSE(ReadAll("KMF2").open);
    EXPECT_FALSE(ReadAll("<Start>\r\nFrom a@x.jp\r\n").open); // the old text form
    const ReadBack onlyMagic = ReadAll("KMF1");
    EXPECT_TRUE(onlyMagic.open);
    EXPECT_FALSE(onlyMagic.broken);
    EXPECT_TRUE(onlyMagic.entries.empty());
}

TEST(FramedReader, EveryPrefixStopsCleanlyWithTheEntriesBeforeTheCut) {
    std::string whole = "KMF1";
    std::set<size_t> boundaries{whole.size()};
    PutMail(whole, 0, Sample("one", "first\r\n"));
    boundaries.insert(whole.size());
    PutDamage(whole, 90, 10);
    boundaries.insert(whole.size());
    PutMail(whole, 100, Sample("two", "second"));
    boundaries.insert(whole.size());
    const ReadBack all = ReadAll(whole);
    ASSERT_EQ(all.entries.size(), 3u);

    for (size_t n = 4; n <= whole.size(); ++n) {
        SCOPED_TRACE(n);
        const ReadBack part = ReadAll(whole.substr(0, n));
        ASSERT_TRUE(part.open);
        // Broken exactly when the cut falls inside an entry; what came before it is whole.
        EXPECT_EQ(part.broken, boundaries.count(n) == 0);
        const size_t complete = static_cast<size_t>(std::distance(boundaries.begin(), boundaries.upper_bound(n))) - 1;
        ASSERT_EQ(part.entries.size(), complete);
        for (size_t i = 0; i < complete; ++i) {
            EXPECT_EQ(part.entries[i].damaged, all.entries[i].damaged);
            EXPECT_EQ(part.entries[i].position, all.entries[i].position);
            EXPECT_EQ(part.entries[i].mail.body, all.entries[i].mail.body);
        }
    }
}

TEST(FramedReader, BadKindsAndOversizedLengthsBreakOffAfterTheGoodEntries) {
    std::string good = "KMF1";
    PutMail(good, 0, Sample("good", "body"));

    std::string badKind = good + "X";
    PutU(badKind, 5, 8);
    // A field claiming 4 GiB in a file of a few bytes.
    std::string hugeField = good + "M";
    PutU(hugeField, 100, 8);
    PutU(hugeField, 0xFFFFFFFFu, 4);
    hugeField += "abc";
    // A length that fits the file but runs into the next fields leaves too little for the rest.
    std::string overlong = good + "M";
    PutU(overlong, 100, 8);
    PutU(overlong, 6, 4);
    overlong += "a@x.jp";
    PutU(overlong, 50, 4);
    overlong += std::string(20, 'z');

    for (const std::string* file : {&badKind, &hugeField, &overlong}) {
        const ReadBack r = ReadAll(*file);
        ASSERT_TRUE(r.open);
        EXPECT_TRUE(r.broken);
        ASSERT_EQ(r.entries.size(), 1u);
        EXPECT_EQ(r.entries[0].mail.subject, "good");
        EXPECT_EQ(r.entries[0].mail.body, "body");
    }
}
