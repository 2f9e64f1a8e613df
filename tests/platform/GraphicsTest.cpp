#include <gtest/gtest.h>

#include <climits>

#include "platform/Graphics.h"

namespace {

TEST(Graphics, MulDivRoundsHalvesAwayFromZero) {
    EXPECT_EQ(MulDiv(-14, 72, 96), -11);
    EXPECT_EQ(MulDiv(14, 72, 96), 11);
    EXPECT_EQ(MulDiv(-13, 72, 96), -10);
    EXPECT_EQ(MulDiv(5, 1, 2), 3);
    EXPECT_EQ(MulDiv(-5, 1, 2), -3);
    EXPECT_EQ(MulDiv(5, 1, -2), -3);
    EXPECT_EQ(MulDiv(-5, -1, -2), -3);
    EXPECT_EQ(MulDiv(7, 1, 3), 2);
    EXPECT_EQ(MulDiv(INT32_MAX, INT32_MAX, INT32_MAX), INT32_MAX);
    EXPECT_EQ(MulDiv(INT32_MIN, 1, 1), INT32_MIN);
    EXPECT_EQ(MulDiv(INT32_MAX, 2, 1), -1);
    EXPECT_EQ(MulDiv(1, 1, 0), -1);
}

TEST(Graphics, FontSizeIsInWholePointsOfItsOwnPixelsPerInch) {
    TFont font;
    EXPECT_EQ(font.PixelsPerInch, 96);
    for (const auto& [height, points] : {std::pair{-13, 10}, {-14, 11}, {-16, 12}, {-12, 9}, {0, 0}, {16, -12}}) {
        font.Height = height;
        EXPECT_EQ(font.Size(), points) << height;
    }
    font.Height = INT32_MIN;
    font.PixelsPerInch = 72;
    EXPECT_EQ(font.Size(), INT32_MAX);

    SetScreenPixelsPerInch(120);
    TFont screenFont;
    SetScreenPixelsPerInch(0);
    EXPECT_EQ(ScreenPixelsPerInch(), 120);
    SetScreenPixelsPerInch(96);
    EXPECT_EQ(screenFont.PixelsPerInch, 120);
    screenFont.Height = -16;
    EXPECT_EQ(screenFont.Size(), 10);
}

}  // namespace
