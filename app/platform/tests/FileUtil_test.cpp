#include "platform/FileUtil.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <functional>
#include <set>

#include <dlfcn.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/InstanceLock.h"
#include "testsupport/TestSupport.h"

// Every fsync of this test program comes here first (the program's definition wins over the C
// library's), so a test can make the sync of an ordinary file fail as a failing disk would.
namespace {
std::atomic<bool> failFileSyncs{false};
} // namespace

extern "C" int fsync(int fd) {
    struct stat st {};
    if (failFileSyncs && ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        errno = EIO;
        return -1;
    }
    static const auto real = reinterpret_cast<int (*)(int)>(::dlsym(RTLD_NEXT, "fsync"));
    return real(fd);
}

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

// Only the files the program makes go, by their exact names; the user's own "*.tmp" files stay,
// whatever the letter case, and so does anything that is not an ordinary file.
TEST(TempFiles, RemovesOnlyTheConversionFilesByTheirExactNames) {
    TempDir dir;
    const fs::path data = dir / "data";
    fs::create_directories(data / "FriendIn.Tmp");
    const std::set<std::string> users{"notes.tmp",  "Draft.TMP",        "kamomail.tmp",
                                      "FRIEND.TMP", "KamoMail.Tmp.txt", "a.Tmp"};
    for (const auto& n : users)
        WriteFile(data / n, "x");
    for (const char* n : {"KamoMail.Tmp", "Friend.Tmp"})
        WriteFile(data / n, "mail");
    WriteFile(dir / "outside.txt", "x");
    fs::create_symlink(dir / "outside.txt", data / "link.tmp");

    EXPECT_EQ(DeleteTempFiles(data), 2);
    std::set<std::string> left = users;
    left.insert({"FriendIn.Tmp", "link.tmp"});
    EXPECT_EQ(Names(data), left);
    EXPECT_TRUE(fs::exists(dir / "outside.txt"));

    fs::remove(data / "FriendIn.Tmp");
    WriteFile(data / "FriendIn.Tmp", "x");
    EXPECT_EQ(DeleteTempFiles(data), 1);
    EXPECT_EQ(DeleteTempFiles(data), 0);
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

// Both ways of replacing a file keep what the file is: a link stays a link to the replaced file,
// permission bits stay (a new file gets 0600), and nothing is left beside it.
TEST(FileOps, ReplacingAFileKeepsItsLinkAndItsPermissions) {
    struct Writer {
        const char* name;
        std::function<bool(const TempDir&, const fs::path&)> replace;
    };
    const Writer writers[] = {
        {"write", [](const TempDir&, const fs::path& to) { return AtomicWriteFile(to, "new"); }},
        {"copy",
         [](const TempDir& dir, const fs::path& to) {
             WriteFile(dir / "src", "new");
             fs::permissions(dir / "src", fs::perms(0640));
             return AtomicCopyFile(dir / "src", to);
         }},
    };
    auto mode = [](const fs::path& p) { return static_cast<int>(fs::status(p).permissions() & fs::perms::mask); };
    for (const auto& w : writers) {
        SCOPED_TRACE(w.name);
        {
            TempDir dir;
            fs::create_directories(dir / "real");
            WriteFile(dir / "real" / "settings.ini", "old");
            fs::permissions(dir / "real" / "settings.ini", fs::perms(0600));
            fs::create_symlink(fs::path("real") / "settings.ini", dir / "link.ini");
            ASSERT_TRUE(w.replace(dir, dir / "link.ini"));
            EXPECT_TRUE(fs::is_symlink(dir / "link.ini"));
            EXPECT_EQ(test::ReadFile(dir / "real" / "settings.ini"), "new");
            EXPECT_EQ(mode(dir / "real" / "settings.ini"), 0600);
            EXPECT_EQ(Names(dir / "real"), (std::set<std::string>{"settings.ini"}));
        }
        {
            TempDir dir;
            WriteFile(dir / "private", "old");
            fs::permissions(dir / "private", fs::perms(0600));
            ASSERT_TRUE(w.replace(dir, dir / "private"));
            EXPECT_EQ(test::ReadFile(dir / "private"), "new");
            EXPECT_EQ(mode(dir / "private"), 0600);

            ASSERT_TRUE(w.replace(dir, dir / "fresh"));
            EXPECT_EQ(mode(dir / "fresh"), 0600);
        }
    }
}

// Files the program makes for the user (exports, copies of the archive) under the usual umask 022:
// exactly the mode asked for, never wider than 0600, whatever was there; a link at the name is refused
// and the file it names stays as it was; no temporary is left either way.
TEST(FileOps, PrivateFilesHaveTheirModeAndAreNeverWrittenThroughALink) {
    struct Case {
        const char* name;
        unsigned asked;
        const char* before; // "" none, "file" a 0644 file, "link" a link to a file elsewhere
        bool written;
        int mode;
    };
    const Case cases[] = {
        {"new", 0600, "", true, 0600},         {"narrower archive", 0400, "", true, 0400},
        {"wider asked", 0644, "", true, 0600}, {"over a 0644 file", 0600, "file", true, 0600},
        {"link", 0600, "link", false, 0},
    };
    const mode_t oldMask = ::umask(022);
    auto mode = [](const fs::path& p) { return static_cast<int>(fs::status(p).permissions() & fs::perms::mask); };
    for (const auto& c : cases) {
        for (const bool copy : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (copy ? " copy" : " write"));
            TempDir dir;
            fs::create_directories(dir / "out");
            fs::create_directories(dir / "elsewhere");
            WriteFile(dir / "elsewhere" / "victim", "victim");
            WriteFile(dir / "src", "new");
            const fs::path to = dir / "out" / "file";
            if (std::string(c.before) == "file") {
                WriteFile(to, "old");
                fs::permissions(to, fs::perms(0644));
            } else if (std::string(c.before) == "link") {
                fs::create_symlink(dir / "elsewhere" / "victim", to);
            }
            const bool ok = copy ? AtomicCopyFile(dir / "src", to, PrivateFile(c.asked))
                                 : AtomicWriteFile(to, "new", PrivateFile(c.asked));
            EXPECT_EQ(ok, c.written);
            EXPECT_EQ(test::ReadFile(dir / "elsewhere" / "victim"), "victim");
            EXPECT_EQ(Names(dir / "out"), (std::set<std::string>{"file"}));
            if (c.written) {
                EXPECT_FALSE(fs::is_symlink(to));
                EXPECT_EQ(test::ReadFile(to), "new");
                EXPECT_EQ(mode(to), c.mode);
            } else {
                EXPECT_TRUE(fs::is_symlink(to));
            }
        }
    }
    // The empty file SQLite fills: created narrow, never over anything, never through a link.
    TempDir dir;
    EXPECT_TRUE(CreateEmptyFile(dir / "empty", 0600));
    EXPECT_EQ(mode(dir / "empty"), 0600);
    EXPECT_FALSE(CreateEmptyFile(dir / "empty", 0600));
    WriteFile(dir / "victim", "victim");
    fs::create_symlink(dir / "victim", dir / "link");
    EXPECT_FALSE(CreateEmptyFile(dir / "link", 0600));
    EXPECT_EQ(test::ReadFile(dir / "victim"), "victim");
    ::umask(oldMask);
}

