// The three real gauge modules, run in the panel host and drawn: where the
// needles land on the painted dial, what the lamps show, and that pure black
// is never drawn.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "render/painter.h"
#include "running_gauge.h"

namespace panelhost::render {
namespace {

using test::RunningGauge;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// Under the transparent flag a pure-black bitmap pixel is never drawn: no
// opaque pure black anywhere, and the frame is see-through exactly where the
// root (background) bitmap is pure black, since every other picture lies
// over the opaque plate.
void expect_black_never_drawn(const Frame& f, const Bitmap& root, const char* what) {
    ASSERT_EQ(f.width, root.width);
    ASSERT_EQ(f.height, root.height);
    int opaque_black = 0, wrong_alpha = 0;
    for (int y = 0; y < f.height; ++y)
        for (int x = 0; x < f.width; ++x) {
            const Rgba& p = f.at(x, y);
            if (p.a == 255 && (p.r | p.g | p.b) == 0) ++opaque_black;
            if ((p.a == 0) != root.is_black(x, y)) ++wrong_alpha;
        }
    EXPECT_EQ(opaque_black, 0) << what;
    EXPECT_EQ(wrong_alpha, 0) << what << ": see-through area differs from the background's pure black";
}

// ------------------------------------------------------------ VA meter

constexpr std::uint32_t kVolts = 752, kAmps = 762, kGate566 = 566, kGate364 = 364;
constexpr std::size_t kAmpsNeedle = 1, kVoltsNeedle = 2;   // drawing order

double direction(double x, double y, Point from) {
    double d = std::atan2(y - from.y, x - from.x) * 180.0 / M_PI;
    return d < 0 ? d + 360.0 : d;
}
double arc(double a, double b) {
    const double d = std::fmod(std::fabs(a - b), 360.0);
    return std::min(d, 360.0 - d);
}

struct Tip {
    double x = -1, y = -1;                // centroid of the tip's pixels
    std::vector<std::pair<int, int>> pixels;
};

// The drawn needle alone (on a transparent frame) and its tip: the covered
// pixels within 3 px of the farthest one from its position.
Tip drawn_tip(const Scene& scene, std::size_t needle) {
    Scene alone{scene.width, scene.height, {scene.elements.at(needle)}};
    const Frame f = render(alone);
    const Point at = scene.elements[needle].position;
    double far = 0;
    for (int y = 0; y < f.height; ++y)
        for (int x = 0; x < f.width; ++x)
            if (f.at(x, y).a >= 128) far = std::max(far, std::hypot(x - at.x, y - at.y));
    Tip tip;
    double sx = 0, sy = 0;
    for (int y = 0; y < f.height; ++y)
        for (int x = 0; x < f.width; ++x)
            if (f.at(x, y).a >= 128 && std::hypot(x - at.x, y - at.y) >= far - 3) {
                sx += x; sy += y;
                tip.pixels.emplace_back(x, y);
            }
    if (!tip.pixels.empty()) {
        tip.x = sx / tip.pixels.size();
        tip.y = sy / tip.pixels.size();
    }
    return tip;
}

bool tick_coloured(const Rgb& c) {   // the off-white (237, 229, 230) of the major ticks
    return std::abs(c.r - 237) <= 30 && std::abs(c.g - 229) <= 30 && std::abs(c.b - 230) <= 30;
}

TEST(VaMeterPixels, NeedleTipsLieOnThePaintedTicks) {
    RunningGauge va("QV_VornVA.gau");
    ASSERT_EQ(va.error(), "");
    auto background = va.bitmap(0x100);
    ASSERT_TRUE(background) << background.error().message;

    // Each value with its table row's point: the needle points there.
    struct Case { std::uint32_t token; double value; std::size_t needle; Point row; };
    const Case cases[] = {
        {kVolts, 0, kVoltsNeedle, {92, 186}}, {kVolts, 10, kVoltsNeedle, {50, 164}},
        {kVolts, 20, kVoltsNeedle, {38, 123}}, {kVolts, 30, kVoltsNeedle, {55, 80}},
        {kVolts, 40, kVoltsNeedle, {98, 61}},
        {kAmps, 60, kAmpsNeedle, {135, 62}}, {kAmps, 0, kAmpsNeedle, {171, 163}},
        {kAmps, -20, kAmpsNeedle, {131, 184}},
    };
    for (const Case& c : cases) {
        auto scene = va.cycle({{kGate566, 1.0}, {c.token, c.value}});
        ASSERT_TRUE(scene) << scene.error().message;
        expect_black_never_drawn(render(*scene), **background, "VA meter");
        const Tip tip = drawn_tip(*scene, c.needle);
        ASSERT_FALSE(tip.pixels.empty()) << "needle " << c.token << " not drawn";
        // The tip overlaps the off-white tick.
        int on_tick = 0;
        for (auto [x, y] : tip.pixels) on_tick += tick_coloured((*background)->at(x, y));
        EXPECT_GE(on_tick, 1) << "token " << c.token << " = " << c.value << ": tip at (" << tip.x
                              << ", " << tip.y << ") is not on its tick";
        // And it points at the row. The needle's visible centre line is its
        // bitmap's row 5, 1 (amps) or 2 (volts) rows above the pivot row, so
        // the tip, 67 px out, stands that far anticlockwise of the row's ray.
        const Element& needle = scene->elements[c.needle];
        const double centre_line = std::atan2(needle.pivot.y - 5.0, 67.0) * 180.0 / M_PI;
        EXPECT_LE(arc(direction(tip.x, tip.y, needle.position),
                      direction(c.row.x, c.row.y, needle.position) - centre_line), 1.0)
            << "token " << c.token << " = " << c.value;
    }
}

TEST(VaMeterPixels, AmpsTwentyAndFortyLandOnTheirTicks) {
    RunningGauge va("QV_VornVA.gau");
    ASSERT_EQ(va.error(), "");
    const Point amps_position{128, 126};
    for (auto [value, tick] : {std::pair{20.0, 357.92}, std::pair{40.0, 316.42}}) {
        auto scene = va.cycle({{kAmps, value}});
        ASSERT_TRUE(scene) << scene.error().message;
        const Tip tip = drawn_tip(*scene, kAmpsNeedle);
        ASSERT_GE(tip.x, 0);
        EXPECT_LE(arc(direction(tip.x, tip.y, amps_position), tick), 1.5)
            << "amps " << value << ": drawn at " << direction(tip.x, tip.y, amps_position);
    }
}

TEST(VaMeterPixels, ShutGateRestsTheVoltsNeedleOnZero) {
    RunningGauge va("QV_VornVA.gau");
    ASSERT_EQ(va.error(), "");
    auto shut = va.cycle({{kGate566, 0.0}, {kGate364, 0.0}, {kVolts, 28.0}});
    ASSERT_TRUE(shut) << shut.error().message;
    auto zero = va.cycle({{kGate566, 1.0}, {kVolts, 0.0}});
    ASSERT_TRUE(zero) << zero.error().message;
    EXPECT_EQ(render(*shut).pixels, render(*zero).pixels);
}

// ------------------------------------------------------------ generator lamp

TEST(GeneratorLampPixels, DarkIsTheBackgroundLitChangesOnlyTheLens) {
    RunningGauge lamp("QV_VornGenerWng.gau");
    ASSERT_EQ(lamp.error(), "");
    auto background = lamp.bitmap(0x100);
    ASSERT_TRUE(background) << background.error().message;
    const Bitmap& bg = **background;

    auto dark = lamp.cycle({{566, 1.0}});
    ASSERT_TRUE(dark) << dark.error().message;
    const Frame dark_frame = render(*dark);
    expect_black_never_drawn(dark_frame, bg, "dark lamp");
    int differing = 0;
    for (int y = 0; y < bg.height; ++y)
        for (int x = 0; x < bg.width; ++x) {
            const Rgb& b = bg.at(x, y);
            const Rgba want = bg.is_black(x, y) ? Rgba{} : Rgba{b.r, b.g, b.b, 255};
            if (dark_frame.at(x, y) != want) ++differing;
        }
    EXPECT_EQ(differing, 0) << "566 = 1 must draw exactly the background";

    for (double value : {0.0, 2.0, kNaN}) {
        auto lit = lamp.cycle({{566, value}});
        ASSERT_TRUE(lit) << lit.error().message;
        const Frame f = render(*lit);
        expect_black_never_drawn(f, bg, "lit lamp");
        int worst_outside = 0, changed_inside = 0;
        for (int y = 0; y < bg.height; ++y)
            for (int x = 0; x < bg.width; ++x) {
                const Rgba& p = f.at(x, y);
                const Rgba& d = dark_frame.at(x, y);
                const int diff = std::max({std::abs(p.r - d.r), std::abs(p.g - d.g), std::abs(p.b - d.b),
                                           std::abs(p.a - d.a)});
                const bool inside = x >= 26 && x <= 70 && y >= 41 && y <= 86;
                if (inside) changed_inside += diff > 40;
                else worst_outside = std::max(worst_outside, diff);
            }
        EXPECT_LE(worst_outside, 10) << "566 = " << value;
        EXPECT_GT(changed_inside, 200) << "566 = " << value << ": the lens should light";
    }
}

// ------------------------------------------------------------ gear lamps

TEST(GearLampPixels, EachWindowShowsTheLampItsTokenSelects) {
    RunningGauge gear("QV_Vorn_GearCtrls.gau");
    ASSERT_EQ(gear.error(), "");
    auto background = gear.bitmap(0x100);
    ASSERT_TRUE(background) << background.error().message;

    const Rgb red{238, 56, 0}, green{105, 221, 1};
    struct Lamp { const char* name; Point at; Rgb colour; };
    const Lamp lamps[] = {   // 20 x 20 pictures at the elements' positions
        {"right red", {122, 72}, red}, {"left red", {33, 72}, red},
        {"right green", {124, 107}, green}, {"left green", {35, 107}, green}};
    auto disc_pixels = [](const Frame& f, const Lamp& l) {
        int n = 0;
        for (int y = l.at.y; y < l.at.y + 20; ++y)
            for (int x = l.at.x; x < l.at.x + 20; ++x) {
                const Rgba& p = f.at(x, y);
                n += p.r == l.colour.r && p.g == l.colour.g && p.b == l.colour.b;
            }
        return n;
    };

    struct Case { double left, right; bool shown[4]; };   // in the order of `lamps`
    const Case cases[] = {
        {0.0, 15001.0, {false, true, true, false}},
        {15001.0, 0.0, {true, false, false, true}},
        {15000.0, kNaN, {false, false, false, false}},
        {-kInf, kInf, {false, true, true, false}},
        {14999.0, 14999.0, {true, true, false, false}},
    };
    for (const Case& c : cases) {
        auto scene = gear.cycle({{333, c.left}, {334, c.right}});
        ASSERT_TRUE(scene) << scene.error().message;
        const Frame f = render(*scene);
        expect_black_never_drawn(f, **background, "gear lamps");
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(disc_pixels(f, lamps[i]), c.shown[i] ? 80 : 0)
                << lamps[i].name << " with 333 = " << c.left << ", 334 = " << c.right;
    }
}

}  // namespace
}  // namespace panelhost::render
