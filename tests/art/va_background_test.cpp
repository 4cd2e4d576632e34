// Fixed properties of the volts-amperes meter's background bitmap: format and
// palette, where pure black (the transparent colour) may stand, the plate's
// outline, the instrument's parts, and the calibration: every table row's
// point lies on the painted tick of its value.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>

#include "lib/analysis.h"
#include "lib/bmp.h"
#include "lib/geometry.h"

namespace {

using art::Rgb8;
using art::Vec2;

const art::Bitmap& background() {
    static const art::Bitmap bm = [] {
        auto r = art::read_bmp(SOURCE_DIR "/gauges/va_meter/bitmaps/background.bmp");
        if (!r) throw std::runtime_error(r.error());
        return *r;
    }();
    return bm;
}

bool is_black(Rgb8 c) { return c == art::pure_black; }
double luminance(Rgb8 c) { return 0.30 * c.r + 0.59 * c.g + 0.11 * c.b; }

// Mean colour of the pixels in a box (inclusive).
std::array<double, 3> mean(int x0, int y0, int x1, int y1) {
    std::array<double, 3> s{};
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x) {
            const Rgb8 c = background().at(x, y);
            s[0] += c.r, s[1] += c.g, s[2] += c.b;
        }
    const double n = double((x1 - x0 + 1) * (y1 - y0 + 1));
    return {s[0] / n, s[1] / n, s[2] / n};
}

TEST(VaBackground, FormatAndPalette) {
    const art::Bitmap& bm = background();
    EXPECT_EQ(bm.width, 256);
    EXPECT_EQ(bm.height, 256);
    EXPECT_EQ(bm.bits_per_pixel, 8);
    EXPECT_TRUE(bm.bottom_up);
    ASSERT_EQ(bm.palette.size(), 256u);
    EXPECT_TRUE(is_black(bm.palette[0]));
    for (std::size_t i = 1; i < 256; ++i) EXPECT_FALSE(is_black(bm.palette[i])) << "entry " << i;
    const std::set<std::uint8_t> used(bm.indices.begin(), bm.indices.end());
    EXPECT_EQ(used.size(), 256u) << "every palette entry is in use";
}

// The plate: columns 5..245 and rows 11..243, the lower-right corner cut from
// column 244 at row 209 to column 214 at row 243. Outside it everything is
// pure black; inside nothing is.
TEST(VaBackground, PureBlackExactlyOutsideThePlate) {
    const art::Bitmap& bm = background();
    auto rightmost = [&](int y) {
        int r = -1;
        for (int x = 0; x < bm.width; ++x)
            if (!is_black(bm.at(x, y))) r = x;
        return r;
    };
    EXPECT_EQ(rightmost(208), 245);
    EXPECT_EQ(rightmost(209), 244);
    EXPECT_EQ(rightmost(243), 214);
    for (int y = 209; y <= 243; ++y) {
        const double straight = 244.0 - (y - 209) * 30.0 / 34.0;
        EXPECT_LE(std::abs(rightmost(y) - straight), 1.0) << "the cut is a straight diagonal, row " << y;
    }
    for (int y = 0; y < bm.height; ++y) {
        const int right = y < 209 ? 245 : rightmost(y);
        for (int x = 0; x < bm.width; ++x) {
            const bool plate = y >= 11 && y <= 243 && x >= 5 && x <= right;
            ASSERT_EQ(!is_black(bm.at(x, y)), plate) << "at " << x << "," << y;
        }
    }
    EXPECT_TRUE(art::all_connected_to_edge(bm.width, bm.height, [&](int x, int y) { return is_black(bm.at(x, y)); }));
}

