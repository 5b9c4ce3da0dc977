#include "browse/ViewModes.h"

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
        {"アドレス　表示", "アドレス　削除", "選択されているアドレスを削除します"},
        {"送受信者名　表示", "名前　削除", "選択されている名前のメールを削除します"},
        {"日付　表示", "日付　削除", "選択されている日付のメールを削除します"},
        {"フィルター　表示", "フィルター　削除", "選択されている抽出条件のメールを削除します"},
    };
    return kTexts[static_cast<int>(mode)];
}

} // namespace kamo
