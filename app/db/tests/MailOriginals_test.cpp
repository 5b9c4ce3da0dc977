#include "db/MailOriginals.h"

#include <gtest/gtest.h>
#include <zstd.h>

#include <map>

#include "db/Schema.h"
#include "db/tests/ArchiveFiles.h"

namespace kamo {
namespace {

MailOriginal Sample(const std::string& subject) {
    MailOriginal o;
    o.from = "\x89\xd4\x8e\x71 <hanako@example.jp>"; // CP932 bytes, never decoded here
    o.to = "taro@example.jp";
    o.cc = "";
    o.subject = subject;
    o.date = "Tue, 03 Apr 2001 04:40:20 -0500";
    o.header = "Message-ID: <a@example.jp>\r\nContent-Type: text/html\r\n";
    constexpr char kBody[] = "<p>\0\xff\r\n\r\nend";
    o.body = std::string(kBody, sizeof kBody - 1);
    return o;
}

TEST(MailOriginals, PackedAndUnpackedByteForByte) {
    for (const MailOriginal& o : {Sample("s"), MailOriginal{}, Sample(std::string(300000, 'x'))}) {
        const std::string packed = PackOriginal(o);
        const auto back = UnpackOriginal(packed);
        ASSERT_TRUE(back.has_value());
        EXPECT_EQ(*back, o);
    }
    // Mail text packs small.
    EXPECT_LT(PackOriginal(Sample(std::string(300000, 'x'))).size(), 10000u);
}

std::string Framed(const std::string& plain) {
    std::string frame(ZSTD_compressBound(plain.size()), '\0');
    frame.resize(ZSTD_compress(frame.data(), frame.size(), plain.data(), plain.size(), 1));
    return frame;
}

TEST(MailOriginals, BytesThatAreNoPackedOriginalUnpackToNothing) {
    const std::string packed = PackOriginal(Sample("s"));
    std::vector<std::string> bad = {"", "KMO1", "not zstd at all", packed + "x"};
    // Every cut of the frame, and every cut of its content framed whole: a length read one byte off
    // anywhere shows here.
    std::string plain(ZSTD_getFrameContentSize(packed.data(), packed.size()), '\0');
    ASSERT_EQ(ZSTD_decompress(plain.data(), plain.size(), packed.data(), packed.size()), plain.size());
    for (size_t n = 0; n < packed.size(); ++n)
        bad.push_back(packed.substr(0, n));
    for (size_t n = 0; n < plain.size(); ++n)
        bad.push_back(Framed(plain.substr(0, n)));
    // Whole frames whose content is no original: another magic, a field longer than what follows,
    // bytes left after the seventh field.
    for (const std::string& other : {std::string("KMO2") + std::string(28, '\0'), std::string("KMO1\x05\0\0\0ab"),
                                     plain + "x", std::string("KMO1") + std::string(29, '\0')})
        bad.push_back(Framed(other));
    for (const auto& b : bad)
        EXPECT_FALSE(UnpackOriginal(b).has_value()) << b.size();
}

// An original that declares more than one can hold is refused as its lengths are read, before its
// bytes are unpacked; one just within is unpacked whole.
TEST(MailOriginals, AnOriginalLargerThanAnyMailIsRefusedBeforeItIsUnpacked) {
    const std::string huge = test::HugePackedOriginal(uint64_t{3} << 30);
    EXPECT_LT(huge.size(), 200000u);
    EXPECT_FALSE(UnpackOriginal(huge).has_value());
    const auto within = UnpackOriginal(test::HugePackedOriginal(1 << 20));
    ASSERT_TRUE(within.has_value());
    EXPECT_EQ(within->body, std::string(1 << 20, '\0'));
}

TEST(MailOriginals, KeptUnderTheirMailFollowItAndGoWithIt) {
    auto db = test::MemoryArchive();
    MailRecord first = test::NumberedMail(0);
    MailRecord second = first;
    second.subKey = 1;
    test::InsertTestMail(*db, first);
    test::InsertTestMail(*db, second);
    {
        OriginalWriter writer(*db);
        writer.Put(KeyOf(first), Sample("first"), "受信フォルダ", kDecodingVersion);
        writer.Put(KeyOf(second), Sample("second"), "ピンクの引出し", 0);
        writer.Keep(KeyOf(second), Sample("not taken"), "x", 7); // one is kept already
        writer.SetDecoding(KeyOf(second), 5);
    }
    OriginalReader reader(*db);
    const auto one = reader.Read(KeyOf(first));
    ASSERT_TRUE(one.has_value());
    EXPECT_EQ(one->original, Sample("first"));
    EXPECT_EQ(one->mailbox, "受信フォルダ");
    EXPECT_EQ(one->decoding, kDecodingVersion);
    const auto two = reader.Read(KeyOf(second));
    ASSERT_TRUE(two.has_value());
    EXPECT_EQ(two->original.subject, "second");
    EXPECT_EQ(two->mailbox, "ピンクの引出し");
    EXPECT_EQ(two->decoding, 5);

    // A mail whose key changes takes its original along; a deleted mail takes it away.
    db->exec("UPDATE tblKamoMail SET tblKamoMail_HMS = '23:00:00' WHERE tblKamoMail_SubKey = 0");
    MailKey moved = KeyOf(first);
    moved.hms = "23:00:00";
    EXPECT_TRUE(reader.Has(moved));
    EXPECT_FALSE(reader.Has(KeyOf(first)));
    EXPECT_EQ(reader.Read(moved)->original.subject, "first");
    db->exec("DELETE FROM tblKamoMail WHERE tblKamoMail_SubKey = 1");
    EXPECT_EQ(db->execAndGet("SELECT COUNT(*) FROM tblOriginal").getInt(), 1);

    // Damaged bytes (another program, a CSV import) read as no original, never as a wrong one, and
    // are counted; a mail without one is not.
    EXPECT_EQ(reader.Unreadable(), 0);
    db->exec("UPDATE tblOriginal SET tblOriginal_Data = x'28b52ffd00'");
    EXPECT_FALSE(reader.Read(moved).has_value());
    EXPECT_FALSE(reader.Read(KeyOf(second)).has_value());
    EXPECT_EQ(reader.Unreadable(), 1);
}

TEST(MailOriginals, AnArchiveWithoutTheTableHasNoneAndGetsItWhenOpened) {
    auto db = test::MemoryArchive();
    db->exec("DROP TABLE tblOriginal");
    const MailRecord mail = test::NumberedMail(0);
    test::InsertTestMail(*db, mail);
    {
        OriginalReader reader(*db);
        EXPECT_FALSE(reader.Has(KeyOf(mail)));
        EXPECT_FALSE(reader.Read(KeyOf(mail)).has_value());
    }
    EXPECT_TRUE(AddMissingTables(*db));
    OriginalWriter(*db).Put(KeyOf(mail), Sample("s"), "", kDecodingVersion);
    EXPECT_TRUE(OriginalReader(*db).Has(KeyOf(mail)));
}

// Re-decoding reads the originals below the current decoding in batches bounded by rows and by
// packed bytes; the caller marks what it has done, and the next batch goes on from there.
TEST(MailOriginals, TheBatchReaderBoundsEachBatchByRowsAndByBytes) {
    constexpr int kBelow = 5;
    const struct {
        const char* name;
        int maxRows;
        size_t maxBytes;
        std::vector<size_t> batches; // each batch's size, until none is left
    } cases[] = {
        {"rows", 2, 1000, {2, 2, 1}},
        {"bytes reached exactly", 100, 20, {2, 2, 1}},
        {"bytes passed by the third", 100, 25, {3, 2}},
        {"an original larger than the bytes alone", 100, 1, {1, 1, 1, 1, 1}},
        {"all at once", 5, 50, {5}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto db = test::MemoryArchive();
        std::map<std::string, std::string> written; // each mail's date and its packed bytes
        {
            OriginalWriter writer(*db);
            for (int i = 0; i <= kBelow; ++i) {
                const MailRecord mail = test::NumberedMail(i);
                test::InsertTestMail(*db, mail);
                const std::string packed(10, static_cast<char>('a' + i));
                // The last one is of the current decoding already: never read.
                writer.PutPacked(KeyOf(mail), packed, "", i < kBelow ? kDecodingVersion - 1 : kDecodingVersion);
                if (i < kBelow)
                    written[mail.ymd] = packed;
            }
        }
        OriginalBatchReader reader(*db, kDecodingVersion, c.maxRows, c.maxBytes);
        OriginalWriter marks(*db);
        std::vector<size_t> sizes;
        std::map<std::string, std::string> read;
        for (auto batch = reader.Next(); !batch.empty(); batch = reader.Next()) {
            ASSERT_LT(sizes.size(), 10u) << "the batches never end";
            sizes.push_back(batch.size());
            for (const PackedOriginal& p : batch) {
                EXPECT_TRUE(read.emplace(p.key.ymd, p.packed).second) << p.key.ymd << " read twice";
                marks.SetDecoding(p.key, kDecodingVersion);
            }
        }
        EXPECT_EQ(sizes, c.batches);
        EXPECT_EQ(read, written);
    }
}

} // namespace
} // namespace kamo
