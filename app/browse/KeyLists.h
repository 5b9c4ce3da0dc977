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
    std::string text; // the key as stored: what the mail is looked up by
    int64_t filterNo = 0;
    std::string shown; // what the list shows when it is not the key itself
    const std::string& Shown() const { return shown.empty() ? text : shown; }
};

// How the list shows a name: the archive's placeholder for a party without a name reads as no name.
std::string ShownName(const std::string& name);

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
