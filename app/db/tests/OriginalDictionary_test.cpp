#include "db/OriginalDictionary.h"

#include <gtest/gtest.h>

#include "db/MailOriginals.h"
#include "db/MailRows.h"
#include "db/OriginalPacker.h"
#include "db/Schema.h"
#include "db/tests/ArchiveFiles.h"

namespace kamo {
namespace {

using test::AlikeOriginal;

struct Trained {
    std::string bytes = test::TrainedOriginalDictionary();
    std::shared_ptr<const PackingDictionary> packing = PackingDictionary::Make(bytes);
};

const Trained& Shared() {
    static const Trained t;
    return t;
}

TEST(OriginalDictionary, APackedOriginalUnpacksWithItsDictionaryByteForByte) {
    const Trained& t = Shared();
    ASSERT_TRUE(t.packing);
    EXPECT_LE(t.bytes.size(), kMaxDictionaryBytes);
    EXPECT_EQ(DictionaryIdOf(t.bytes), t.packing->Id());
    EXPECT_NE(t.packing->Id(), 0u);
    MailOriginal binary = AlikeOriginal(3);
    binary.body = std::string("\0\xff\x1b$B\r\n\0", 8) + std::string(5000, '\x81');
    binary.subject = std::string("\0\0", 2);
    MailOriginal large = AlikeOriginal(4);
    large.body = std::string(300000, 'x') + AlikeOriginal(5).body;
    const struct {
        const char* name;
        MailOriginal original;
    } cases[] = {{"alike", AlikeOriginal(1000)},
                 {"empty fields", MailOriginal{}},
                 {"binary bytes", binary},
                 {"large body", large}};
    OriginalDictionaries dictionaries;
    ASSERT_TRUE(dictionaries.Add(t.packing->Id(), t.bytes));
    for (const auto& c : cases) {
        const std::string packed = PackOriginal(c.original, t.packing.get());
        EXPECT_EQ(DictionaryOfPacked(packed), t.packing->Id()) << c.name;
        const auto back = UnpackOriginal(packed, &dictionaries);
        ASSERT_TRUE(back.has_value()) << c.name;
        EXPECT_EQ(*back, c.original) << c.name;
        // Packed before any dictionary: the frame names none and unpacks as ever.
        const std::string plain = PackOriginal(c.original);
        EXPECT_EQ(DictionaryOfPacked(plain), 0u) << c.name;
        EXPECT_EQ(UnpackOriginal(plain, &dictionaries), c.original) << c.name;
        EXPECT_EQ(UnpackOriginal(plain), c.original) << c.name;
    }
    // What the dictionary is for: mail alike packs to a fraction of its size alone.
    const MailOriginal mail = AlikeOriginal(2000);
    EXPECT_LT(PackOriginal(mail, t.packing.get()).size() * 2, PackOriginal(mail).size());
}

// A frame naming a dictionary that is not at hand is an original that does not unpack, never a crash
// and never a wrong one; so is every cut of a frame packed with one.
TEST(OriginalDictionary, AFrameWhoseDictionaryIsMissingOrDamagedDoesNotUnpack) {
    const Trained& t = Shared();
    ASSERT_TRUE(t.packing);
    const std::string packed = PackOriginal(AlikeOriginal(7), t.packing.get());
    const std::string other = test::TrainedOriginalDictionary(300, 5000);
    ASSERT_NE(DictionaryIdOf(other), 0u);
    ASSERT_NE(DictionaryIdOf(other), t.packing->Id());
    std::string damaged = t.bytes;
    damaged[0] = 'x'; // no dictionary's magic
    // Another dictionary's bytes relabelled with the id: taken, but the frame's checksum fails.
    std::string relabelled = other;
    relabelled.replace(4, 4, t.bytes.substr(4, 4));
    ASSERT_EQ(DictionaryIdOf(relabelled), t.packing->Id());
    const struct {
        const char* name;
        std::vector<std::pair<uint32_t, std::string>> given; // the dictionaries at hand
        bool archive;                                        // looked up in an archive holding them
    } cases[] = {
        {"no dictionaries at all", {}, false},
        {"only another one", {{DictionaryIdOf(other), other}}, false},
        {"archive without the row", {{DictionaryIdOf(other), other}}, true},
        {"row under the id, another dictionary's bytes", {{t.packing->Id(), other}}, true},
        {"row under the id, damaged bytes", {{t.packing->Id(), damaged}}, true},
        {"row under the id, cut short", {{t.packing->Id(), t.bytes.substr(0, 100)}}, true},
        {"row under the id, relabelled", {{t.packing->Id(), relabelled}}, true},
    };
    for (const auto& c : cases) {
        auto db = test::MemoryArchive();
        std::optional<OriginalDictionaries> dictionaries;
        if (c.archive) {
            for (const auto& [id, bytes] : c.given) {
                SQLite::Statement put(*db, "INSERT INTO tblOriginalDictionary VALUES (?1, ?2)");
                put.bind(1, static_cast<int64_t>(id));
                put.bind(2, bytes.data(), static_cast<int>(bytes.size()));
                put.exec();
            }
            dictionaries.emplace(*db);
        } else {
            dictionaries.emplace();
            for (const auto& [id, bytes] : c.given)
                EXPECT_TRUE(dictionaries->Add(id, bytes)) << c.name;
        }
        EXPECT_FALSE(UnpackOriginal(packed, &*dictionaries).has_value()) << c.name;
        EXPECT_FALSE(UnpackOriginal(packed).has_value()) << c.name;
        // Kept under a mail: read as none, and counted as an original that could not be unpacked.
        const MailRecord mail = test::NumberedMail(0);
        test::InsertTestMail(*db, mail);
        OriginalWriter(*db).PutPacked(KeyOf(mail), packed, "", kDecodingVersion);
        OriginalReader reader(*db);
        EXPECT_TRUE(reader.Has(KeyOf(mail))) << c.name;
        EXPECT_FALSE(reader.Read(KeyOf(mail)).has_value()) << c.name;
        EXPECT_EQ(reader.Unreadable(), 1) << c.name;
    }
    // Bytes that are not the dictionary their id says are never taken.
    OriginalDictionaries given;
    EXPECT_FALSE(given.Add(t.packing->Id(), other));
    EXPECT_FALSE(given.Add(t.packing->Id(), damaged));
    EXPECT_FALSE(given.Add(0, ""));
    ASSERT_TRUE(given.Add(t.packing->Id(), t.bytes));
    for (size_t n = 0; n < packed.size(); ++n)
        EXPECT_FALSE(UnpackOriginal(packed.substr(0, n), &given).has_value()) << n;
    EXPECT_TRUE(UnpackOriginal(packed, &given).has_value());
}

// The read's packer: without a dictionary while it gathers its sample, with the one it trained after
// that, kept in the archive by Keep; a later read's packer takes the archive's from its first mail.
TEST(OriginalDictionary, TheReadsPackerTrainsOnceKeepsItAndLaterReadsUseIt) {
    auto db = test::MemoryArchive();
    DictionarySample sample;
    sample.mails = 300;
    std::vector<OriginalPacker::Packed> packed;
    {
        OriginalPacker packer(*db, sample);
        for (int i = 0; i < 320; ++i)
            packed.push_back(packer.Pack(AlikeOriginal(i)));
        for (int i = 0; i < 320; ++i)
            EXPECT_EQ(packed[static_cast<size_t>(i)].dictionary == 0, i < 299) << i;
        EXPECT_EQ(db->execAndGet("SELECT COUNT(*) FROM tblOriginalDictionary").getInt(), 0);
        packer.Keep(packed.back().dictionary);
        packer.Keep(packed.back().dictionary); // once only
        packer.Keep(12345);                    // not one it made: nothing
    }
    ASSERT_EQ(db->execAndGet("SELECT COUNT(*) FROM tblOriginalDictionary").getInt(), 1);
    EXPECT_EQ(db->execAndGet("SELECT tblOriginalDictionary_Id FROM tblOriginalDictionary").getInt64(),
              packed.back().dictionary);
    OriginalDictionaries dictionaries(*db);
    for (int i = 0; i < 320; ++i)
        EXPECT_EQ(UnpackOriginal(packed[static_cast<size_t>(i)].bytes, &dictionaries), AlikeOriginal(i)) << i;

    OriginalPacker later(*db, sample);
    EXPECT_EQ(later.Pack(AlikeOriginal(1)).dictionary, packed.back().dictionary);
    // A sample of nothing trains nothing.
    auto none = test::MemoryArchive();
    OriginalPacker untrained(*none, DictionarySample{0});
    EXPECT_EQ(untrained.Pack(AlikeOriginal(1)).dictionary, 0u);
    EXPECT_EQ(TrainOriginalDictionary("", {}), "");
}

} // namespace
} // namespace kamo
