#include "platform/FileUtil.h"

#include <gtest/gtest.h>

#include <csignal>
#include <set>

#include <sys/wait.h>
#include <unistd.h>

#include "platform/InstanceLock.h"
#include "testsupport/TestSupport.h"

namespace kamo {
namespace {

namespace fs = std::filesystem;
using test::TempDir;
using test::WriteFile;

std::set<std::string> Names(const fs::path& dir) {
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(dir))
        names.insert(e.path().filename().string());
    return names;
}

TEST(TempFiles, RemovesTmpOfAnyCaseOnlyInTheDataFolderOnlyAfterTheLibraryRan) {
    TempDir dir;
    const fs::path data = dir / "data";
    fs::create_directories(data / "sub.tmp");
    for (const char* n : {"a.TMP", "b.tmp", "c.Tmp", "keep.tmpx", "keep.txt", "tmp"})
        WriteFile(data / n, "x");
    WriteFile(data / "sub.tmp" / "inner.tmp", "x");
    WriteFile(dir / "outside.tmp", "x");

    EXPECT_EQ(DeleteTempFiles(data), 0); // neither Friend.Tmp nor KamoMail.Tmp: nothing goes
    EXPECT_EQ(Names(data).size(), 7u);

    WriteFile(data / "Friend.Tmp", "x");
    EXPECT_EQ(DeleteTempFiles(data), 4);
    EXPECT_EQ(Names(data), (std::set<std::string>{"keep.tmpx", "keep.txt", "sub.tmp", "tmp"}));
    EXPECT_TRUE(fs::exists(data / "sub.tmp" / "inner.tmp"));
    EXPECT_TRUE(fs::exists(dir / "outside.tmp"));

    WriteFile(data / "kamomail.tmp", "x");
    WriteFile(data / "z.tmp", "x");
    EXPECT_EQ(DeleteTempFiles(data), 2);
    EXPECT_EQ(DeleteTempFiles(dir / "missing"), 0);
}

TEST(FileOps, FileExistsMeansAnOrdinaryFile) {
    TempDir dir;
    WriteFile(dir / "f", "");
    EXPECT_TRUE(FileExists(dir / "f"));
    EXPECT_FALSE(FileExists(dir.path()));
    EXPECT_FALSE(FileExists(dir / "none"));
}

TEST(FileOps, AtomicCopyMakesAWholeCopyOrNothing) {
    TempDir dir;
    std::string big(300000, 'k');
    WriteFile(dir / "src", big);
    WriteFile(dir / "dst", "old");
    ASSERT_TRUE(AtomicCopyFile(dir / "src", dir / "dst"));
    EXPECT_EQ(test::ReadFile(dir / "dst"), big);
    EXPECT_FALSE(AtomicCopyFile(dir / "none", dir / "dst"));
    EXPECT_EQ(test::ReadFile(dir / "dst"), big);
    EXPECT_EQ(Names(dir.path()).size(), 2u);
}

// The lock is held by another process; a second start is refused until that process ends, even
// when it ends by being killed.
TEST(InstanceGuard, SecondInstanceRefusedWhileTheFirstRunsAndFreeAfterItCrashes) {
    TempDir dir;
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        auto lock = InstanceLock::TryAcquire(dir.path());
        char c = lock ? 'y' : 'n';
        (void)!::write(ready[1], &c, 1);
        ::pause(); // held until killed
        ::_exit(0);
    }
    ::close(ready[1]);
    char c = 0;
    ASSERT_EQ(::read(ready[0], &c, 1), 1);
    ::close(ready[0]);
    ASSERT_EQ(c, 'y');

    EXPECT_EQ(InstanceLock::TryAcquire(dir.path()), nullptr);

    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    auto lock = InstanceLock::TryAcquire(dir.path());
    EXPECT_NE(lock, nullptr);
    // Released when the holder goes away in this process too.
    lock.reset();
    EXPECT_NE(InstanceLock::TryAcquire(dir.path()), nullptr);
}

} // namespace
} // namespace kamo