TEST(VaBackground, PlateScrewsBezelAndFace) {
    const art::Bitmap& bm = background();
    // Dark grey plate and near-black face.
    for (const auto& [box, want] : std::initializer_list<std::pair<std::array<int, 4>, std::array<double, 3>>>{
             {{10, 90, 16, 160}, {75, 75, 79}},    // plate, left of the bezel
             {{230, 55, 241, 65}, {75, 75, 79}},   // plate, upper right
             {{110, 95, 125, 110}, {38, 39, 42}},  // face, above the letters
             {{100, 145, 120, 155}, {38, 39, 42}},  // face, below the letters
         }) {
        const auto m = mean(box[0], box[1], box[2], box[3]);
        for (int k = 0; k < 3; ++k) EXPECT_NEAR(m[std::size_t(k)], want[std::size_t(k)], 8.0) << "box at " << box[0] << "," << box[1];
    }
    // Domed screw heads: bright highlights, well above the plate's grey.
    for (const Vec2 s : {Vec2{45, 37}, Vec2{218, 39}, Vec2{36, 208}, Vec2{211, 208}}) {
        double brightest = 0;
        for (int y = int(s.y) - 4; y <= int(s.y) + 4; ++y)
            for (int x = int(s.x) - 4; x <= int(s.x) + 4; ++x) brightest = std::max(brightest, luminance(bm.at(x, y)));
        EXPECT_GT(brightest, 170) << "screw at " << s.x << "," << s.y;
    }
    // The bezel's bright rim: along rays from (127, 126), the brightest pixel
    // between radius 90 and 115 lies about 105 out (rays that cross a major
    // tick are skipped: the ticks are as bright).
    std::vector<double> radii;
    for (int deg = 0; deg < 360; deg += 6) {
        double best_r = 0, best = -1;
        for (double r = 90; r <= 115; r += 0.5) {
            const Vec2 p = art::polar({127.5, 126.5}, deg, r);
            const double l = luminance(bm.at(int(p.x), int(p.y)));
            if (l > best) best = l, best_r = r;
        }
        radii.push_back(best_r);
    }
    std::ranges::sort(radii);
    EXPECT_NEAR(radii[radii.size() / 2], 105.0, 2.5);
}

// A major tick: its centre line from the inner to the outer end, in pixel
// indices (the table of the dial). The volts 20 tick starts at column 43.
struct Tick {
    const char* name;
    Vec2 inner, outer;
};
constexpr Tick volts_0{"volts 0", {91.5, 180}, {91.5, 196}};
constexpr Tick volts_10{"volts 10", {55, 159}, {39, 173}};
constexpr Tick volts_20{"volts 20", {43, 122}, {24, 122}};
constexpr Tick volts_30{"volts 30", {59, 85}, {49, 72}};
constexpr Tick volts_40{"volts 40", {96.5, 68}, {96.5, 52}};
constexpr Tick amps_60{"amps 60", {135.5, 67}, {135.5, 50}};
constexpr Tick amps_40{"amps 40", {174, 83}, {185, 71}};
constexpr Tick amps_20{"amps 20", {189, 123.5}, {205, 123.5}};
constexpr Tick amps_0{"amps 0", {168, 158}, {181, 174}};
constexpr Tick amps_minus_20{"amps -20", {130.5, 179}, {130.5, 195}};

constexpr Tick all_ticks[] = {volts_0, volts_10, volts_20, volts_30, volts_40,
                              amps_60, amps_40, amps_20, amps_0,  amps_minus_20};

constexpr Rgb8 tick_colour{237, 229, 230};

bool near_a_tick(Vec2 p, double distance) {
    for (const Tick& t : all_ticks)
        if (art::distance_to_segment(p, t.inner, t.outer) < distance) return true;
    return false;
}

// Every tick is painted in the tick colour along its whole centre line.
TEST(VaBackground, MajorTicksArePainted) {
    for (const Tick& t : all_ticks) {
        const double len = art::length(t.outer - t.inner);
        EXPECT_GE(len + 1, 17.0) << t.name;
        EXPECT_LE(len + 1, 23.0) << t.name;
        for (double s = 0; s <= len; s += 0.5) {
            const Vec2 p = t.inner + (t.outer - t.inner) * (s / len);
            EXPECT_EQ(background().at(int(std::lround(p.x)), int(std::lround(p.y))), tick_colour)
                << t.name << " at " << p.x << "," << p.y;
        }
        // Beside the tick (4 px off its centre line, at its middle) is face.
        const Vec2 mid = (t.inner + t.outer) * 0.5;
        const Vec2 side = art::perpendicular(art::normalised(t.outer - t.inner)) * 4.5;
        for (const Vec2 q : {mid + side, mid - side})
            EXPECT_LT(luminance(background().at(int(std::lround(q.x)), int(std::lround(q.y)))), 120) << t.name;
    }
}

