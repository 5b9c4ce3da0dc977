#pragma once
// Reading and writing KAMOMAIL.ini.
#include "startup/Settings.h"

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
// failed; the program then ends.
bool WriteSettings(const Settings& s, const FormGeometry& mainForm, Prompter& prompter);

constexpr int kTwipsPerPixel = 15;

} // namespace kamo
