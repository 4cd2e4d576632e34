// The gear position indicator's committed bitmaps: the instrument face and
// the red and green lamp pictures.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <filesystem>

#include "lib/analysis.h"
#include "lib/bmp.h"
#include "lib/registry.h"

namespace {

const std::filesystem::path kBitmaps = std::filesystem::path(SOURCE_DIR) / "gauges/gear_lamps/bitmaps";
constexpr int kFace = 180, kLamp = 20;
constexpr art::Rgb8 kRed{238, 56, 0}, kGreen{105, 221, 1};

art::Bitmap load(const char* name) {
    auto bm = art::read_bmp(kBitmaps / name);
    if (!bm) ADD_FAILURE() << name << ": " << bm.error();
    return bm.value_or(art::Bitmap{});
}

bool black(art::Rgb8 c) { return c == art::pure_black; }

// Where the lamp elements stand on the face (top-left corners of their
// pictures) and which picture each shows.
struct LampPlace {
    int x, y;
    bool red;
};
constexpr std::array<LampPlace, 4> kPlaces{{{122, 72, true}, {33, 72, true}, {124, 107, false}, {35, 107, false}}};

class GearLampBitmaps : public ::testing::Test {
protected:
    art::Bitmap face = load("background.bmp");
    art::Bitmap red = load("lamp_red.bmp");
    art::Bitmap green = load("lamp_green.bmp");

