#include "platform/Folders.h"

#include <cstdlib>
#include <system_error>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/AsciiText.h"

// Set by the build from its install directories; these defaults are the layout under a /usr/local prefix.
#ifndef KAMOMAIL_INSTALLED_LIBRARY_DIR
#define KAMOMAIL_INSTALLED_LIBRARY_DIR "../lib/kamomail"
#endif
#ifndef KAMOMAIL_INSTALLED_HELP_DIR
#define KAMOMAIL_INSTALLED_HELP_DIR "../share/doc/kamomail"
#endif

namespace kamo {
namespace fs = std::filesystem;

namespace {

std::string Env(const char* name) {
    const char* v = std::getenv(name);
    return v ? std::string(v) : std::string();
}

fs::path HomeDir() {
    std::string home = Env("HOME");
    if (!home.empty())
        return home;
    if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir)
        return pw->pw_dir;
    return fs::temp_directory_path();
}

// $override, else $xdgVar/kamomail, else ~/<fallback>/kamomail. XDG says relative values are to
// be ignored.
fs::path ChooseFolder(const char* overrideVar, const char* xdgVar, const char* fallback) {
    std::string v = Env(overrideVar);
    if (!v.empty())
        return v;
    v = Env(xdgVar);
    if (!v.empty() && fs::path(v).is_absolute())
        return fs::path(v) / "kamomail";
    return HomeDir() / fallback / "kamomail";
}

fs::path ExecutableDir() {
    std::error_code ec;
    fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (ec)
        return fs::current_path(ec);
    return exe.parent_path();
}

} // namespace

AppFolders ResolveFolders() {
    AppFolders f;
    f.settingsDir = ChooseFolder("KAMOMAIL_CONFIG_DIR", "XDG_CONFIG_HOME", ".config");
    f.dataDir = ChooseFolder("KAMOMAIL_DATA_DIR", "XDG_DATA_HOME", ".local/share");
    fs::create_directories(f.settingsDir);
    // The mail folder is the user's alone; an existing folder is left as its owner set it.
    std::error_code ec;
    if (!fs::exists(f.dataDir, ec)) {
        if (!f.dataDir.parent_path().empty())
            fs::create_directories(f.dataDir.parent_path(), ec);
        ::mkdir(f.dataDir.c_str(), 0700);
    }
    fs::create_directories(f.dataDir);

    const fs::path exeDir = ExecutableDir();
    f.libraryPath = LocateLibrary(exeDir);
    f.helpPath = LocateHelpPage(exeDir);
    return f;
}

fs::path InstalledLibraryDir() {
    return KAMOMAIL_INSTALLED_LIBRARY_DIR;
}

fs::path InstalledHelpDir() {
    return KAMOMAIL_INSTALLED_HELP_DIR;
}

fs::path LocateLibrary(const fs::path& exeDir) {
    const fs::path buildTree = (exeDir / ".." / "lib" / "libkamomail.so").lexically_normal();
    const fs::path installed = (exeDir / InstalledLibraryDir() / "libkamomail.so").lexically_normal();
    std::error_code ec;
    if (fs::exists(buildTree, ec))
        return buildTree;
    if (fs::exists(installed, ec) || fs::is_directory(installed.parent_path(), ec))
        return installed;
    return buildTree;
}

fs::path LocateHelpPage(const fs::path& exeDir) {
    const fs::path installed = (exeDir / InstalledHelpDir() / "help.html").lexically_normal();
    // A build folder directly inside the source tree (build/bin/kamomail) reads docs/ of the sources.
    const fs::path sourceTree = (exeDir / ".." / ".." / "docs" / "help.html").lexically_normal();
    std::error_code ec;
    return (!fs::exists(installed, ec) && fs::exists(sourceTree, ec)) ? sourceTree : installed;
}

fs::path ResolvePostPetDir(const std::string& setting) {
    const bool driveLetter = setting.size() >= 2 && IsAsciiAlpha(setting[0]) && setting[1] == ':' &&
                             (setting.size() == 2 || setting[2] == '\\' || setting[2] == '/');
    if (!driveLetter)
        return fs::path(setting);

    std::string prefix = Env("WINEPREFIX");
    fs::path root = prefix.empty() ? HomeDir() / ".wine" : fs::path(prefix);
    const char drive = ToLowerAscii(setting[0]);
    // drive_c is the prefix's own C: drive; other letters are the links Wine keeps in dosdevices.
    root /= drive == 'c' ? std::string("drive_c") : std::string("dosdevices/") + drive + ":";

    std::string rest = setting.substr(2);
    for (char& c : rest) {
        if (c == '\\')
            c = '/';
    }
    while (!rest.empty() && rest.front() == '/')
        rest.erase(0, 1);
    while (!rest.empty() && rest.back() == '/')
        rest.pop_back();
    return rest.empty() ? root : root / rest;
}

} // namespace kamo
