#include "core/progress/GradientMath.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

using namespace tabula;

namespace {
constexpr TColor Green = RgbColor(128, 255, 128);
constexpr TColor Yellow = RgbColor(255, 255, 128);
constexpr TColor Orange = RgbColor(255, 128, 64);
using enum TProgressDirection;
using enum TBarColorStyle;
} // namespace

TEST(GradientMath, MulDivRoundsHalvesAwayFromZero) {
    const struct {
        int number, numerator, denominator, expected;
    } cases[] = {
        {1, 127, 107, 1},
        {2, 127, 107, 2},
        {1, 3, 2, 2},
        {-1, 3, 2, -2},
        {1, -3, 2, -2},
        {1, 3, -2, -2},
        {5, 1, 4, 1},
        {7, 1, 4, 2},
        {1, 1, 0, -1},
        {INT_MAX, 2, 1, -1},
        {INT_MAX, 2, 2, INT_MAX},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(MulDiv(c.number, c.numerator, c.denominator), c.expected)
            << c.number << " * " << c.numerator << " / " << c.denominator;
    }
}

TEST(GradientMath, GradientColorKnownValuesAndRangeError) {
    const struct {
        TColor a, b;
        int count, index;
        TColor expected;
    } cases[] = {
        {Green, Yellow, 108, 1, Green},
        {Green, Yellow, 108, 2, RgbColor(129, 255, 128)},
        {Green, Yellow, 108, 3, RgbColor(130, 255, 128)},
        {Green, Yellow, 108, 108, Yellow},
        {Yellow, Orange, 109, 55, RgbColor(255, 191, 96)},                   // -63.5 to -64
        {RgbColor(0, 0, 0), RgbColor(255, 0, 0), 3, 2, RgbColor(128, 0, 0)}, // 127.5 up
        {RgbColor(255, 0, 0), RgbColor(0, 0, 0), 3, 2, RgbColor(127, 0, 0)}, // 127.5 down
        {Orange, Green, 1, 1, Orange},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(GradientColor(c.a, c.b, c.count, c.index), c.expected)
            << c.count << " / " << c.index;
    }
    for (const int index : {0, 109, -5}) {
        try {
            GradientColor(Green, Yellow, 108, index);
            ADD_FAILURE() << index << " was accepted";
        } catch (const ERangeError& error) {
            EXPECT_STREQ(error.what(), "ColorIndex can't be less than 1 or greater than 108");
        }
    }
}

TEST(GradientMath, FilledLengthRoundsHalvesToEvenAndNeverDivides) {
    const struct {
        int position, min, max, track, expected;
    } cases[] = {
        {30, 0, 100, 215, 64},
        {70, 0, 100, 215, 150},
        {50, 0, 100, 215, 108},
        {0, 0, 100, 215, 0},
        {-3, 0, 100, 215, 0},
        {100, 0, 100, 215, 215},
        {150, 0, 100, 200, 300}, // above Max: more than the track
        {5, 5, 5, 200, 0},
        {6, 5, 5, 200, 200},    // a range of zero width
        {10, 0, -10, 100, 100}, // Max below Min: the width's magnitude
        {INT_MAX, INT_MIN, INT_MAX, 1000, 1000},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FilledLength(c.position, c.min, c.max, c.track), c.expected)
            << c.position << " in " << c.min << ".." << c.max << " of " << c.track;
    }
}
