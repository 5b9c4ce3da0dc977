#pragma once
// The process-wide settings values, read from KAMOMAIL.ini when the main window loads and
// written back when it unloads.
#include <array>
#include <cstdint>
#include <string>

namespace kamo {

// A window's geometry in twips (15 twips per pixel at 96 dpi), as stored in the settings file.
struct FormGeometry {
    int top = 0;
    int left = 0;
    int width = 0;
    int height = 0;
    bool minimized = false; // a minimized window keeps the stored geometry
};

struct Settings {
    std::string settingsPath; // <settings folder>/KAMOMAIL.ini
    std::string helpPath;
    std::string databasePath; // <data folder>/KamoMail.Mdb
    int32_t storedVersion = 0;

    std::string postPetDir;
    std::string myMailAddr;
    std::string myMailHandle;
    std::string myPetName;
    int16_t displayType = 0;

    // Slots 0..15 used; one 0/1 flag per mailbox of each side.
    std::array<int16_t, 17> sendReadOptions{};
    std::array<int16_t, 17> recievReadOptions{};
    // "Auto Read": while the window is open it reads each chosen mailbox that PostPet has written.
    bool autoRead = false;

    std::string mailFontName;
    int32_t mailFontSize = 10;
    std::string mailFontStyle = "0,0"; // "bold,italic"

    int16_t friendTop = 0;
    int16_t friendLeft = 0;
    int16_t friendWidth = 9225;
    int16_t friendHeight = 5445;
    std::array<int16_t, 5> friendColWidth{900, 900, 900, 900, 900};

    // The export window's last choices: the format by its command-line name ("mbox", "maildir",
    // "eml") and the folder the export went into. Empty until the first export.
    std::string exportFormat;
    std::string exportFolder;
    // The mail server of the last upload as the window took it (the password is never kept): the
    // server's name, its port (0: the one of the connection's kind), the user, the folder, and the
    // connection's kind by its address scheme ("imaps", "imap"). Empty until the first upload.
    std::string imapServer;
    int32_t imapPort = 0;
    std::string imapUser;
    std::string imapFolder;
    std::string imapSecurity;

    // The main window's layout as the user left it: the years at a glance shown, the mail lines
    // grouped by conversation, and the sizes of the splitters between the key list and the rest and
    // between the lines and the mail (pixels, "210,570"; empty for the design's).
    bool showYears = false;
    bool threadedLines = false;
    std::string keySplit;
    std::string mailSplit;
    // The trash window's column widths as the user dragged them (pixels; empty: fitted to the contents).
    std::string trashColumns;
};

} // namespace kamo