// A file's contents reach the disk before its name does: when the sync of the written file fails,
// nothing is replaced, the error is told and no temporary is left.
TEST(FileOps, AFailedSyncOfTheWrittenFileReplacesNothing) {
    struct Writer {
        const char* name;
        std::function<bool(const TempDir&, const fs::path&)> write;
    };
    const Writer writers[] = {
        {"write", [](const TempDir&, const fs::path& to) { return AtomicWriteFile(to, "new", PrivateFile()); }},
        {"copy", [](const TempDir& dir, const fs::path& to) { return AtomicCopyFile(dir / "src", to, PrivateFile()); }},
        {"writer",
         [](const TempDir&, const fs::path& to) {
             FileWriter out(to, PrivateFile());
             const bool ok = out.Write("new") && out.Commit();
             EXPECT_EQ(out.Error(), ok ? 0 : EIO);
             return ok;
         }},
        {"clone", [](const TempDir& dir, const fs::path& to) { return CloneFile(dir / "src", to); }},
    };
    for (const auto& w : writers) {
        for (const bool existing : {true, false}) {
            SCOPED_TRACE(std::string(w.name) + (existing ? " over a file" : " new"));
            if (existing && std::string(w.name) == "clone")
                continue; // a clone is always a new file
            TempDir dir;
            WriteFile(dir / "src", "new");
            const fs::path to = dir / "target";
            if (existing)
                WriteFile(to, "old");
            failFileSyncs = true;
            const bool ok = w.write(dir, to);
            failFileSyncs = false;
            EXPECT_FALSE(ok);
            const std::set<std::string> left =
                existing ? std::set<std::string>{"src", "target"} : std::set<std::string>{"src"};
            EXPECT_EQ(Names(dir.path()), left);
            if (existing) {
                EXPECT_EQ(test::ReadFile(to), "old");
            }
            // The same write with a working disk goes through.
            fs::remove(to);
            EXPECT_TRUE(w.write(dir, to));
            EXPECT_EQ(test::ReadFile(to), "new");
        }
    }
}

