#pragma once
// Filters in memory: the Filter Table and the Read Filter Table (action code not 0).
#include <array>
#include <cstdint>
#include <string>

namespace kamo {

struct FilterEntry {
    int16_t number = 9999;   // tblFilter_No
    int16_t termsCode = 99;  // tblFilter_TermsCode: rule 0..5
    int16_t actionCode = 99; // tblFilter_ActionCode: 0 sort into a view, 1 do not read
    std::string header;      // tblFilter_Header: display title
    std::string data;        // tblFilter_Data: condition
    bool IsEmptySlot() const { return number == 9999 && termsCode == 99 && actionCode == 99; }
};

constexpr int kFilterSlots = 256;

struct FilterTables {
    std::array<FilterEntry, kFilterSlots> filters{};
    int16_t count = 0;
    std::array<FilterEntry, kFilterSlots> readFilters{};
    int16_t readCount = 0;
    bool cancelFlag = false; // set when the editor is left with Cancel
};

} // namespace kamo
