// The mailbox writer itself: every other test trusts its names, its determinism and its refusals.
#include <gtest/gtest.h>

#include "LibTestSupport.h"

using namespace libtest;

TEST(Writer, SampleFolderUsesPostPetsMailboxNames) {
    const auto boxes = ppw::PostPetMailboxes();
    ASSERT_EQ(boxes.size(), 11u);
    EXPECT_EQ(boxes[0].list, "受信フォルダ/受信リスト.ppl");
    EXPECT_EQ(boxes[0].mail, "受信フォルダ/受信メール.ppm");
    EXPECT_EQ(boxes[1].list, "送信フォルダ/送信リスト.ppl");
    EXPECT_EQ(boxes[1].mail, "送信フォルダ/送信メール.ppm");
    const char* colours[] = {"ピンク", "黄色", "紫", "緑色", "黒", "水色", "赤", "茶色", "橙色"};
    for (size_t i = 0; i < 9; ++i) {
        EXPECT_EQ(boxes[i + 2].list, std::string(colours[i]) + "の引出しリスト.ppl");
        EXPECT_EQ(boxes[i + 2].mail, std::string(colours[i]) + "の引出し.ppm");
    }

    ScratchDir dir;
    ppw::WriteSampleFolder(dir / "utf8");
    ppw::WriteSampleFolder(dir / "cp932", {true, 2001});
    for (const auto& b : boxes) {
        EXPECT_TRUE(std::filesystem::exists(dir / "utf8" / b.list)) << b.list;
        EXPECT_TRUE(std::filesystem::exists(dir / "cp932" / ppw::ToCp932(b.list))) << b.list;
        // Same content whichever way the names are written.
        EXPECT_EQ(ReadBytes(dir / "utf8" / b.mail), ReadBytes(dir / "cp932" / ppw::ToCp932(b.mail)));
    }
    EXPECT_TRUE(std::filesystem::exists(dir / "utf8" / ppw::kFriendFileName));
}

TEST(Writer, GeneratedMailDependsOnlyOnTheSeed) {
    ScratchDir dir;
    ppw::WriteLargeMailbox(dir / "a.ppl", dir / "a.ppm", 300, 9);
    ppw::WriteLargeMailbox(dir / "b.ppl", dir / "b.ppm", 300, 9);
    ppw::WriteLargeMailbox(dir / "c.ppl", dir / "c.ppm", 300, 10);
    EXPECT_EQ(ReadBytes(dir / "a.ppl"), ReadBytes(dir / "b.ppl"));
    EXPECT_EQ(ReadBytes(dir / "a.ppm"), ReadBytes(dir / "b.ppm"));
    EXPECT_NE(ReadBytes(dir / "a.ppm"), ReadBytes(dir / "c.ppm"));
    // The streamed file is the one built in memory.
    ppw::MailGenerator gen(9);
    std::vector<ppw::Mail> mails;
    for (int i = 0; i < 300; ++i)
        mails.push_back(gen.Next());
    EXPECT_EQ(ppw::BuildMailbox(mails).list, ReadBytes(dir / "a.ppl"));
}

TEST(Writer, RefusesDescriptionsThatWouldNotReadBack) {
    ppw::Trailer badLead;
    badLead.lead = "ok\x05";
    EXPECT_THROW(ppw::TrailerBytes(badLead), std::runtime_error);
    ppw::Trailer wrongStrings;
    wrongStrings.groupCount = 4;
    wrongStrings.groupStrings = {"only one"};
    EXPECT_THROW(ppw::TrailerBytes(wrongStrings), std::runtime_error);
    ppw::Trailer ordinaryCount;
    ordinaryCount.groupCount = 0x41; // before position 21 this is content, not a count
    EXPECT_THROW(ppw::TrailerBytes(ordinaryCount), std::runtime_error);
    ppw::Mail zero;
    zero.raw = true;
    zero.subject = std::string("a\0b", 3);
    EXPECT_THROW(ppw::BuildMailbox({zero}), std::runtime_error);
    EXPECT_THROW(ppw::FriendFileBytes({{1, std::string(256, 'x'), "", "", 0, true}}), std::runtime_error);
}
