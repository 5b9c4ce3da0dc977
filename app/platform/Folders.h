#pragma once
// Where the program keeps things: the settings folder (stands in for the Windows folder), the data
// folder (stands in for the program's own folder), and the install tree (library, help page).
#include <array>
#include <filesystem>
#include <string>

namespace kamo {

// The files the program has the conversion library write in the data folder. They hold mail, so they
// never outlive a run; any other file there is the user's and stays.
inline constexpr const char* kMailTextName = "KamoMail.Tmp"; // a mailbox converted for reading
inline constexpr const char* kFriendTextName = "Friend.Tmp"; // the friend file converted
inline constexpr const char* kFriendInName = "FriendIn.Tmp"; // the friend file's records the library converts
inline constexpr std::array<const char*, 3> kConversionFileNames{kMailTextName, kFriendTextName, kFriendInName};

struct AppFolders {
    std::filesystem::path settingsDir; // KAMOMAIL.ini and the instance lock
    std::filesystem::path dataDir;     // KamoMail.Mdb, .Bak/.New, the conversion files, backups, exports
    std::filesystem::path libraryPath; // libkamomail.so: ../lib (build tree) or the private library folder
    std::filesystem::path helpPath;    // the HTML help page

    std::filesystem::path SettingsFile() const { return settingsDir / "KAMOMAIL.ini"; }
    std::filesystem::path DatabaseFile() const { return dataDir / "KamoMail.Mdb"; }
};

// Resolves the folders from the environment (KAMOMAIL_CONFIG_DIR / XDG_CONFIG_HOME / HOME,
// KAMOMAIL_DATA_DIR / XDG_DATA_HOME / HOME) and the executable's location; creates the settings
// and data folders when missing (throws std::filesystem::filesystem_error when it cannot).
AppFolders ResolveFolders();

// The install tree as seen from the program's folder (bin/), as the build's install rules lay it
// out: the private library folder (../lib/<arch>/kamomail under /usr) and the documentation folder.
std::filesystem::path InstalledLibraryDir();
std::filesystem::path InstalledHelpDir();

// The conversion library for a program in exeDir: ../lib of the build tree when it is there, else
// the install tree's private library folder; when neither holds it, the one whose folder exists
// (so the missing-library message names the place the library belongs).
std::filesystem::path LocateLibrary(const std::filesystem::path& exeDir);

// The help page: the install tree's documentation folder, else docs/ of the source tree around a
// build folder; the install tree's path when neither exists.
std::filesystem::path LocateHelpPage(const std::filesystem::path& exeDir);

// A PostPet folder setting as a path on this machine: a drive-letter path resolves inside the Wine
// prefix ($WINEPREFIX, else ~/.wine, drive_c/...; other drives through its dosdevices links),
// backslashes become separators. Any other setting is taken as a path of this machine, unchanged.
std::filesystem::path ResolvePostPetDir(const std::string& setting);

} // namespace kamo