    void SetUp() override {
        ASSERT_EQ(face.pixels.size(), std::size_t(kFace * kFace));
        ASSERT_EQ(red.pixels.size(), std::size_t(kLamp * kLamp));
        ASSERT_EQ(green.pixels.size(), std::size_t(kLamp * kLamp));
    }
};

TEST_F(GearLampBitmaps, Formats) {
    struct Case {
        const art::Bitmap* bm;
        int size, bits;
    };
    for (const Case& c : {Case{&face, kFace, 24}, Case{&red, kLamp, 8}, Case{&green, kLamp, 8}}) {
        EXPECT_EQ(c.bm->width, c.size);
        EXPECT_EQ(c.bm->height, c.size);
        EXPECT_EQ(c.bm->bits_per_pixel, c.bits);
        EXPECT_TRUE(c.bm->bottom_up);
        EXPECT_EQ(c.bm->palette.size(), c.bits == 8 ? 256u : 0u);
    }
}

// The face is drawn everywhere except its right-most column and three pixels
// at each corner; the two-pixel edge is near black, not transparent.
TEST_F(GearLampBitmaps, FaceIsTransparentOnlyAtItsRightColumnAndCorners) {
    int unexpected_black = 0, missing_black = 0, bright_edge = 0;
    for (int y = 0; y < kFace; ++y)
        for (int x = 0; x < kFace; ++x) {
            const int cx = x < 90 ? x : 178 - x, cy = y < 90 ? y : 179 - y;
            const bool should_be_black = x == kFace - 1 || cx + cy <= 1;
            const art::Rgb8 c = face.at(x, y);
            if (black(c) && !should_be_black) ++unexpected_black;
            if (!black(c) && should_be_black) ++missing_black;
            const bool edge = x < 2 || y < 2 || x >= kFace - 2 || y >= kFace - 2;
            if (edge && std::max({c.r, c.g, c.b}) > 40) ++bright_edge;
        }
    EXPECT_EQ(unexpected_black, 0);
    EXPECT_EQ(missing_black, 0);
    EXPECT_EQ(bright_edge, 0);
}

// Both lamp files: one pixel layout, palettes that differ only in the disc's
// entry, 84 transparent corner pixels outside the circle and a disc of 80
// pixels on rows 4..13 and columns 5..14 in the lamp's colour.
TEST_F(GearLampBitmaps, LampsShareOneLayoutAndDifferOnlyInTheDisc) {
    EXPECT_EQ(red.indices, green.indices);
    int palette_differences = 0;
    for (std::size_t i = 0; i < std::min(red.palette.size(), green.palette.size()); ++i)
        if (red.palette[i] != green.palette[i]) ++palette_differences;
    EXPECT_EQ(palette_differences, 1);

    struct Case {
        const art::Bitmap* bm;
        art::Rgb8 colour;
    };
    for (const Case& c : {Case{&red, kRed}, Case{&green, kGreen}}) {
        auto is_black = [&](int x, int y) { return black(c.bm->at(x, y)); };
        EXPECT_EQ(art::count_pixels(kLamp, kLamp, is_black), 84u);
        EXPECT_TRUE(art::all_connected_to_edge(kLamp, kLamp, is_black));
        int outside_circle_not_black = 0, x0 = kLamp, y0 = kLamp, x1 = -1, y1 = -1, disc = 0;
        for (int y = 0; y < kLamp; ++y)
            for (int x = 0; x < kLamp; ++x) {
                const double dx = x + 0.5 - 10, dy = y + 0.5 - 10;
                if (dx * dx + dy * dy > 100 && !is_black(x, y)) ++outside_circle_not_black;
                if (c.bm->at(x, y) == c.colour) {
                    ++disc;
                    x0 = std::min(x0, x), y0 = std::min(y0, y), x1 = std::max(x1, x), y1 = std::max(y1, y);
                }
            }
        EXPECT_EQ(outside_circle_not_black, 0);
        EXPECT_EQ(disc, 80);
        EXPECT_EQ((std::array{x0, y0, x1, y1}), (std::array{5, 4, 14, 13}));
    }
}

// Where each lamp element stands, the face shows the same lamp unlit: the
// lamp's own bezel pixels, and a dim lens of its colour under the disc. So
// showing or hiding a lamp changes nothing but its disc.
TEST_F(GearLampBitmaps, FaceShowsEachLampUnlitUnderItsElement) {
    for (const LampPlace& place : kPlaces) {
        const art::Bitmap& lamp = place.red ? red : green;
        const art::Rgb8 lit = place.red ? kRed : kGreen;
        int bezel_mismatches = 0, lens_pixels = 0, wrong_lens = 0;
        for (int y = 0; y < kLamp; ++y)
            for (int x = 0; x < kLamp; ++x) {
                const art::Rgb8 l = lamp.at(x, y), f = face.at(place.x + x, place.y + y);
                if (black(l)) continue;
                if (l != lit) {
                    if (l != f) ++bezel_mismatches;
                    continue;
                }
                ++lens_pixels;
                // Unlit: the lit colour's dominant channel still dominates,
                // at well under its lit strength.
                const bool dim = place.red ? f.r < lit.r * 3 / 4 : f.g < lit.g * 3 / 4;
                const bool hue = place.red ? (f.r > f.g && f.r > f.b) : (f.g > f.r && f.g > f.b);
                if (!dim || !hue) ++wrong_lens;
            }
        SCOPED_TRACE(testing::Message() << "lamp at " << place.x << "," << place.y);
        EXPECT_EQ(bezel_mismatches, 0);
        EXPECT_EQ(lens_pixels, 80);
        EXPECT_EQ(wrong_lens, 0);
    }
}

// The committed files are what the drawing code gives, byte for byte.
TEST(GearLampArt, DrawingReproducesTheCommittedFiles) {
    const art::DrawSet draw = art::find_drawing_set("gear_lamps");
    ASSERT_NE(draw, nullptr);
    auto files = draw();
    ASSERT_TRUE(files) << files.error();
    ASSERT_EQ(files->size(), 3u);
    for (const art::OutputFile& f : *files) {
        auto committed = art::read_file(std::filesystem::path(SOURCE_DIR) / f.path);
        ASSERT_TRUE(committed) << committed.error();
        EXPECT_TRUE(*committed == f.bytes) << f.path << " differs from its drawing";
    }
}

}  // namespace
