#pragma once
// The left list of the main window: the keys of each view mode.
#include <cstdint>
#include <string>
#include <vector>

#include <SQLiteCpp/Database.h>

#include "browse/ViewModes.h"
#include "export/MailSelection.h"

namespace kamo {

// One line of the left list. In filter mode the filter number travels with the line.
struct KeyItem {
    std::string text;
    int64_t filterNo = 0;
};

std::vector<KeyItem> FillAddressList(SQLite::Database& db);
std::vector<KeyItem> FillNameList(SQLite::Database& db);
// Each date once, newest first.
std::vector<KeyItem> FillDateList(SQLite::Database& db);
std::vector<KeyItem> FillFilterList(SQLite::Database& db);
// The filler of a mode.
std::vector<KeyItem> FillKeyList(SQLite::Database& db, ViewMode mode);

// The mails of a left-list line, for an export.
MailSelection SelectionOf(ViewMode mode, const KeyItem& item);

} // namespace kamo
