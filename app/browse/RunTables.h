#pragma once
// Tables the main window fills when it loads and other commands read while the program runs.
#include <array>
#include <cstdint>
#include <string>

namespace kamo {

struct RunTables {
    // Indices 0..11 hold "Jan".."Dec" (the mail parser turns them into month numbers); 12 stays empty.
    std::array<std::string, 13> months{};
    // The nine colour drawers of a PostPet folder, in PostPet's order. A drawer's list file is the
    // colour + "の引出しリスト.ppl", its mail file the colour + "の引出し.ppm".
    std::array<std::string, 9> drawerColours{};
};

void FillMonthTable(RunTables& tables);
void FillDrawerTable(RunTables& tables);

// "01".."12" for "Jan".."Dec" (exact spelling); empty when the name is not a month.
std::string MonthNumber(const RunTables& tables, const std::string& name);

// Program-wide flags reset whenever the main window loads.
struct BusyFlags {
    int16_t ending = 0;     // the window has begun to close
    int16_t backupView = 0; // a backup archive is on display
};

} // namespace kamo
