#pragma once
// Where the program keeps things: the settings folder (stands in for the Windows folder), the data
// folder (stands in for the program's own folder), and the install tree (library, help page).
#include <filesystem>
#include <string>

namespace kamo {

struct AppFolders {
    std::filesystem::path settingsDir; // KAMOMAIL.ini and the instance lock
    std::filesystem::path dataDir;     // KamoMail.Mdb, .Bak/.New, *.Tmp, backups, exports
    std::filesystem::path libraryPath; // libkamomail.so, ../lib next to the executable
    std::filesystem::path helpPath;    // the HTML help page

    std::filesystem::path SettingsFile() const { return settingsDir / "KAMOMAIL.ini"; }
    std::filesystem::path DatabaseFile() const { return dataDir / "KamoMail.Mdb"; }
};

// Resolves the folders from the environment (KAMOMAIL_CONFIG_DIR / XDG_CONFIG_HOME / HOME,
// KAMOMAIL_DATA_DIR / XDG_DATA_HOME / HOME) and the executable's location; creates the settings
// and data folders when missing (throws std::filesystem::filesystem_error when it cannot).
AppFolders ResolveFolders();

// A PostPet folder setting as a path on this machine: a drive-letter path resolves inside the Wine
// prefix ($WINEPREFIX, else ~/.wine, drive_c/...; other drives through its dosdevices links),
// backslashes become separators. Any other setting is taken as a path of this machine, unchanged.
std::filesystem::path ResolvePostPetDir(const std::string& setting);

} // namespace kamo
