// Decoding on a second thread gives what decoding one entry after the other gives, in order, for
// mail, damage, huge bodies and a file that breaks off; dropping it half-way neither hangs nor leaks.
#include <gtest/gtest.h>

#include <fstream>

#include "import/DecodeAhead.h"
#include "testsupport/TestSupport.h"

using namespace kamo;

namespace {

void PutU(std::string& out, uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out += static_cast<char>((v >> (8 * i)) & 0xFF);
}

void PutMail(std::string& out, uint64_t position, const std::string& subject, const std::string& body) {
    out += 'M';
    PutU(out, position, 8);
    const std::string header = "From: a@example.jp\r\nSubject: " + subject + "\r\n";
    for (const std::string& field : {std::string("a@example.jp"), std::string("b@example.jp"), std::string(), subject,
                                     std::string("Tue, 04 Sep 2001 21:05:33 +0900"), header, body}) {
        PutU(out, field.size(), 4);
        out += field;
    }
}

void PutDamage(std::string& out, uint64_t position, uint64_t length) {
    out += 'D';
    PutU(out, position, 8);
    PutU(out, length, 8);
}

// What the reader and the decoder give one entry after the other: the reference.
std::vector<DecodedEntry> OneByOne(const std::filesystem::path& file) {
    FramedReader reader(file);
    std::vector<DecodedEntry> all;
    DecodedEntry e;
    while (reader.Next(e.entry)) {
        e.decoded = e.entry.damaged ? DecodedMail{} : DecodeMail(e.entry.mail, nullptr);
        all.push_back(std::move(e));
        e = {};
    }
    return all;
}

} // namespace

TEST(DecodeAhead, GivesTheSameEntriesInTheSameOrder) {
    test::TempDir dir;
    std::string whole = "KMF1";
    std::string huge(3 << 20, 'x'); // several of these exceed what may wait at once
    for (int i = 0; i < 600; ++i) {
        if (i % 97 == 5)
            PutDamage(whole, static_cast<uint64_t>(i) * 100, 100);
        else
            PutMail(whole, static_cast<uint64_t>(i) * 100, "件名 " + std::to_string(i),
                    i % 50 == 7 ? huge : "本文 " + std::to_string(i) + "\r\n");
    }
    struct Case {
        const char* what;
        size_t cutAt; // bytes of the file kept; npos: all
        bool broken;
    };
    const Case cases[] = {
        {"whole file", std::string::npos, false},
        {"breaks off inside a mail", whole.size() - 3, true},
        {"only the magic", 4, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const auto file = dir / "KamoMail.Tmp";
        test::WriteFile(file, whole.substr(0, c.cutAt));
        const std::vector<DecodedEntry> expected = OneByOne(file);
        FramedReader reader(file);
        ASSERT_TRUE(reader.IsOpen());
        DecodeAhead ahead(reader, nullptr);
        DecodedEntry got;
        size_t n = 0;
        while (ahead.Next(got)) {
            ASSERT_LT(n, expected.size());
            const DecodedEntry& want = expected[n++];
            EXPECT_EQ(got.entry.damaged, want.entry.damaged);
            EXPECT_EQ(got.entry.position, want.entry.position);
            EXPECT_EQ(got.entry.mail.body, want.entry.mail.body);
            EXPECT_EQ(got.decoded.record.subject, want.decoded.record.subject);
            EXPECT_EQ(got.decoded.record.body, want.decoded.record.body);
            EXPECT_EQ(got.decoded.record.ymd, want.decoded.record.ymd);
        }
        EXPECT_EQ(n, expected.size());
        EXPECT_FALSE(ahead.Next(got)); // and stays at the end
        EXPECT_EQ(reader.Broken(), c.broken);
    }
}

TEST(DecodeAhead, LettingGoHalfWayStopsTheThread) {
    test::TempDir dir;
    std::string whole = "KMF1";
    for (int i = 0; i < 5000; ++i)
        PutMail(whole, static_cast<uint64_t>(i), "s" + std::to_string(i), "b\r\n");
    test::WriteFile(dir / "KamoMail.Tmp", whole);
    for (int taken : {0, 1, 200}) {
        FramedReader reader(dir / "KamoMail.Tmp");
        DecodeAhead ahead(reader, nullptr);
        DecodedEntry got;
        for (int i = 0; i < taken; ++i) {
            ASSERT_TRUE(ahead.Next(got));
            EXPECT_EQ(got.decoded.record.subject, "s" + std::to_string(i));
        }
    } // the destructor returns: the thread waiting to hand on an entry was stopped
}
