// The width rules of the menu, apart from any window: points from the menu
// font's height, the entries' widths per family and the common width of
// the fixed items.
#include <gtest/gtest.h>

#include "tray/menu_metrics.h"

TEST(MenuMetrics, ElevenPixelFontAtNinetySixDpiIsEightPoints)
{
    EXPECT_EQ(pointsFromFontHeight(-11, 96), 8);
    EXPECT_EQ(pointsFromFontHeight(-16, 96), 12);
    EXPECT_EQ(pointsFromFontHeight(-13, 96), 10);  // 9.75 rounds to 10
    EXPECT_EQ(pointsFromFontHeight(-15, 120), 9);
}

TEST(MenuMetrics, TenCharacterDescriptionAndNoneAtEightPoints)
{
    EXPECT_EQ(saverItemWidth(10, 8, FAMILY_NT), 80);
    EXPECT_EQ(saverItemWidth(10, 8, FAMILY_95), 90);
    EXPECT_EQ(noneItemWidth(8), 48);
    // "[none]" has no extra pixel per character on either family.
    EXPECT_EQ(noneItemWidth(8), saverItemWidth(6, 8, FAMILY_NT));
    EXPECT_NE(noneItemWidth(8), saverItemWidth(6, 8, FAMILY_95));
    EXPECT_EQ(saverItemWidth(0, 8, FAMILY_95), 0);
    EXPECT_EQ(saverItemWidth(259, 8, FAMILY_95), 259 * 9);
}

TEST(MenuMetrics, OnlyTheLowSixteenBitsOfAWidthAreKept)
{
    EXPECT_EQ(saverItemWidth(259, 300, FAMILY_NT), static_cast<WORD>((259 * 300) & 0xFFFF));
    EXPECT_EQ(saverItemWidth(259, 300, FAMILY_95), static_cast<WORD>((259 * 301) & 0xFFFF));
}

TEST(MenuMetrics, CommonWidthForSixToFourteenPoints)
{
    const UINT widths[] = {125, 146, 167, 188, 209, 229, 250, 271, 292};
    for (int points = 6; points <= 14; ++points)
        EXPECT_EQ(commonItemWidth(points), widths[points - 6]) << points << " points";
}
