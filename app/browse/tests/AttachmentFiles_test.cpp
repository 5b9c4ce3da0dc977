#include "browse/AttachmentFiles.h"

#include <gtest/gtest.h>

#include "common/CodePage.h"
#include "testsupport/TestSupport.h"

using namespace kamo;

TEST(AttachmentFiles, NamesFromAMailNeverLeaveTheFolderOrComeOutEmpty) {
    const std::pair<std::string, std::string> cases[] = {
        {"写真.jpg", "写真.jpg"},
        {"../../.bashrc", "_.._.bashrc"}, // no folder parts: the file stays in the chosen folder
        {"..", "添付ファイル3"},
        {"  . hidden", "hidden"},
        {"a/b\\c", "a_b_c"},
        {"tab\there\r\n\x7f.txt", "tabhere.txt"},
        {"", "添付ファイル3"},
    };
    for (const auto& [name, safe] : cases)
        EXPECT_EQ(SafeFileName(name, 3), safe) << name;
    // Long names are cut between characters, keeping the extension.
    std::string longName;
    for (int i = 0; i < 100; ++i)
        longName += "長";
    const std::string cut = SafeFileName(longName + ".jpeg", 1);
    EXPECT_LE(cut.size(), 200u);
    EXPECT_TRUE(IsValidUtf8(cut));
    EXPECT_EQ(cut.substr(cut.size() - 5), ".jpeg");
    EXPECT_EQ(SafeFileName("", 4, "message/rfc822"), "添付ファイル4.eml");
    EXPECT_EQ(SafeFileName("", 4, "application/x-unknown"), "添付ファイル4");
    EXPECT_EQ(AttachmentLabel({2, "", "image/png", 1234567}), "添付ファイル2.png（1,234,567 バイト）");
    EXPECT_EQ(AttachmentLabel({1, "a.txt", "text/plain", 999}), "a.txt（999 バイト）");
}

TEST(AttachmentFiles, SavingNeverOverwritesAFile) {
    test::TempDir dir;
    EXPECT_EQ(SaveAttachmentFile(dir.path(), "a.txt", std::string("1\0", 2)), dir / "a.txt");
    EXPECT_EQ(SaveAttachmentFile(dir.path(), "a.txt", "2"), dir / "a (2).txt");
    test::WriteFile(dir / "a (3).txt", "theirs");
    EXPECT_EQ(SaveAttachmentFile(dir.path(), "a.txt", "4"), dir / "a (4).txt");
    EXPECT_EQ(SaveAttachmentFile(dir.path(), "noext", ""), dir / "noext");
    EXPECT_EQ(SaveAttachmentFile(dir.path(), "noext", ""), dir / "noext (2)");
    EXPECT_EQ(test::ReadFile(dir / "a.txt"), std::string("1\0", 2));
    EXPECT_EQ(test::ReadFile(dir / "a (3).txt"), "theirs");
    EXPECT_EQ(test::ReadFile(dir / "a (4).txt"), "4");
    EXPECT_THROW(SaveAttachmentFile(dir / "missing", "a.txt", "x"), std::system_error);
}
