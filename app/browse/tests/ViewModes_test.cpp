#include <gtest/gtest.h>

#include <vector>

#include "browse/ViewModes.h"

namespace kamo {
namespace {

TEST(ViewModes, ValuesOutsideZeroToTwoShowTheFilterModeAndTheClickCyclesFourModes) {
    EXPECT_EQ(ViewModeOf(0), ViewMode::Address);
    EXPECT_EQ(ViewModeOf(1), ViewMode::Name);
    EXPECT_EQ(ViewModeOf(2), ViewMode::Date);
    EXPECT_EQ(ViewModeOf(3), ViewMode::Filter);
    EXPECT_EQ(ViewModeOf(7), ViewMode::Filter);
    EXPECT_EQ(ViewModeOf(-1), ViewMode::Filter);
    int16_t t = 0;
    std::vector<int16_t> seen;
    for (int i = 0; i < 4; ++i)
        seen.push_back(t = NextDisplayType(t));
    EXPECT_EQ(seen, (std::vector<int16_t>{1, 2, 3, 0}));
    EXPECT_EQ(NextDisplayType(7), 0);
    EXPECT_STREQ(TextsOf(ViewModeOf(7)).label, "フィルター　表示");
    EXPECT_STREQ(TextsOf(ViewMode::Name).deleteCaption, "名前　削除");
}

} // namespace
} // namespace kamo
