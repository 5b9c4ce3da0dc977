#include "platform/ProfileFile.h"

#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "common/CodePage.h"
#include "testsupport/TestSupport.h"

namespace kamo {
namespace {

using test::ReadFile;
using test::TempDir;
using test::WriteFile;

const std::string kSample = "; settings carried over\n"
                            "[Mail Font]\n"
                            "Mail Text Font=Gothic\n"
                            "Unknown Key = kept\n"
                            "\n"
                            "; the next section\n"
                            "[Other]\n"
                            "A=1\n";

TEST(ProfileLookup, SectionsAndKeysIgnoreLetterCaseAndValuesAreTrimmed) {
    TempDir dir;
    WriteFile(dir / "a.ini", "[Form Position]\nform top    position =  1200  \n[x]\nk=\t v w \t\n");
    auto f = ProfileFile::Load(dir / "a.ini");
    EXPECT_EQ(f.Get("FORM POSITION", "Form Top    Position", "d"), "1200");
    EXPECT_EQ(f.Get("X", "K", "d"), "v w");
    // Inner blanks of a key are part of it.
    EXPECT_EQ(f.Get("Form Position", "Form Top Position", "d"), "d");
}

TEST(ProfileLookup, MissingFileSectionOrKeyGivesTheDefaultAndEmptyIsNotMissing) {
    TempDir dir;
    auto none = ProfileFile::Load(dir / "none.ini");
    EXPECT_EQ(none.Get("S", "K", "dflt"), "dflt");
    WriteFile(dir / "a.ini", "[S]\nEmpty=\nNoEquals\n");
    auto f = ProfileFile::Load(dir / "a.ini");
    EXPECT_EQ(f.Get("T", "Empty", "dflt"), "dflt");
    EXPECT_EQ(f.Get("S", "Other", "dflt"), "dflt");
    EXPECT_EQ(f.Get("S", "NoEquals", "dflt"), "dflt");
    ASSERT_TRUE(f.Find("S", "Empty").has_value());
    EXPECT_EQ(*f.Find("S", "Empty"), "");
}

TEST(ProfileLookup, FirstMatchWinsCommentsAreNoKeysAndNulEndsTheValue) {
    TempDir dir;
    WriteFile(dir / "a.ini", "[S]\n;K=comment\nK=first\nK=second\n[s]\nK=third\nZ=z\n");
    auto f = ProfileFile::Load(dir / "a.ini");
    EXPECT_EQ(f.Get("S", "K", ""), "first");
    EXPECT_EQ(f.Get("S", "Z", "x"), "x"); // Z lives in the second [s], which is never looked at
    WriteFile(dir / "b.ini", std::string("[S]\nZ=ab\0cd\n", 12));
    EXPECT_EQ(ProfileFile::Load(dir / "b.ini").Get("S", "Z", ""), "ab");
}

TEST(ProfileLookup, LongValuesAreReadWhole) {
    TempDir dir;
    std::string path = "/home/kamo";
    while (path.size() < 900)
        path += "/ポストペットのとても長いフォルダ名";
    ASSERT_TRUE(WriteProfileString(dir / "a.ini", "PostPet Mail Option", "PostPet Dir", path));
    EXPECT_EQ(ReadProfileString(dir / "a.ini", "postpet mail option", "postpet dir", ""), path);
}

TEST(ProfileEncoding, Cp932LinesAreReadAndKeptAsTheyWereNewLinesAreUtf8) {
    TempDir dir;
    const std::string utf8 = "; 設定\r\n[PostPet Mail Option]\r\nMy Mail Handle=かも\r\n";
    WriteFile(dir / "a.ini", Utf8ToCp932(utf8));
    auto f = ProfileFile::Load(dir / "a.ini");
    EXPECT_EQ(f.Get("PostPet Mail Option", "My Mail Handle", ""), "かも");
    f.Set("PostPet Mail Option", "My Mail Handle", "かも"); // the same value: the line keeps its bytes
    f.Set("PostPet Mail Option", "My Pet Name", "モモ");
    ASSERT_TRUE(f.Save());
    EXPECT_EQ(ReadFile(dir / "a.ini"), Utf8ToCp932(utf8) + "My Pet Name=モモ\r\n");
}

TEST(ProfileEncoding, OneBadByteCostsNoOtherLineAndIsNeverRewrittenUnlessChanged) {
    TempDir dir;
    const std::string bad = "My Mail Handle=\x82\xA9\xFF\r\n"; // neither UTF-8 nor CP932 throughout
    const std::string before = "[PostPet Mail Option]\r\nPostPet Dir=/home/かも/PostPet\r\n" + bad +
                               "My Pet Name=モモ\r\nMy Mail Addr=kamo@example.jp\r\n";
    WriteFile(dir / "a.ini", before);
    auto f = ProfileFile::Load(dir / "a.ini");
    EXPECT_EQ(f.Get("PostPet Mail Option", "PostPet Dir", ""), "/home/かも/PostPet");
    EXPECT_EQ(f.Get("PostPet Mail Option", "My Pet Name", ""), "モモ");
    for (const char* key : {"PostPet Dir", "My Mail Handle", "My Pet Name"})
        f.Set("PostPet Mail Option", key, f.Get("PostPet Mail Option", key, ""));
    f.Set("PostPet Mail Option", "My Mail Addr", "momo@example.jp");
    ASSERT_TRUE(f.Save());
    std::string expected = before;
    expected.replace(expected.find("kamo@example.jp"), 15, "momo@example.jp");
    EXPECT_EQ(ReadFile(dir / "a.ini"), expected);
}

TEST(ProfileWrite, KeepsEveryOtherLineCommentAndOrder) {
    TempDir dir;
    WriteFile(dir / "a.ini", kSample);
    auto f = ProfileFile::Load(dir / "a.ini");
    f.Set("mail font", "MAIL TEXT FONT", "Mincho");  // existing key: only its value changes
    f.Set("Mail Font", "Mail Text Font Size", "10"); // new key: after the section's last key
    f.Set("Friend Editer", "Width", "9225");         // new section: at the end
    f.Set("Other", "Line", "a\nb");                  // a value stays one line
    ASSERT_TRUE(f.Save());
    EXPECT_EQ(ReadFile(dir / "a.ini"), "; settings carried over\n"
                                       "[Mail Font]\n"
                                       "Mail Text Font=Mincho\n"
                                       "Unknown Key = kept\n"
                                       "Mail Text Font Size=10\n"
                                       "\n"
                                       "; the next section\n"
                                       "[Other]\n"
                                       "A=1\n"
                                       "Line=a b\n"
                                       "[Friend Editer]\n"
                                       "Width=9225\n");
}

TEST(ProfileWrite, FileWithoutFinalLineBreakAndCrlfFileStayConsistent) {
    TempDir dir;
    WriteFile(dir / "a.ini", "[S]\r\nA=1");
    ASSERT_TRUE(WriteProfileString(dir / "a.ini", "S", "B", "2"));
    ASSERT_TRUE(WriteProfileString(dir / "a.ini", "T", "C", "3"));
    EXPECT_EQ(ReadFile(dir / "a.ini"), "[S]\r\nA=1\r\nB=2\r\n[T]\r\nC=3\r\n");
    ASSERT_TRUE(WriteProfileString(dir / "new.ini", "S", "A", "1"));
    EXPECT_EQ(ReadFile(dir / "new.ini"), "[S]\nA=1\n");
}

TEST(ProfileWrite, ReplacesTheFileAtomically) {
    TempDir dir;
    WriteFile(dir / "a.ini", kSample);
    ::chmod((dir / "a.ini").c_str(), 0600);
    // A hard link keeps the old inode: an in-place rewrite would show through it, a rename not.
    ASSERT_EQ(::link((dir / "a.ini").c_str(), (dir / "old.ini").c_str()), 0);
    ASSERT_TRUE(WriteProfileString(dir / "a.ini", "Other", "A", "2"));
    EXPECT_EQ(ReadFile(dir / "old.ini"), kSample);
    EXPECT_EQ(ProfileFile::Load(dir / "a.ini").Get("Other", "A", ""), "2");
    struct stat st {};
    ASSERT_EQ(::stat((dir / "a.ini").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    // No temporary file is left behind.
    int files = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir.path()))
        files += e.is_regular_file() ? 1 : 0;
    EXPECT_EQ(files, 2);
}

TEST(ProfileWrite, ThroughASymbolicLinkKeepsTheLink) {
    TempDir dir;
    WriteFile(dir / "real.ini", "[S]\nA=1\n");
    std::filesystem::create_symlink(dir / "real.ini", dir / "link.ini");
    ASSERT_TRUE(WriteProfileString(dir / "link.ini", "S", "A", "2"));
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "link.ini"));
    EXPECT_EQ(ReadFile(dir / "real.ini"), "[S]\nA=2\n");
}

