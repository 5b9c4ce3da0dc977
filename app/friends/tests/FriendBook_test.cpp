// The friend book: PostPet's friend file read into tblFriend (again and again), the book saved whole,
// and stored mail renamed by address and back.
#include <gtest/gtest.h>

#include <SQLiteCpp/Statement.h>

#include "common/CodePage.h"
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

MailRecord Mail(const char* hms, const char* sndName, const char* sndAdd, const char* rcvName, const char* rcvAdd) {
    MailRecord m;
    m.ymd = "2002/03/01";
    m.hms = hms;
    m.sndName = sndName;
    m.sndAdd = sndAdd;
    m.rcvName = rcvName;
    m.rcvAdd = rcvAdd;
    m.subject = "件名";
    m.body = "本文";
    return m;
}

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

TEST(FriendBook, LinesOfAnotherShapeAreCountedNotTaken) {
    int bad = 0;
    const std::string bytes = Utf8ToCp932("\"a\",\"ポチ \",\"太郎 \",\"t@example.jp\",ff\r\n"
                                          "garbage\r\n\"zz\",\"x \",\"y \",\"z\",1\r\n\"1\",\"p \",\"o \"\r\n");
    const auto friends = ParseFriendTmp(bytes, &bad);
    ASSERT_EQ(friends.size(), 1u);
    EXPECT_EQ(friends[0], (Friend{"10", "ポチ", "太郎", "t@example.jp", 255}));
    EXPECT_EQ(bad, 3);
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
    test::InsertTestMail(*db, Mail("09:00:00", "TARO", "taro@example.jp", "かも", "kamo@example.jp"));
    test::InsertTestMail(*db, Mail("10:00:00", "かも", "kamo@example.jp", "Taro Y.", "Taro@Example.JP"));
    test::InsertTestMail(*db, Mail("11:00:00", "知らない人", "x@example.jp", "かも", "kamo@example.jp"));
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