// The lock is held by another process; a second start is refused until that process ends, even
// when it ends by being killed.
// A settings file that is a link to another file system: the temporary is made in the folder of the
// file actually written (a rename cannot cross file systems), privately, and what a killed writer left
// there or beside the link (only the writer's own names) goes at the next start.
TEST(FileOps, ALinkedFileIsWrittenInItsOwnFolderAndAKilledWritersTemporariesGo) {
    TempDir dir;
    TempDir elsewhere;
    {
        // Another file system where there is one (/dev/shm): the link's folder and the file's differ.
        const fs::path shm = fs::path("/dev/shm") / dir.path().filename();
        std::error_code ec;
        if (fs::create_directory(shm, ec)) {
            WriteFile(shm / "KAMOMAIL.ini", "old");
            fs::create_symlink(shm / "KAMOMAIL.ini", dir / "KAMOMAIL.ini");
            EXPECT_TRUE(AtomicWriteFile(dir / "KAMOMAIL.ini", "new"));
            EXPECT_EQ(test::ReadFile(shm / "KAMOMAIL.ini"), "new");
            EXPECT_TRUE(fs::is_symlink(dir / "KAMOMAIL.ini"));
            EXPECT_EQ(Names(shm), (std::set<std::string>{"KAMOMAIL.ini"}));
            fs::remove_all(shm, ec);
            fs::remove(dir / "KAMOMAIL.ini", ec);
        }
    }
    fs::create_directories(elsewhere / "real");
    WriteFile(elsewhere / "real" / "KAMOMAIL.ini", "settings");
    fs::create_symlink(elsewhere / "real" / "KAMOMAIL.ini", dir / "KAMOMAIL.ini");
    for (const auto& p : {elsewhere / "real" / ".KAMOMAIL.ini.0badf00d", dir / ".KAMOMAIL.ini.12345678"})
        WriteFile(p, "left over");
    const std::set<std::string> theirs{".KAMOMAIL.ini.old", ".KAMOMAIL.ini.0BADF00D", "KAMOMAIL.ini.0badf00d",
                                       ".KAMOMAIL.ini.0badf00d0"};
    for (const auto& name : theirs)
        WriteFile(elsewhere / "real" / name, "the user's");
    fs::create_symlink(elsewhere / "real" / "KAMOMAIL.ini", elsewhere / "real" / ".KAMOMAIL.ini.00000000");
    EXPECT_EQ(RemoveStaleWriterTemps(dir / "KAMOMAIL.ini"), 2);
    std::set<std::string> left = theirs;
    left.insert({"KAMOMAIL.ini", ".KAMOMAIL.ini.00000000"});
    EXPECT_EQ(Names(elsewhere / "real"), left);
    EXPECT_EQ(Names(dir.path()), (std::set<std::string>{"KAMOMAIL.ini"}));
    EXPECT_EQ(test::ReadFile(elsewhere / "real" / "KAMOMAIL.ini"), "settings");
}

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
    // The lock file is the user's alone, like everything the program keeps.
    EXPECT_EQ(std::filesystem::status(dir / InstanceLock::kFileName).permissions() & std::filesystem::perms::mask,
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
}

} // namespace
} // namespace kamo