TEST(ProfileWriteFailure, MissingFolderIsReportedAsFailed) {
    TempDir dir;
    WriteFile(dir / "file", "x");
    EXPECT_FALSE(WriteProfileString(dir / "nofolder" / "a.ini", "S", "K", "v"));
    EXPECT_FALSE(WriteProfileString(dir / "file" / "a.ini", "S", "K", "v"));
}

TEST(ProfileWriteFailure, UnreadableFileIsNeverOverwritten) {
    TempDir dir;
    std::filesystem::create_directory(dir / "a.ini"); // exists, cannot be read as a file
    auto f = ProfileFile::Load(dir / "a.ini");
    f.Set("S", "K", "v");
    EXPECT_FALSE(f.Save());
    EXPECT_TRUE(std::filesystem::is_directory(dir / "a.ini"));
}

TEST(ProfileWriteFailure, FullDiskFailsAndKeepsTheOldFileWhole) {
    TempDir dir;
    WriteFile(dir / "a.ini", kSample);
    pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        // The file-size limit makes the write run out of room part way, as a full disk does.
        ::signal(SIGXFSZ, SIG_IGN);
        rlimit lim{40, 40};
        ::setrlimit(RLIMIT_FSIZE, &lim);
        bool ok = WriteProfileString(dir / "a.ini", "Other", "Long", std::string(500, 'x'));
        ::_exit(ok ? 1 : 0);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the write was reported as done";
    EXPECT_EQ(ReadFile(dir / "a.ini"), kSample);
    int files = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir.path()))
        files += e.is_regular_file() ? 1 : 0;
    EXPECT_EQ(files, 1);
}

} // namespace
} // namespace kamo

namespace kamo {
namespace {

TEST(ProfileLoad, AFifoOrADeviceIsNeverReadNorOverwritten) {
    TempDir dir;
    const auto fifo = dir / "KAMOMAIL.ini";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const auto zero = dir / "zero.ini";
    std::filesystem::create_symlink("/dev/zero", zero);
    for (const auto& path : {fifo, zero}) {
        // A FIFO nobody writes would block a plain open for ever; /dev/zero would fill the memory.
        ProfileFile f = ProfileFile::Load(path);
        EXPECT_FALSE(f.Find("PostPet Mail Option", "PostPet Dir")) << path;
        f.Set("PostPet Mail Option", "PostPet Dir", "/tmp");
        EXPECT_FALSE(f.Save()) << path;
    }
    EXPECT_TRUE(std::filesystem::is_fifo(fifo));
}

} // namespace
} // namespace kamo
