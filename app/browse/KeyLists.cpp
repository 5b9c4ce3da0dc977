#include "browse/KeyLists.h"

#include "common/Messages.h"
#include "common/MessagesBrowse.h"
#include "db/BrowseQueries.h"
#include "mime/MailAddresses.h"

namespace kamo {
namespace {

std::vector<KeyItem> ItemsOf(std::vector<std::string> keys) {
    std::vector<KeyItem> items;
    items.reserve(keys.size());
    for (std::string& key : keys) {
        KeyItem item;
        item.text = std::move(key);
        items.push_back(std::move(item));
    }
    return items;
}

} // namespace

std::vector<KeyItem> FillAddressList(SQLite::Database& db) {
    return ItemsOf(AddressKeys(db));
}

std::string ShownName(const std::string& name) {
    if (name == kNoName || name.find_first_not_of(" \t") == std::string::npos)
        return Say(BrowseText::NoName);
    return name;
}

std::vector<KeyItem> FillNameList(SQLite::Database& db) {
    std::vector<KeyItem> items = ItemsOf(NameKeys(db));
    for (KeyItem& item : items)
        if (const std::string shown = ShownName(item.text); shown != item.text)
            item.shown = shown;
    return items;
}

std::vector<KeyItem> FillDateList(SQLite::Database& db) {
    return ItemsOf(DateKeys(db));
}

std::vector<KeyItem> FillFilterList(SQLite::Database& db) {
    std::vector<KeyItem> items;
    for (FilterKey& key : FilterKeys(db)) {
        KeyItem item;
        item.filterNo = key.number;
        // Read-time filters hold no mail of their own; say so instead of showing an empty view.
        item.text = key.actionCode != 0 ? Say(BrowseText::ReadTimeFilterLine, {key.header}) : std::move(key.header);
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
