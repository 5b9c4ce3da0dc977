#include "browse/KeyLists.h"

#include <SQLiteCpp/Statement.h>

#include "db/MailRows.h"
#include "mime/MailAddresses.h"

namespace kamo {
namespace {

std::vector<KeyItem> SingleColumnKeys(SQLite::Database& db, const std::string& sql) {
    std::vector<KeyItem> items;
    SQLite::Statement st(db, sql);
    while (st.executeStep()) {
        KeyItem item;
        item.text = st.getColumn(0).getString();
        items.push_back(std::move(item));
    }
    return items;
}

} // namespace

std::vector<KeyItem> FillAddressList(SQLite::Database& db) {
    return SingleColumnKeys(db, "SELECT tblSearch_Addr_Data FROM tblSearch_Addresses ORDER BY tblSearch_Addr_Data ASC");
}

std::string ShownName(const std::string& name) {
    if (name == kNoName || name.find_first_not_of(" \t") == std::string::npos)
        return "（名前なし）";
    return name;
}

std::vector<KeyItem> FillNameList(SQLite::Database& db) {
    std::vector<KeyItem> items =
        SingleColumnKeys(db, "SELECT tblSearch_Name_Data FROM tblSearch_Name ORDER BY tblSearch_Name_Data ASC");
    for (KeyItem& item : items)
        if (const std::string shown = ShownName(item.text); shown != item.text)
            item.shown = shown;
    return items;
}

std::vector<KeyItem> FillDateList(SQLite::Database& db) {
    // Jumps from date to date down the primary index instead of reading every mail: the same dates
    // in the same order as a scan, at a cost that grows with the number of dates only.
    const std::string latest = "SELECT MAX(" + MailColumn::kYmd + ") FROM tblKamoMail";
    return SingleColumnKeys(
        db, "WITH RECURSIVE d(ymd) AS ( " + latest + " UNION ALL SELECT (" + latest + " WHERE " + MailColumn::kYmd +
                " < d.ymd) FROM d WHERE d.ymd IS NOT NULL) SELECT ymd FROM d WHERE ymd IS NOT NULL");
}

std::vector<KeyItem> FillFilterList(SQLite::Database& db) {
    std::vector<KeyItem> items;
    SQLite::Statement st(db, "SELECT tblFilter_No, tblFilter_Header, tblFilter_ActionCode FROM tblFilter"
                             " ORDER BY tblFilter_No ASC");
    while (st.executeStep()) {
        KeyItem item;
        item.filterNo = st.getColumn(0).getInt64();
        item.text = st.getColumn(1).getString();
        // Read-time filters hold no mail of their own; say so instead of showing an empty view.
        if (st.getColumn(2).getInt64() != 0)
            item.text += "　（１）メールを読み込まない";
        items.push_back(std::move(item));
    }
    return items;
}

std::vector<KeyItem> FillKeyList(SQLite::Database& db, ViewMode mode) {
    switch (mode) {
    case ViewMode::Address:
        return FillAddressList(db);
    case ViewMode::Name:
        return FillNameList(db);
    case ViewMode::Date:
        return FillDateList(db);
    case ViewMode::Filter:
        break;
    }
    return FillFilterList(db);
}

MailSelection SelectionOf(ViewMode mode, const KeyItem& item) {
    switch (mode) {
    case ViewMode::Address:
        return MailSelection::Of(MailSelection::Kind::Address, item.text);
    case ViewMode::Name:
        return MailSelection::Of(MailSelection::Kind::Name, item.text);
    case ViewMode::Date:
        return MailSelection::Of(MailSelection::Kind::Date, item.text);
    case ViewMode::Filter:
        break;
    }
    return MailSelection::Filter(item.filterNo, item.text);
}

} // namespace kamo
