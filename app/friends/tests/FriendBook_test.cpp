// The friend book: PostPet's friend file read into tblFriend (again and again), the book saved whole,
// and stored mail renamed by address and back.
#include <gtest/gtest.h>

#include <SQLiteCpp/Statement.h>
#include <sys/stat.h>

#include "common/CodePage.h"
#include "common/Messages.h"
#include "db/LookupLists.h"
#include "friends/FriendBook.h"
#include "platform/KamoLibrary.h"
#include "ppwriter/MailboxWriter.h"
#include "testsupport/TestSupport.h"

using namespace kamo;

namespace {

ppw::Friend PostPetFriend(uint32_t kind, const char* pet, const char* owner, const char* address, uint32_t count) {
    ppw::Friend f;
    f.petKind = kind;
    f.petName = pet;
    f.ownerName = owner;
    f.address = address;
    f.mailCount = count;
    return f;
}

// The renamed mail: one day, one subject and body; each its time, sender and receiver.
const test::MailBuilder kSameDay = test::MailBuilder().Subject("件名").Body("本文");

std::vector<std::string> Names(SQLite::Database& db) {
    std::vector<std::string> names;
    SQLite::Statement q(db, "SELECT tblKamoMail_SndName || '>' || tblKamoMail_RcvName FROM tblKamoMail ORDER BY "
                            "tblKamoMail_HMS");
    while (q.executeStep())
        names.push_back(q.getColumn(0).getString());
    return names;
}

} // namespace

TEST(FriendBook, AFriendFileReadTwiceKeepsOneRowPerAddressAndUpdatesIt) {
    KamoLibrary library(test::BuildLibraryPath());
    ASSERT_TRUE(library.Load()) << library.Error();
    test::TempDir dir;
    auto db = test::MemoryArchive();
    // Names with a comma and a quote come through the quote-safe replacement, as PostPet's do.
    ppw::WriteFriendFile(dir / "Friend.dat", {PostPetFriend(10, "ポチ", "山田, 太郎", "taro@example.jp", 255),
                                              PostPetFriend(1, "タマ", "花子", "hana@example.jp", 3)});
    MergeCounts first = ReadFriendFile(*db, library.FriendEdit(), dir / "Friend.dat", dir / "Friend.Tmp");
    EXPECT_EQ(first.added, 2);
    EXPECT_EQ(first.updated, 0);
    EXPECT_FALSE(std::filesystem::exists(dir / "Friend.Tmp"));
    auto book = LoadFriends(*db);
    ASSERT_EQ(book.size(), 2u);
    EXPECT_EQ(book[1], (Friend{"10", "ポチ", "山田， 太郎", "taro@example.jp", 255}));

    ppw::WriteFriendFile(dir / "Friend.dat", {PostPetFriend(10, "ポチ", "山田, 太郎", "TARO@example.jp", 300),
                                              PostPetFriend(2, "ミケ", "次郎", "jiro@example.jp", 1),
                                              PostPetFriend(1, "タマ", "花子", "hana@example.jp", 3)});
    MergeCounts second = ReadFriendFile(*db, library.FriendEdit(), dir / "Friend.dat", dir / "Friend.Tmp");
    EXPECT_EQ(second.added, 1);
    EXPECT_EQ(second.updated, 1);
    EXPECT_EQ(second.unchanged, 1);
    book = LoadFriends(*db);
    ASSERT_EQ(book.size(), 3u);
    EXPECT_EQ(book[2].mailCount, 300);

    EXPECT_THROW(ReadFriendFile(*db, library.FriendEdit(), dir / "none.dat", dir / "Friend.Tmp"), std::runtime_error);
}

// An address that carries a line break, the escape byte, quotes and commas is one friend with that
// address, not a second, made-up friend.
TEST(FriendBook, SeparatorBytesInFieldsMakeNoSecondFriend) {
    KamoLibrary library(test::BuildLibraryPath());
    ASSERT_TRUE(library.Load()) << library.Error();
    test::TempDir dir;
    auto db = test::MemoryArchive();
    const std::string forged = "a@x\",0\r\n\"1\",\"p \",\"o \",\"forged@x\",5\x10J\n";
    ppw::Friend f = PostPetFriend(1, "ポチ", "太郎", "", 2);
    f.address = forged;
    ppw::Friend g = PostPetFriend(2, "タマ\nx", "花子\r", "hana@example.jp", 3);
    ppw::WriteFriendFile(dir / "Friend.dat", {f, g});
    const FriendFileRead read = ReadFriendFile(*db, library.FriendEdit(), dir / "Friend.dat", dir / "Friend.Tmp");
    EXPECT_EQ(read.added, 2);
    EXPECT_TRUE(read.damaged.empty());
    const auto book = LoadFriends(*db);
    ASSERT_EQ(book.size(), 2u);
    EXPECT_EQ(book[0], (Friend{"1", "ポチ", "太郎", forged, 2}));
    EXPECT_EQ(book[1], (Friend{"2", "タマ\nx", "花子\r", "hana@example.jp", 3}));
}

