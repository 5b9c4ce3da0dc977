// Finding PostPet folders in Wine prefixes and on mounted Windows disks.
#include <gtest/gtest.h>

#include "import/PostPetFinder.h"
#include "ppwriter/MailboxWriter.h"
#include "testsupport/TestSupport.h"

using namespace kamo;

TEST(PostPetFinder, FoldersInWinePrefixesAndOnMountedDisksAreFoundWithTheirMail) {
    test::TempDir dir;
    const auto home = dir / "home";
    const auto mounts = dir / "mnt";
    const auto inWine = home / ".wine" / "drive_c" / "Program Files" / "So-net" / "PostPet for Windows ver. 2.0";
    const auto inPrefix =
        home / ".local" / "share" / "wineprefixes" / "old" / "drive_c" / "Program Files (x86)" / "PostPet";
    const auto onDisk = mounts / "c" / "Program Files" / "So-net" / "PostPet for Windows ver. 2.0";
    size_t sample = 0;
    for (const auto& box : ppw::WriteSampleFolder(inWine))
        sample += box.mails;
    ppw::Mail m;
    m.from = "a@example.jp";
    m.subject = "x";
    std::filesystem::create_directories(inPrefix / "受信フォルダ");
    ppw::WriteMailbox(inPrefix / "受信フォルダ" / "受信リスト.ppl", inPrefix / "受信フォルダ" / "受信メール.ppm",
                      {m, m});
    std::filesystem::create_directories(onDisk / "送信フォルダ");
    ppw::WriteMailbox(onDisk / "送信フォルダ" / "送信リスト.ppl", onDisk / "送信フォルダ" / "送信メール.ppm", {m});
    std::filesystem::create_directories(home / ".wine" / "drive_c" / "Program Files" / "Other" / "App");

    const auto roots = PostPetSearchRoots(home, {}, {mounts});
    const auto found = FindPostPetFolders(roots);
    ASSERT_EQ(found.size(), 3u);
    EXPECT_EQ(found[0].dir, inWine); // most mail first
    EXPECT_EQ(found[0].mails, static_cast<int64_t>(sample));
    EXPECT_EQ(found[1].dir, inPrefix);
    EXPECT_EQ(found[1].mails, 2);
    ASSERT_EQ(found[1].withMail.size(), 1u);
    EXPECT_STREQ(found[1].withMail[0]->name, "受信フォルダ");
    EXPECT_EQ(found[2].dir, onDisk);

    std::array<int16_t, 17> send{}, recieve{};
    send.fill(1);
    TickMailboxesWithMail(found[2], send, recieve);
    EXPECT_EQ(send[0], 1); // the outbox
    EXPECT_EQ(std::count(send.begin(), send.end(), 1) + std::count(recieve.begin(), recieve.end(), 1), 1);

    EXPECT_TRUE(FindPostPetFolders(PostPetSearchRoots(dir / "nobody", {}, {dir / "nothing"})).empty());
}