// Each table row's point: on its tick, 1 to 5 px from the tick's middle
// towards its inner end and within 1.5 px of its centre line.
TEST(VaBackground, CalibrationPointsLieOnTheirTicks) {
    struct Row {
        Vec2 point;
        const Tick& tick;
    };
    const Row rows[] = {
        {{92, 186}, volts_0}, {{50, 164}, volts_10}, {{38, 123}, volts_20}, {{55, 80}, volts_30}, {{98, 61}, volts_40},
        {{135, 62}, amps_60}, {{171, 163}, amps_0},  {{131, 184}, amps_minus_20},
    };
    for (const Row& r : rows) {
        const Vec2 axis = art::normalised(r.tick.outer - r.tick.inner);
        const Vec2 mid = (r.tick.inner + r.tick.outer) * 0.5;
        const double towards_inner = -art::dot(r.point - mid, axis);
        const double off_line = std::abs(art::cross(axis, r.point - mid));
        EXPECT_GE(towards_inner, 1.0) << r.tick.name;
        EXPECT_LE(towards_inner, 5.0) << r.tick.name;
        EXPECT_LE(off_line, 1.5) << r.tick.name;
        EXPECT_EQ(background().at(int(r.point.x), int(r.point.y)), tick_colour) << r.tick.name;
    }
    // The amps 20 and 40 ticks have no rows; they are centred at fixed
    // directions from the amps needle's position.
    const Vec2 amps_position{128, 126};
    EXPECT_NEAR(art::direction_of(amps_position, (amps_20.inner + amps_20.outer) * 0.5), 357.92, 0.1);
    EXPECT_NEAR(art::direction_of(amps_position, (amps_40.inner + amps_40.outer) * 0.5), 316.42, 0.1);
}

// Numerals and the letters V and A: the off-white ink fills exactly its box
// (to within a pixel), and nothing else is as bright around it (the ticks
// beside some numerals left aside).
TEST(VaBackground, NumeralsAndLettersInTheirBoxes) {
    struct Label {
        const char* name;
        int x0, y0, x1, y1;
    };
    const Label labels[] = {
        {"volts 0", 88, 160, 97, 173},   {"volts 10", 58, 146, 75, 160}, {"volts 20", 47, 116, 67, 130},
        {"volts 30", 60, 92, 80, 106},   {"volts 40", 87, 74, 108, 88},  {"amps 60", 124, 74, 145, 88},
        {"amps 40", 153, 89, 174, 103},  {"amps 20", 164, 118, 184, 132}, {"amps 0", 156, 144, 165, 158},
        {"amps -20", 121, 160, 141, 174}, {"V", 92, 124, 107, 140},       {"A", 133, 125, 149, 140},
    };
    for (const Label& l : labels) {
        int x0 = 999, y0 = 999, x1 = -1, y1 = -1;
        for (int y = l.y0 - 3; y <= l.y1 + 3; ++y)
            for (int x = l.x0 - 3; x <= l.x1 + 3; ++x)
                if (background().at(x, y).r > 200 && !near_a_tick({double(x), double(y)}, 3.5))
                    x0 = std::min(x0, x), y0 = std::min(y0, y), x1 = std::max(x1, x), y1 = std::max(y1, y);
        EXPECT_NEAR(x0, l.x0, 1) << l.name;
        EXPECT_NEAR(y0, l.y0, 1) << l.name;
        EXPECT_NEAR(x1, l.x1, 1) << l.name;
        EXPECT_NEAR(y1, l.y1, 1) << l.name;
    }
}

}  // namespace
