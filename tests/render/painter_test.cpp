// Drawing scenes of small synthetic bitmaps: where a turned needle lands,
// transparency (also as coverage under bilinear sampling), the hidden flag,
// icon pictures and the drawing order.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "gauge/records.h"
#include "render/painter.h"

namespace panelhost::render {
namespace {

constexpr std::uint32_t kTransparent = gauge::kDrawTransparent;
constexpr std::uint32_t kBilinear = gauge::kDrawBilinear;
constexpr std::uint32_t kHidden = gauge::kDrawHidden;

const Rgb kGrey{100, 100, 100}, kNeedle{227, 227, 227}, kTip{250, 20, 20}, kBlack{};

std::shared_ptr<Bitmap> solid(int w, int h, Rgb c) {
    auto b = std::make_shared<Bitmap>();
    b->width = w;
    b->height = h;
    b->pixels.assign(std::size_t(w) * h, c);
    b->black.assign(std::size_t(w) * h, (c.r | c.g | c.b) == 0);
    return b;
}

void put(Bitmap& b, int x, int y, Rgb c) {
    b.pixels[std::size_t(y) * b.width + x] = c;
    b.black[std::size_t(y) * b.width + x] = (c.r | c.g | c.b) == 0;
}

Element image(std::shared_ptr<const Bitmap> bmp, Point at, std::uint32_t flags = 0) {
    Element e;
    e.kind = ElementKind::StaticImage;
    e.position = at;
    e.draw_flags = flags;
    e.bitmaps = {std::move(bmp)};
    return e;
}

// A 25 x 5 needle pointing +x from pivot (2, 2): black everywhere except a
// bar on row 2 from x 6 to 21 and a red tip pixel at x 22 (20 px from the
// pivot), with one more grey pixel above and below the bar.
std::shared_ptr<Bitmap> needle_bitmap() {
    auto b = solid(25, 5, kBlack);
    for (int x = 6; x <= 21; ++x) {
        put(*b, x, 2, kNeedle);
        put(*b, x, 1, kNeedle);
        put(*b, x, 3, kNeedle);
    }
    put(*b, 22, 2, kTip);
    return b;
}

// A 64 x 64 grey background with the needle turning about (32, 32); one
// table row per direction so the value does not matter.
Scene needle_scene(double degrees, std::uint32_t flags) {
    Scene s{64, 64, {}};
    s.elements.push_back(image(solid(64, 64, kGrey), {0, 0}));
    Element n;
    n.kind = ElementKind::Needle;
    n.position = {32, 32};
    n.pivot = {2, 2};
    n.draw_flags = flags;
    const double r = degrees * M_PI / 180.0;
    n.table = {{{32 + int(std::lround(1000 * std::cos(r))), 32 + int(std::lround(1000 * std::sin(r)))}, 0.0}};
    n.value = 0.0;
    n.bitmaps = {needle_bitmap()};
    s.elements.push_back(std::move(n));
    return s;
}

// Centroid of the pixels that are tip-red (red dominant).
std::pair<double, double> tip_centroid(const Frame& f) {
    double sx = 0, sy = 0, n = 0;
    for (int y = 0; y < f.height; ++y)
        for (int x = 0; x < f.width; ++x) {
            const Rgba& p = f.at(x, y);
            if (p.r > 160 && p.g < 120) { sx += x; sy += y; n += 1; }
        }
    return n ? std::pair{sx / n, sy / n} : std::pair{-1.0, -1.0};
}

TEST(Painter, NeedleTipLandsWhereItsAngleSays) {
    for (std::uint32_t flags : {kTransparent, kTransparent | kBilinear}) {
        for (double deg : {0.0, 30.0, 90.0, 135.0, 180.0, 250.0, 270.0, 333.0}) {
            const Frame f = render(needle_scene(deg, flags));
            const auto [x, y] = tip_centroid(f);
            const double r = deg * M_PI / 180.0;
            EXPECT_NEAR(x, 32 + 20 * std::cos(r), 0.75) << deg << " deg, flags " << flags;
            EXPECT_NEAR(y, 32 + 20 * std::sin(r), 0.75) << deg << " deg, flags " << flags;
        }
    }
}

TEST(Painter, TransparentNeedleLeavesBackgroundAroundItsShape) {
    const Frame f = render(needle_scene(90.0, kTransparent));
    // Pivot pixel and the black stretch before the bar: background.
    EXPECT_EQ(f.at(32, 32), (Rgba{100, 100, 100, 255}));
    EXPECT_EQ(f.at(32, 35), (Rgba{100, 100, 100, 255}));
    // On the bar (pointing down, 10 px out): needle grey.
    EXPECT_EQ(f.at(32, 42), (Rgba{227, 227, 227, 255}));
    // Without the transparent flag the black of the bitmap is drawn.
    const Frame opaque = render(needle_scene(90.0, 0));
    EXPECT_EQ(opaque.at(32, 35), (Rgba{0, 0, 0, 255}));
    EXPECT_EQ(opaque.at(32, 42), (Rgba{227, 227, 227, 255}));
}

TEST(Painter, BilinearTransparencyBlendsEdgesWithoutBlackFringe) {
    // At an odd angle every drawn pixel lies between the background grey and
    // the needle's colours; a black fringe would pull some below 100.
    const Frame f = render(needle_scene(33.0, kTransparent | kBilinear));
    int blended = 0;
    for (const Rgba& p : f.pixels) {
        EXPECT_EQ(p.a, 255);
        EXPECT_GE(std::min({p.r, p.g, p.b}), 20) << "darker than any source colour";
        if (p.g > 100 && p.g < 227 && p.r == p.g) ++blended;
        EXPECT_FALSE(p.r < 100 && p.g < 100 && p.b < 100) << "black fringe";
    }
    EXPECT_GT(blended, 10) << "edges should be blended, not cut";
}

TEST(Painter, EmptyAreaIsTransparentAndBlackIsLeftOutOnlyUnderTheFlag) {
    // 4 x 3 root with a pure-black left column; drawn at (1, 0) in a 6 x 3 scene.
    auto root = solid(4, 3, kGrey);
    for (int y = 0; y < 3; ++y) put(*root, 0, y, kBlack);
    for (std::uint32_t flags : {kTransparent, 0u}) {
        Scene s{6, 3, {image(root, {1, 0}, flags)}};
        const Frame f = render(s);
        EXPECT_EQ(f.at(0, 1).a, 0) << "nothing drawn there";
        EXPECT_EQ(f.at(5, 1).a, 0) << "nothing drawn there";
        EXPECT_EQ(f.at(1, 1), flags ? Rgba{} : (Rgba{0, 0, 0, 255}));
        EXPECT_EQ(f.at(2, 1), (Rgba{100, 100, 100, 255}));
    }
}

TEST(Painter, IconPicksPictureHiddenSkipsOnlyItselfChildrenOnTop) {
    const Rgb kRed{238, 56, 0}, kGreenLamp{105, 221, 1};
    auto make_scene = [&](double value, std::uint32_t icon_flags) {
        Scene s{8, 8, {image(solid(8, 8, kGrey), {0, 0})}};
        Element icon;
        icon.kind = ElementKind::Icon;
        icon.position = {2, 2};
        icon.draw_flags = icon_flags;
        icon.switch_mode = 3;
        icon.picture_count = 2;
        icon.value = value;
        icon.bitmaps = {solid(2, 2, kRed), solid(2, 2, kGreenLamp)};
        s.elements.push_back(icon);
        // A child overlapping the icon's lower-right pixel, drawn after it.
        s.elements.push_back(image(solid(2, 2, kNeedle), {3, 3}));
        return render(s);
    };
    const Rgba red{238, 56, 0, 255}, green{105, 221, 1, 255}, grey{100, 100, 100, 255},
        child{227, 227, 227, 255};
    struct Case { double value; std::uint32_t flags; Rgba at22; };
    const Case cases[] = {
        {0.0, kTransparent, red}, {1.0, kTransparent, green}, {15001.0, kTransparent, green},
        {std::nan(""), kTransparent, red}, {1.0, kTransparent | kHidden, grey},
    };
    for (const Case& c : cases) {
        const Frame f = make_scene(c.value, c.flags);
        EXPECT_EQ(f.at(2, 2), c.at22) << "value " << c.value << " flags " << c.flags;
        EXPECT_EQ(f.at(3, 3), child) << "the child is drawn over its parent, hidden or not";
    }
}

}  // namespace
}  // namespace panelhost::render