// Anything that is not a friend file is refused with the one message, and nothing is stored.
TEST(FriendBook, FilesThatAreNoFriendFileAreRefused) {
    KamoLibrary library(test::BuildLibraryPath());
    ASSERT_TRUE(library.Load()) << library.Error();
    test::TempDir dir;
    const auto boxes = ppw::WriteSampleFolder(dir / "PostPet");
    std::string random(5 << 20, '\0');
    uint64_t x = 88172645463325252ull;
    for (char& c : random) {
        x ^= x << 13, x ^= x >> 7, x ^= x << 17;
        c = static_cast<char>(x >> 24);
    }
    test::WriteFile(dir / "random.dat", random);
    test::WriteFile(dir / "picture.png",
                    std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR\0\0\0\x10\0\0\0\x10\x08\x06\0\0\0", 29));
    test::WriteFile(dir / "empty.dat", "");
    ASSERT_EQ(::mkfifo((dir / "fifo.dat").c_str(), 0600), 0);
    std::filesystem::path list;
    for (const auto& box : boxes) {
        if (box.mails > 0 && list.empty())
            list = box.list;
    }
    ASSERT_FALSE(list.empty());
    for (const auto& file :
         {dir / "random.dat", dir / "picture.png", dir / "empty.dat", dir / "fifo.dat", list, dir / "PostPet"}) {
        auto db = test::MemoryArchive();
        try {
            ReadFriendFile(*db, library.FriendEdit(), file, dir / "Friend.Tmp");
            ADD_FAILURE() << file << " was read";
        } catch (const NotAFriendFile& e) {
            EXPECT_EQ(ErrorText(e), "おともだちファイルではありません");
        }
        EXPECT_TRUE(LoadFriends(*db).empty()) << file;
        EXPECT_FALSE(std::filesystem::exists(dir / "Friend.Tmp"));
        EXPECT_FALSE(std::filesystem::exists(dir / "FriendIn.Tmp"));
    }
}

// One damaged record among sound ones costs that record only, and is reported by its place.
TEST(FriendBook, ADamagedRecordIsReportedByItsPlace) {
    KamoLibrary library(test::BuildLibraryPath());
    ASSERT_TRUE(library.Load()) << library.Error();
    test::TempDir dir;
    const std::string one = ppw::FriendFileBytes({PostPetFriend(1, "ポチ", "山田", "y@example.jp", 3)});
    std::string two = ppw::FriendFileBytes({PostPetFriend(2, "モモ", "鈴木", "s@example.jp", 4)});
    const std::string three = ppw::FriendFileBytes(
        {PostPetFriend(3, "タマ", "佐藤", "t@example.jp", 5), PostPetFriend(4, "ミケ", "田中", "m@example.jp", 6)});
    // The owner name's length byte says more than is there: without the resumption the records after
    // it would be read out of step.
    two[4 + 1 + 4] = static_cast<char>(0xF0);
    struct Case {
        const char* name;
        std::string bytes;
        std::vector<DamagedFriendRecord> damaged;
    };
    const Case cases[] = {
        {"middle", one + two + three, {{2, one.size(), two.size()}}},
        {"cut at the end", one + three + two.substr(0, 7), {{4, one.size() + three.size(), 7}}},
    };
    for (const auto& c : cases) {
        auto db = test::MemoryArchive();
        test::WriteFile(dir / "Friend.dat", c.bytes);
        const FriendFileRead read = ReadFriendFile(*db, library.FriendEdit(), dir / "Friend.dat", dir / "Friend.Tmp");
        EXPECT_EQ(read.added, 3) << c.name;
        EXPECT_EQ(read.damaged, c.damaged) << c.name;
        std::vector<std::string> addresses;
        for (const auto& f : LoadFriends(*db))
            addresses.push_back(f.address);
        EXPECT_EQ(addresses, (std::vector<std::string>{"m@example.jp", "t@example.jp", "y@example.jp"})) << c.name;
    }
}

TEST(FriendBook, LinesOfAnotherShapeAreCountedNotTaken) {
    int bad = 0;
    const std::string bytes =
        Utf8ToCp932("\"a\",\"ポチ \",\"太郎 \",\"t@example.jp\",ff\r\n"
                    "garbage\r\n\"zz\",\"x \",\"y \",\"z\",1\r\n\"1\",\"p \",\"o \"\r\n"
                    "\"1\",\"p \",\"o \",\"a\x10Q@b\",1\r\n\"1\",\"p \",\"o \",\"a@b\x10\",1\r\n");
    const auto friends = ParseFriendTmp(bytes, &bad);
    ASSERT_EQ(friends.size(), 1u);
    EXPECT_EQ(friends[0], (Friend{"10", "ポチ", "太郎", "t@example.jp", 255}));
    EXPECT_EQ(bad, 5); // the last two: an escape the library never writes
}

TEST(FriendBook, SavingTheWholeBookRefusesEmptyAndRepeatedAddresses) {
    auto db = test::MemoryArchive();
    SaveFriends(*db, {{"1", "ポチ", "太郎", "taro@example.jp", 2}});
    EXPECT_THROW(SaveFriends(*db, {{"1", "a", "b", "x@example.jp", 0}, {"2", "c", "d", "X@Example.jp", 0}}),
                 std::runtime_error);
    EXPECT_THROW(SaveFriends(*db, {{"1", "a", "b", "  ", 0}}), std::runtime_error);
    EXPECT_EQ(LoadFriends(*db).size(), 1u); // nothing changed by the refused saves
    EXPECT_TRUE(AddFriendAddress(*db, "hana@example.jp", "花子"));
    EXPECT_FALSE(AddFriendAddress(*db, "hana@example.jp", "別人"));
    EXPECT_EQ(LoadFriends(*db)[0].owner, "花子");
}

TEST(FriendBook, RenamingByAddressAndGoingBack) {
    auto db = test::MemoryArchive();
    test::InsertTestMail(
        *db,
        kSameDay.Date("2002/03/01", "09:00:00").From("TARO", "taro@example.jp").To("かも", "kamo@example.jp").Build());
    test::InsertTestMail(*db, kSameDay.Date("2002/03/01", "10:00:00")
                                  .From("かも", "kamo@example.jp")
                                  .To("Taro Y.", "Taro@Example.JP")
                                  .Build());
    test::InsertTestMail(*db, kSameDay.Date("2002/03/01", "11:00:00")
                                  .From("知らない人", "x@example.jp")
                                  .To("かも", "kamo@example.jp")
                                  .Build());
    SaveFriends(*db, {{"10", "ポチ", "山田 太郎", "taro@example.jp", 2}, {"1", "", "", "x@example.jp", 0}});
    const auto original = Names(*db);

    EXPECT_EQ(ApplyFriendNames(*db, FriendName::Owner), 2);
    EXPECT_EQ(Names(*db), (std::vector<std::string>{"山田 太郎>かも", "かも>山田 太郎", "知らない人>かも"}));
    RebuildNameList(*db);
    EXPECT_EQ(db->execAndGet("SELECT COUNT(*) FROM tblSearch_Name WHERE tblSearch_Name_Data = '山田 太郎'").getInt(),
              1);
    EXPECT_EQ(ApplyFriendNames(*db, FriendName::Pet), 2);
    EXPECT_EQ(Names(*db)[0], "ポチ>かも");

    // Going back restores the names the mail came with, not those of the first renaming.
    EXPECT_EQ(RestoreMailNames(*db), 3);
    EXPECT_EQ(Names(*db), original);
    EXPECT_EQ(db->execAndGet("SELECT COUNT(*) FROM tblOriginalNames").getInt(), 0);

    // A deleted mail takes its kept names along.
    ApplyFriendNames(*db, FriendName::Owner);
    db->exec("DELETE FROM tblKamoMail WHERE tblKamoMail_HMS = '09:00:00'");
    EXPECT_EQ(db->execAndGet("SELECT COUNT(*) FROM tblOriginalNames").getInt(), 2);
}
