// The generator warning lamp's committed bitmaps: the dark lamp (background
// and picture 0) and the lit lamp (picture 1).
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <filesystem>

#include "lib/analysis.h"
#include "lib/bmp.h"
#include "lib/registry.h"

namespace {

const std::filesystem::path kBitmaps = std::filesystem::path(SOURCE_DIR) / "gauges/generator_lamp/bitmaps";
constexpr int kSize = 128;

art::Bitmap load(const char* name) {
    auto bm = art::read_bmp(kBitmaps / name);
    if (!bm) ADD_FAILURE() << name << ": " << bm.error();
    return bm.value_or(art::Bitmap{});
}

bool transparent(art::Rgb8 c) { return c == art::pure_black; }
int max_channel(art::Rgb8 c) { return std::max({c.r, c.g, c.b}); }

struct Average {
    double r = 0, g = 0, b = 0;
};
// The mean colour of the pixels whose centres lie within radius of (cx, cy).
Average disc_average(const art::Bitmap& bm, double cx, double cy, double radius) {
    Average a;
    int n = 0;
    for (int y = 0; y < bm.height; ++y)
        for (int x = 0; x < bm.width; ++x)
            if (const double dx = x + 0.5 - cx, dy = y + 0.5 - cy; dx * dx + dy * dy < radius * radius) {
                const art::Rgb8 c = bm.at(x, y);
                a.r += c.r, a.g += c.g, a.b += c.b, ++n;
            }
    return {a.r / n, a.g / n, a.b / n};
}

class GeneratorLampBitmaps : public ::testing::Test {
protected:
    art::Bitmap dark = load("lamp_dark.bmp");
    art::Bitmap lit = load("lamp_lit.bmp");
};

TEST_F(GeneratorLampBitmaps, AreIndexed128SquareWithBlackAtBothPaletteEnds) {
    for (const art::Bitmap* bm : {&dark, &lit}) {
        EXPECT_EQ(bm->width, kSize);
        EXPECT_EQ(bm->height, kSize);
        EXPECT_EQ(bm->bits_per_pixel, 8);
        EXPECT_TRUE(bm->bottom_up);
        ASSERT_EQ(bm->palette.size(), 256u);
        EXPECT_EQ(bm->palette.front(), art::pure_black);
        EXPECT_EQ(bm->palette.back(), art::pure_black);
    }
}

// Pure black is the host's transparent colour: it must fill exactly the
// area outside the housing, the same pixels in both pictures, with no
// see-through hole inside the housing.
TEST_F(GeneratorLampBitmaps, TransparentAreaIsTheSameEdgeConnectedOutside) {
    ASSERT_EQ(dark.pixels.size(), std::size_t(kSize * kSize));
    ASSERT_EQ(lit.pixels.size(), std::size_t(kSize * kSize));
    for (const art::Bitmap* bm : {&dark, &lit}) {
        auto black = [bm](int x, int y) { return transparent(bm->at(x, y)); };
        EXPECT_EQ(art::count_pixels(kSize, kSize, black), 7712u);
        EXPECT_TRUE(art::all_connected_to_edge(kSize, kSize, black));
    }
    int x0 = kSize, y0 = kSize, x1 = -1, y1 = -1, mismatches = 0;
    for (int y = 0; y < kSize; ++y)
        for (int x = 0; x < kSize; ++x) {
            if (transparent(dark.at(x, y)) != transparent(lit.at(x, y))) ++mismatches;
            if (!transparent(dark.at(x, y)))
                x0 = std::min(x0, x), y0 = std::min(y0, y), x1 = std::max(x1, x), y1 = std::max(y1, y);
        }
    EXPECT_EQ(mismatches, 0);
    // The housing spans x 12..118, y 13..113.
    EXPECT_EQ((std::array{x0, y0, x1, y1}), (std::array{12, 13, 118, 113}));
}

TEST_F(GeneratorLampBitmaps, EveryOpaquePixelHasAChannelOfAtLeast38) {
    for (const art::Bitmap* bm : {&dark, &lit}) {
        int too_dark = 0;
        for (const art::Rgb8 c : bm->pixels)
            if (!transparent(c) && max_channel(c) < 38) ++too_dark;
        EXPECT_EQ(too_dark, 0);
    }
}

// The host switches between the two pictures; outside the lens the switch
// must not show.
TEST_F(GeneratorLampBitmaps, DarkAndLitDifferOnlyAtTheLens) {
    ASSERT_EQ(dark.pixels.size(), lit.pixels.size());
    int worst = 0;
    for (int y = 0; y < kSize; ++y)
        for (int x = 0; x < kSize; ++x) {
            if (x >= 26 && x <= 70 && y >= 41 && y <= 86) continue;
            const art::Rgb8 a = dark.at(x, y), b = lit.at(x, y);
            worst = std::max({worst, std::abs(a.r - b.r), std::abs(a.g - b.g), std::abs(a.b - b.b)});
        }
    EXPECT_LE(worst, 10);
}

TEST_F(GeneratorLampBitmaps, LensIsDullCrimsonWhenDarkAndGlowsRedWhenLit) {
    ASSERT_EQ(dark.pixels.size(), lit.pixels.size());
    struct Case {
        const art::Bitmap* bm;
        Average expected;
    };
    for (const Case& c : {Case{&dark, {127, 48, 63}}, Case{&lit, {182, 75, 64}}}) {
        const Average a = disc_average(*c.bm, 48, 65, 19);
        EXPECT_NEAR(a.r, c.expected.r, 15);
        EXPECT_NEAR(a.g, c.expected.g, 15);
        EXPECT_NEAR(a.b, c.expected.b, 15);
    }
    // The bulb's white-pink glare up and left of the lens centre, only when lit.
    const art::Rgb8 glare = lit.at(45, 63);
    EXPECT_GE(glare.r, 235);
    EXPECT_GE(glare.g, 170);
    EXPECT_GE(glare.b, 170);
    EXPECT_LT(dark.at(45, 63).g, 100);
}

// The committed files are what the drawing code gives, byte for byte.
TEST(GeneratorLampArt, DrawingReproducesTheCommittedFiles) {
    const art::DrawSet draw = art::find_drawing_set("generator_lamp");
    ASSERT_NE(draw, nullptr);
    auto files = draw();
    ASSERT_TRUE(files) << files.error();
    ASSERT_EQ(files->size(), 2u);
    for (const art::OutputFile& f : *files) {
        auto committed = art::read_file(std::filesystem::path(SOURCE_DIR) / f.path);
        ASSERT_TRUE(committed) << committed.error();
        EXPECT_TRUE(*committed == f.bytes) << f.path << " differs from its drawing";
    }
}

}  // namespace
