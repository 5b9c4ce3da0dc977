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

TEST(PostPetFinder, TheHomeFolderIsWalkedToASensibleDepthPassingOverHiddenFoldersAndLinks) {
    test::TempDir dir;
    const auto home = dir / "home";
    ppw::Mail m;
    m.from = "a@example.jp";
    m.subject = "x";
    auto inbox = [&](const std::filesystem::path& folder, int mails) {
        std::filesystem::create_directories(folder / "受信フォルダ");
        ppw::WriteMailbox(folder / "受信フォルダ" / "受信リスト.ppl", folder / "受信フォルダ" / "受信メール.ppm",
                          std::vector<ppw::Mail>(static_cast<size_t>(mails), m));
    };
    const auto copied = home / "古いPC" / "Program Files" / "So-net" / "PostPet for Windows ver. 2.0";
    const auto deeper = home / "バックアップ" / "2001" / "C" / "Program Files" / "So-net" / "PostPet";
    const auto tooDeep = home / "a" / "b" / "c" / "d" / "e" / "f" / "PostPet";
    const auto hidden = home / ".cache" / "PostPet";
    const auto inWine = home / ".wine" / "drive_c" / "Program Files" / "PostPet";
    inbox(copied, 3);
    inbox(deeper, 1);
    inbox(tooDeep, 5);
    inbox(hidden, 5);
    inbox(inWine, 2);
    std::filesystem::create_directory_symlink(copied.parent_path(), home / "link");

    const auto found = FindPostPetFolders(PostPetSearchRoots(home, {}, {}), {home});
    ASSERT_EQ(found.size(), 3u);
    EXPECT_EQ(found[0].dir, copied);
    EXPECT_EQ(found[0].mails, 3);
    EXPECT_EQ(found[1].dir, inWine); // found once, through the Wine prefix
    EXPECT_EQ(found[2].dir, deeper);

    const auto described = DescribePostPetFolder(copied);
    ASSERT_TRUE(described.has_value());
    EXPECT_EQ(described->mails, 3);
    EXPECT_FALSE(DescribePostPetFolder(home).has_value());
}
