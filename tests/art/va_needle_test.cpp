// The volts-amperes meter's needle bitmap, pixel for pixel. The module embeds
// this one file for both needles, so one shape serves the two pivots.
#include <gtest/gtest.h>

#include "lib/bmp.h"

namespace {

constexpr art::Rgb8 grey{227, 227, 227};

// Rows first..last over columns x0..x1, inclusive: the bar, its widened
// middle, the point.
struct Run {
    int first_row, last_row, x0, x1;
};
constexpr Run needle_shape[] = {{3, 7, 31, 67}, {2, 8, 44, 64}, {4, 6, 68, 69}};

bool in_shape(int x, int y) {
    for (const Run& r : needle_shape)
        if (y >= r.first_row && y <= r.last_row && x >= r.x0 && x <= r.x1) return true;
    return false;
}

TEST(VaNeedle, FormatAndExactShape) {
    auto bm = art::read_bmp(SOURCE_DIR "/gauges/va_meter/bitmaps/needle.bmp");
    ASSERT_TRUE(bm.has_value()) << bm.error();
    EXPECT_EQ(bm->width, 70);
    EXPECT_EQ(bm->height, 14);
    EXPECT_EQ(bm->bits_per_pixel, 8);
    EXPECT_TRUE(bm->bottom_up);
    EXPECT_EQ(bm->palette.size(), 256u);

    int lit = 0;
    for (int y = 0; y < bm->height; ++y)
        for (int x = 0; x < bm->width; ++x) {
            const art::Rgb8 c = bm->at(x, y);
            ASSERT_TRUE(c == grey || c == art::pure_black) << "stray colour at " << x << "," << y;
            EXPECT_EQ(c == grey, in_shape(x, y)) << "at " << x << "," << y;
            lit += c == grey;
        }
    // 5 x 37 bar + 2 x 21 widening + 3 x 2 point
    EXPECT_EQ(lit, 185 + 42 + 6);
    // The pivot (column 2) and the 28 columns after it stay transparent.
    for (int y = 0; y < bm->height; ++y)
        for (int x = 0; x <= 30; ++x) EXPECT_EQ(bm->at(x, y), art::pure_black);
}

}  // namespace
