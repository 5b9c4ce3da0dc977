#include "browse/ViewModes.h"

#include "common/MessagesBrowse.h"

namespace kamo {

ViewMode ViewModeOf(int16_t displayType) {
    switch (displayType) {
    case 0:
        return ViewMode::Address;
    case 1:
        return ViewMode::Name;
    case 2:
        return ViewMode::Date;
    default:
        return ViewMode::Filter;
    }
}

int16_t NextDisplayType(int16_t displayType) {
    if (displayType < 0 || displayType >= 3)
        return 0;
    return static_cast<int16_t>(displayType + 1);
}

const ViewModeTexts& TextsOf(ViewMode mode) {
    static const ViewModeTexts kTexts[] = {
        {TextOf(BrowseText::AddressLabel), TextOf(BrowseText::AddressDelete), TextOf(BrowseText::AddressDeleteTip)},
        {TextOf(BrowseText::NameLabel), TextOf(BrowseText::NameDelete), TextOf(BrowseText::NameDeleteTip)},
        {TextOf(BrowseText::DateLabel), TextOf(BrowseText::DateDelete), TextOf(BrowseText::DateDeleteTip)},
        {TextOf(BrowseText::FilterLabel), TextOf(BrowseText::FilterDelete), TextOf(BrowseText::FilterDeleteTip)},
    };
    return kTexts[static_cast<int>(mode)];
}

} // namespace kamo
