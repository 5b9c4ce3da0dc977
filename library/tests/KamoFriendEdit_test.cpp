#include <gtest/gtest.h>

#include <algorithm>

#include <sys/stat.h>

#include "LibTestSupport.h"

using namespace libtest;

namespace {

struct FriendResult {
    int16_t ret = -100;
    int32_t count = -100;
    int32_t code = -100;
    bool outExists = false;
    std::string out;
};

FriendResult ConvertFriends(const ScratchDir& dir, const std::string& bytes) {
    WriteBytes(dir / "Friend.dat", bytes);
    FriendResult r;
    const auto out = dir / "Friend.Tmp";
    std::filesystem::remove(out);
    r.ret = KamoFriend_Edit((dir / "Friend.dat").c_str(), out.c_str(), &r.count, &r.code);
    r.outExists = std::filesystem::exists(out);
    if (r.outExists)
        r.out = ReadBytes(out);
    return r;
}

} // namespace

TEST(KamoFriendEdit, WritesOneQuotedLinePerFriend) {
    ScratchDir dir;
    auto r = ConvertFriends(dir, ppw::FriendFileBytes({
                                     {10, "モモ", "かも", "kamo@example.jp", 255, false},
                                     {0, "ポチ", "\"ポスペ\" 太郎, 弓|鋼", "a,b@example.jp", 0x1234abcd, false},
                                 }));
    EXPECT_EQ(r.ret, 0);
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.count, 2);
    // Names pass through the delimiter replacement and get one blank inside their quotes; the address
    // is copied unchanged; numbers are lower-case hexadecimal.
    EXPECT_EQ(r.out, "\"a\",\"" + ppw::ToCp932("モモ") + " \",\"" + ppw::ToCp932("かも") +
                         " \",\"kamo@example.jp\",ff\r\n"
                         "\"0\",\"" +
                         ppw::ToCp932("ポチ") + " \",\"" + ppw::ToCp932("’ポスペ’ 太郎， 弓｜鋼") +
                         " \",\"a,b@example.jp\",1234abcd\r\n");
}

TEST(KamoFriendEdit, EmptyOrMissingFiles) {
    ScratchDir dir;
    auto empty = ConvertFriends(dir, "");
    EXPECT_EQ(empty.code, 9);
    EXPECT_EQ(empty.count, 0);
    EXPECT_TRUE(empty.outExists);
    EXPECT_EQ(empty.out, "");

    int32_t count = -100, code = -100;
    const auto out = dir / "missing.Tmp";
    EXPECT_EQ(KamoFriend_Edit((dir / "nothing.dat").c_str(), out.c_str(), &count, &code), 0);
    EXPECT_EQ(code, -1);
    EXPECT_FALSE(std::filesystem::exists(out));

    WriteBytes(dir / "Friend.dat", ppw::FriendFileBytes({{1, "a", "b", "c", 1, false}}));
    EXPECT_EQ(KamoFriend_Edit((dir / "Friend.dat").c_str(), (dir / "no-dir" / "Friend.Tmp").c_str(), &count, &code), 0);
    EXPECT_EQ(code, -1);
}

TEST(KamoFriendEdit, TruncatedRecordKeepsTheLinesBeforeIt) {
    ScratchDir dir;
    const std::string one = ppw::FriendFileBytes({{1, "ポチ", "山田", "y@example.jp", 3, false}});
    const std::string two = ppw::FriendFileBytes({{2, "モモ", "鈴木", "s@example.jp", 4, false}});
    const auto whole = ConvertFriends(dir, one);
    ASSERT_EQ(whole.count, 1);
    for (size_t cut = 0; cut < two.size(); ++cut) {
        auto r = ConvertFriends(dir, one + two.substr(0, cut));
        EXPECT_EQ(r.code, 0);
        EXPECT_EQ(r.count, 1);
        EXPECT_EQ(r.out, whole.out);
    }
}

// PostPet keeps 63-byte fields; longer ones (up to the 255 a length byte allows) are read and written whole,
// as is a line longer than 255 bytes.
TEST(KamoFriendEdit, LongFieldsAreWrittenWhole) {
    ScratchDir dir;
    const std::string pet(255, 'p');
    const std::string owner = std::string(250, 'o') + ",,,,,"; // widens to 260 bytes
    const std::string address(255, 'm');
    auto r = ConvertFriends(
        dir, ppw::FriendFileBytes({{0xffffffffu, pet, owner, address, 7, true}, {1, "x", "y", "z", 2, true}}));
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.count, 2);
    std::string widened = std::string(250, 'o');
    for (int i = 0; i < 5; ++i)
        widened += "\x81\x43";
    EXPECT_EQ(r.out, "\"ffffffff\",\"" + pet + " \",\"" + widened + " \",\"" + address +
                         "\",7\r\n\"1\",\"x \",\"y \",\"z\",2\r\n");
}

TEST(KamoFriendEdit, FieldsEndAtAZeroByte) {
    ScratchDir dir;
    auto r = ConvertFriends(
        dir, ppw::FriendFileBytes({{3, std::string("ab\0cd", 5), "o", std::string("x\0y", 3), 1, true}}));
    EXPECT_EQ(r.out, "\"3\",\"ab \",\"o \",\"x\",1\r\n");
}

TEST(KamoFriendEdit, SampleFolderFriendFile) {
    ScratchDir dir;
    ppw::WriteSampleFolder(dir.path());
    int32_t count = 0, code = 0;
    KamoFriend_Edit((dir / ppw::kFriendFileName).c_str(), (dir / "Friend.Tmp").c_str(), &count, &code);
    EXPECT_EQ(code, 0);
    EXPECT_GE(count, 3);
    const std::string out = ReadBytes(dir / "Friend.Tmp");
    size_t lines = 0;
    for (size_t at = out.find("\r\n"); at != std::string::npos; at = out.find("\r\n", at + 2))
        ++lines;
    EXPECT_EQ(lines, static_cast<size_t>(count));
    for (size_t i = 0; i < out.size(); ++i) {
        if (out[i] == '\n') {
            ASSERT_TRUE(i > 0 && out[i - 1] == '\r') << "bare LF at " << i;
        }
    }
}

// A field never ends its line: LF, CR and the escape byte DLE come out as DLE and the byte plus 0x40,
// in every text field; quotes and commas in the address stay as they are. A line that would have been
// two records on its own is one line.
TEST(KamoFriendEdit, LineBreaksInFieldsAreEscaped) {
    ScratchDir dir;
    const std::string forged = "a@x\",0\r\n\"1\",\"p \",\"o \",\"forged@x\",5\x10";
    auto r = ConvertFriends(dir, ppw::FriendFileBytes({{1, "p\nq", "o\rr", forged, 2, true}}));
    EXPECT_EQ(r.count, 1);
    EXPECT_EQ(r.out,
              "\"1\",\"p\x10Jq \",\"o\x10Mr \",\"a@x\",0\x10M\x10J\"1\",\"p \",\"o \",\"forged@x\",5\x10P\",2\r\n");
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 1);
}

TEST(KamoFriendEdit, OnlyRegularFilesAreRead) {
    ScratchDir dir;
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
    int32_t count = -100, code = -100;
    const auto out = dir / "Friend.Tmp";
    for (const char* name : {"fifo", "."}) {
        EXPECT_EQ(KamoFriend_Edit((dir / name).c_str(), out.c_str(), &count, &code), 0);
        EXPECT_EQ(code, -1) << name;
        EXPECT_FALSE(std::filesystem::exists(out)) << name;
    }
}
