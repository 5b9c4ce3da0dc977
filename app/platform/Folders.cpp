#include "platform/Folders.h"

#include <cstdlib>
#include <system_error>

#include <pwd.h>
#include <unistd.h>

#include "common/AsciiText.h"

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
    fs::create_directories(f.dataDir);

    const fs::path exeDir = ExecutableDir();
    f.libraryPath = (exeDir / ".." / "lib" / "libkamomail.so").lexically_normal();

    // Installed: <prefix>/share/kamomail; run from a build folder inside the source tree: docs/.
    const fs::path installed = (exeDir / ".." / "share" / "kamomail" / "help.html").lexically_normal();
    const fs::path sourceTree = (exeDir / ".." / ".." / "docs" / "help.html").lexically_normal();
    std::error_code ec;
    f.helpPath = (!fs::exists(installed, ec) && fs::exists(sourceTree, ec)) ? sourceTree : installed;
    return f;
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
