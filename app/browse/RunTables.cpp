#include "browse/RunTables.h"

namespace kamo {

void FillMonthTable(RunTables& tables) {
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    for (size_t i = 0; i < 12; ++i)
        tables.months[i] = kMonths[i];
    tables.months[12].clear();
}

void FillDrawerTable(RunTables& tables) {
    static const char* const kColours[] = {"ピンク", "黄色", "紫", "緑色", "黒", "水色", "赤", "茶色", "橙色"};
    for (size_t i = 0; i < tables.drawerColours.size(); ++i)
        tables.drawerColours[i] = kColours[i];
}

std::string MonthNumber(const RunTables& tables, const std::string& name) {
    for (size_t i = 0; i < 12; ++i) {
        if (!name.empty() && tables.months[i] == name) {
            std::string n = std::to_string(i + 1);
            return n.size() < 2 ? "0" + n : n;
        }
    }
    return {};
}

} // namespace kamo
