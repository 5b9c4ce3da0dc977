#include "platform/Folders.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>

#include <sys/stat.h>

#include "testsupport/TestSupport.h"

namespace kamo {
namespace {

// Sets or clears an environment variable for one test and puts the old value back.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name))
            old_ = old;
        if (value)
            ::setenv(name, value, 1);
        else
            ::unsetenv(name);
    }
    ~ScopedEnv() {
        if (old_)
            ::setenv(name_, old_->c_str(), 1);
        else
            ::unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

TEST(Folders, OwnVariablesComeFirstThenXdgThenHome) {
    test::TempDir dir;
    const std::string home = (dir / "home").string();
    ScopedEnv h("HOME", home.c_str());
    {
        ScopedEnv c("KAMOMAIL_CONFIG_DIR", (dir / "cfg").c_str());
        ScopedEnv d("KAMOMAIL_DATA_DIR", (dir / "data").c_str());
        ScopedEnv xc("XDG_CONFIG_HOME", (dir / "xc").c_str());
        AppFolders f = ResolveFolders();
        EXPECT_EQ(f.settingsDir, dir / "cfg");
        EXPECT_EQ(f.dataDir, dir / "data");
        EXPECT_EQ(f.SettingsFile(), dir / "cfg" / "KAMOMAIL.ini");
        EXPECT_EQ(f.DatabaseFile(), dir / "data" / "KamoMail.Mdb");
        EXPECT_TRUE(std::filesystem::is_directory(dir / "cfg")); // created on first use
        EXPECT_TRUE(std::filesystem::is_directory(dir / "data"));
    }
    {
        ScopedEnv c("KAMOMAIL_CONFIG_DIR", nullptr);
        ScopedEnv d("KAMOMAIL_DATA_DIR", nullptr);
        ScopedEnv xc("XDG_CONFIG_HOME", (dir / "xc").c_str());
        ScopedEnv xd("XDG_DATA_HOME", "relative/ignored");
        AppFolders f = ResolveFolders();
        EXPECT_EQ(f.settingsDir, dir / "xc" / "kamomail");
        EXPECT_EQ(f.dataDir, std::filesystem::path(home) / ".local/share/kamomail");
    }
    {
        ScopedEnv c("KAMOMAIL_CONFIG_DIR", nullptr);
        ScopedEnv xc("XDG_CONFIG_HOME", nullptr);
        EXPECT_EQ(ResolveFolders().settingsDir, std::filesystem::path(home) / ".config/kamomail");
    }
}

// The mail folder is made for the user alone under the usual umask 022; one already there is left as
// its owner set it.
TEST(Folders, TheDataFolderIsMadeForTheUserAlone) {
    test::TempDir dir;
    const mode_t oldMask = ::umask(022);
    auto mode = [](const std::filesystem::path& p) {
        return static_cast<int>(std::filesystem::status(p).permissions() & std::filesystem::perms::mask);
    };
    ScopedEnv c("KAMOMAIL_CONFIG_DIR", (dir / "cfg").c_str());
    {
        ScopedEnv d("KAMOMAIL_DATA_DIR", (dir / "deep" / "data").c_str());
        ResolveFolders();
        EXPECT_EQ(mode(dir / "deep" / "data"), 0700);
    }
    std::filesystem::create_directories(dir / "shared");
    std::filesystem::permissions(dir / "shared", std::filesystem::perms(0750));
    {
        ScopedEnv d("KAMOMAIL_DATA_DIR", (dir / "shared").c_str());
        ResolveFolders();
        EXPECT_EQ(mode(dir / "shared"), 0750);
    }
    ::umask(oldMask);
}

TEST(Folders, LibraryAndHelpComeFromTheInstallTree) {
    test::TempDir dir;
    ScopedEnv c("KAMOMAIL_CONFIG_DIR", (dir / "cfg").c_str());
    ScopedEnv d("KAMOMAIL_DATA_DIR", (dir / "data").c_str());
    AppFolders f = ResolveFolders();
    // Tests run from build/bin, like the program.
    EXPECT_EQ(std::filesystem::weakly_canonical(f.libraryPath),
              std::filesystem::weakly_canonical(test::BuildLibraryPath()));
    EXPECT_EQ(f.helpPath.filename(), "help.html");
    EXPECT_TRUE(std::filesystem::exists(f.helpPath)) << f.helpPath;
}

TEST(Folders, BuildTreeLibraryComesFirstThenThePrivateLibraryFolder) {
    namespace fs = std::filesystem;
    // The install tree is relative to bin/, so an installed tree runs from any prefix.
    ASSERT_TRUE(InstalledLibraryDir().is_relative());
    EXPECT_EQ(*InstalledLibraryDir().begin(), "..");
    EXPECT_EQ(InstalledLibraryDir().filename(), "kamomail");

    test::TempDir dir;
    const fs::path bin = dir / "prefix" / "bin";
    const fs::path buildTree = dir / "prefix" / "lib" / "libkamomail.so";
    const fs::path installed = (bin / InstalledLibraryDir() / "libkamomail.so").lexically_normal();
    fs::create_directories(bin);
    EXPECT_EQ(LocateLibrary(bin), buildTree); // nothing there: the build tree's place, as before

    fs::create_directories(installed.parent_path());
    EXPECT_EQ(LocateLibrary(bin), installed); // an install tree without its library names its place
    test::WriteFile(installed, "");
    EXPECT_EQ(LocateLibrary(bin), installed);

    test::WriteFile(buildTree, "");
    EXPECT_EQ(LocateLibrary(bin), buildTree);
}

TEST(Folders, HelpPageOfTheInstallTreeElseOfTheSourceTree) {
    namespace fs = std::filesystem;
    ASSERT_TRUE(InstalledHelpDir().is_relative());
    test::TempDir dir;
    const fs::path bin = dir / "src" / "build" / "bin";
    const fs::path installed = (bin / InstalledHelpDir() / "help.html").lexically_normal();
    const fs::path sourceTree = dir / "src" / "docs" / "help.html";
    fs::create_directories(bin);
    EXPECT_EQ(LocateHelpPage(bin), installed);

    fs::create_directories(sourceTree.parent_path());
    test::WriteFile(sourceTree, "<html></html>");
    EXPECT_EQ(LocateHelpPage(bin), sourceTree);

    fs::create_directories(installed.parent_path());
    test::WriteFile(installed, "<html></html>");
    EXPECT_EQ(LocateHelpPage(bin), installed);
}

TEST(PostPetDir, DriveLetterPathsResolveInsideTheWinePrefix) {
    ScopedEnv w("WINEPREFIX", "/opt/wine");
    EXPECT_EQ(ResolvePostPetDir("C:\\Program Files\\So-net\\PostPet for Windows ver. 2.0"),
              std::filesystem::path("/opt/wine/drive_c/Program Files/So-net/PostPet for Windows ver. 2.0"));
    EXPECT_EQ(ResolvePostPetDir("c:/PostPet/"), std::filesystem::path("/opt/wine/drive_c/PostPet"));
    EXPECT_EQ(ResolvePostPetDir("D:\\ポストペット"), std::filesystem::path("/opt/wine/dosdevices/d:/ポストペット"));
    EXPECT_EQ(ResolvePostPetDir("C:\\"), std::filesystem::path("/opt/wine/drive_c"));
}

TEST(PostPetDir, WithoutPrefixUsesHomeWineAndPosixPathsStayAsTheyAre) {
    ScopedEnv w("WINEPREFIX", nullptr);
    ScopedEnv h("HOME", "/home/kamo");
    EXPECT_EQ(ResolvePostPetDir("C:\\PostPet"), std::filesystem::path("/home/kamo/.wine/drive_c/PostPet"));
    EXPECT_EQ(ResolvePostPetDir("/mnt/old disk/PostPet"), std::filesystem::path("/mnt/old disk/PostPet"));
    EXPECT_EQ(ResolvePostPetDir("relative\\x"), std::filesystem::path("relative\\x"));
}

} // namespace
} // namespace kamo
