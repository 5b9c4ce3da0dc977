#pragma once
// The filters as stored in tblFilter and held in the Filter Table, and the editor's rules for them.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include <SQLiteCpp/Database.h>

#include "common/FilterTable.h"
#include "common/WaitReporter.h"

namespace kamo {

// Fills both tables from tblFilter: action-0 filters first, each group in number order; filters
// with another action code are copied into the Read Filter Table as well. Sets the wait lines.
// On a database error the tables hold what was read before it and the result is false.
bool LoadFilters(SQLite::Database& db, FilterTables& tables, WaitReporter& wait, std::string* why = nullptr);

// Rewrites tblFilter from slots 0..count-1 in one transaction, numbering the slot at position i
// 10 * (i + 1) and leaving out slots whose trimmed title is empty, then reloads the tables. On a
// database error nothing stored changes, the tables keep the edits and the result is false.
bool SaveFilters(SQLite::Database& db, FilterTables& tables, WaitReporter& wait);

// Trims blanks (ASCII white space and the ideographic space U+3000) at both ends.
std::string TrimText(std::string_view text);

// What the editor's edit area holds: the two text boxes and the set option buttons (-1 = none).
struct EditArea {
    std::string header;  // txtFilterHeader
    std::string terms;   // txtTerms
    int termsIndex = -1; // optTerms 0..5
    int actIndex = -1;   // optAct 0..1
};

struct EditAreaCheck {
    enum class Focus { None, Header, Terms };
    int16_t result = 1;  // 0: a complete, valid filter; 1: not
    std::string message; // to show, in the catalogue's words (empty: say nothing)
    Focus focus = Focus::None;
    bool clearHeader = false; // empty txtFilterHeader before giving it the focus
    bool clearTerms = false;  // empty txtTerms before giving it the focus
};

// Checks the edit area in the editor's order; the window shows the message and moves the focus.
EditAreaCheck EditAreaChack(const EditArea& area);

// The editor's changes to the Filter Table (they reach tblFilter only through SaveFilters).
// Appends the edit area as a new slot with number 0; false when all 256 slots are taken.
bool AddFilter(FilterTables& tables, const EditArea& area);
// Overwrites slot `slot` (number unchanged); false when the slot is not in use.
bool UpdateFilter(FilterTables& tables, int slot, const EditArea& area);
// Puts the empty-slot values into slot `slot`; it disappears at the next save.
bool DeleteFilter(FilterTables& tables, int slot);

// Display order: swaps slot `slot` with its neighbour `slot + step` (step -1 or +1) when both are in
// use and share the action code (loading always puts action-0 filters before the others, so an
// order across that boundary would not survive a save). False when nothing moved.
bool MoveFilter(FilterTables& tables, int slot, int step);
bool CanMoveFilter(const FilterTables& tables, int slot, int step);

} // namespace kamo
