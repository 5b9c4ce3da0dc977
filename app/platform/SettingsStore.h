#pragma once
// Reading and writing KAMOMAIL.ini.
//
// Window geometry is stored in twips, 15 to a pixel (96 dpi). A window applies the stored values
// with ToPixels() and, when it closes, hands FromPixels() both its current pixel geometry and the
// twips it was given: every value whose pixel form did not change is written back as the twips
// that were read, so a window that was never moved or resized writes back exactly what it read
// (11745 / 7404 do not drift to 11745 / 7410 by rounding). A minimized window leaves the stored
// geometry as it was.
//
//     FormGeometry stored;                          // filled by ReadSettings (on load)
//     PixelGeometry p = ToPixels(stored);
//     window.move(p.left, p.top);                   // frame position
//     window.resize(p.width, p.height);             // and size, read back as x(), y(), width(), height()
//     FormGeometry now = FromPixels({window.x(), window.y(), window.width(), window.height()}, stored,
//                                   window.isMinimized());
//     WriteSettings(settings, now, prompter);       // on unload
#include <filesystem>
#include <string>

#include "common/Settings.h"

namespace kamo {

class Prompter;

struct ScreenTwips {
    int width = 0;
    int height = 0;
};

// Reads every key into `s` (s.settingsPath names the file) and the main window's geometry.
// Returns false after telling the user when the program must end ("PostPet Dir" present but empty).
bool ReadSettings(Settings& s, FormGeometry& mainForm, const ScreenTwips& screen, Prompter& prompter);

// Writes every key back in the fixed order. Returns false after telling the user when a write
// failed; the program then ends. Keys of other sections and other parts of the program are kept.
bool WriteSettings(const Settings& s, const FormGeometry& mainForm, Prompter& prompter);

// The friend file last read ("Friend File" of "Friend Editer"): where the next choice starts. Empty when
// none was read yet.
std::string ReadFriendFilePath(const std::filesystem::path& settingsPath);
bool WriteFriendFilePath(const std::filesystem::path& settingsPath, const std::string& file);
// The friend file found beside the mailboxes that the user chose not to read ("Friend File Declined"): it is not
// offered again at start. Empty when none was declined.
std::string ReadDeclinedFriendFile(const std::filesystem::path& settingsPath);
bool WriteDeclinedFriendFile(const std::filesystem::path& settingsPath, const std::string& file);

constexpr int kTwipsPerPixel = 15;

// The main window's design size in twips: the least it opens at when no size is stored.
constexpr int kMainFormWidth = 11745;
constexpr int kMainFormHeight = 7404;

// The main window's size when none is stored, and the size its default position centres: two thirds
// of the screen, never below the design size (the design size when the screen is not known).
ScreenTwips DefaultMainFormSize(const ScreenTwips& screen);

// Rounded to the nearest pixel.
int TwipsToPixels(int twips);
int PixelsToTwips(int pixels);

struct PixelGeometry {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};

PixelGeometry ToPixels(const FormGeometry& twips);
// The geometry to store for a window now at `now` that was given `applied`: unchanged values keep
// their stored twips, changed ones are converted.
FormGeometry FromPixels(const PixelGeometry& now, const FormGeometry& applied, bool minimized);

// "Ver" of "KamoMail Environment" as the start-up compares it: the stored text (default "999")
// converted to a number and back to text; text that is no number counts as 0.
std::string StoredVersionText(const std::filesystem::path& settingsFile);

// An archive written by version 2.1.0 or older needs the upgrade: an ordinal text comparison with
// "210", so "1000" does and a missing key ("999") does not.
bool NeedsVersionUpgrade(const std::string& versionText);

// Writes this program's version to "Ver"; false when the file could not be written.
bool WriteVersionKey(const std::filesystem::path& settingsFile);

} // namespace kamo
