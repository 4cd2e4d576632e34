// The gear position indicator's face (180 x 180, 24 bits per pixel): a grey
// plate with a dark round face, a stylised wing whose struts come down to two
// lamp windows, a copper selector knob with its label above, silver trim
// knobs left and right, and a copper test knob below.
//
// The lamp elements are drawn over the windows at fixed places; the face
// shows the same lamps there with their lenses unlit, so that lighting a lamp
// changes only its disc. Pure black is transparent to the host: it appears
// only in the right-most column and three pixels at each corner.
#include <algorithm>
#include <array>
#include <cmath>
#include <expected>
#include <string>
#include <vector>

#include "lib/canvas.h"
#include "lib/lighting.h"
#include "lib/quantise.h"
#include "lib/text.h"

namespace art::gear_lamps {

constexpr int kLampSize = 20;
bool lamp_disc(int x, int y);

namespace {

constexpr int kSize = 180;
const Vec3 kLight = light_from(225, 45);  // the panel is lit from the upper left

constexpr Vec2 kFaceCentre{86, 90};
constexpr double kFaceRadius = 81;

double smoothstep(double e0, double e1, double x) {
    const double t = std::clamp((x - e0) / (e1 - e0), 0.0, 1.0);
    return t * t * (3 - 2 * t);
}

Mask empty() { return Mask(kSize, kSize); }

// ------------------------------------------------------------ lamp windows
// An upright window leaning right: its left edge runs from x_top at the top
// (y 69) by `lean` pixels per row; 22.6 pixels wide, y 69..129.
struct Window {
    double x_top;
    Vec2 red_lamp, green_lamp;  // top-left corners of the lamp pictures
    const char* label;
};
constexpr double kWindowTop = 69, kWindowBottom = 129, kWindowWidth = 22.6, kLean = 2.0 / 35.0;
constexpr std::array<Window, 2> kWindows{{{31.25, {33, 72}, {35, 107}, "LEFT"},
                                          {119.95, {122, 72}, {124, 107}, "RIGHT"}}};

// Signed distance to the window's rounded outline (negative inside).
double window_distance(const Window& w, Vec2 p, double grow = 0) {
    const double x = p.x - (p.y - kWindowTop) * kLean;  // undo the lean
    const Vec2 c{w.x_top + kWindowWidth / 2, (kWindowTop + kWindowBottom) / 2};
    const double radius = 6 + grow;
    const double hx = kWindowWidth / 2 + grow - radius, hy = (kWindowBottom - kWindowTop) / 2 + grow - radius;
    const double qx = std::abs(x - c.x) - hx, qy = std::abs(p.y - c.y) - hy;
    return std::hypot(std::max(qx, 0.0), std::max(qy, 0.0)) + std::min(std::max(qx, qy), 0.0) - radius;
}

Mask from_distance(auto&& distance, Box bounds) {
    return mask_from_distance(kSize, kSize, distance, bounds);
}

// ------------------------------------------------------------------ paints
Rgba lit_surface(Rgba body, Vec3 n, double ambient, double diffuse_k, double specular_k, double shininess) {
    const double k = ambient + diffuse_k * diffuse(n, kLight);
    const double s = specular_k * specular(n, kLight, shininess);
    return {float(body.r * k + s), float(body.g * k + s), float(body.b * k + s), 1};
}

// A round knob seen from above: a knurled skirt round a domed cap.
struct Knob {
    Vec2 centre;
    double radius;
    Rgba metal;
    int ridges;
};
Rgba knob_at(const Knob& k, Vec2 p) {
    const Vec2 d = p - k.centre;
    const double r = length(d);
    const double cap = k.radius * 0.74;
    if (r > cap) {
        // The skirt: a steep cone with ridges round it.
        const double a = std::atan2(d.y, d.x);
        const double ridge = std::cos(a * k.ridges);
        const Vec2 out = normalised(d);
        const double tilt = radians(55), twist = 0.35 * ridge;
        const Vec3 n = normalised({out.x * std::sin(tilt) - out.y * twist, out.y * std::sin(tilt) + out.x * twist,
                                   std::cos(tilt)});
        Rgba c = lit_surface(k.metal, n, 0.35, 0.75, 0.25, 12);
        return shade(c, float(0.9 + 0.1 * ridge));
    }
    // The cap: a shallow dome with a bright spot towards the light.
    const Vec3 n = dome_normal(p, k.centre, cap, 0.35);
    Rgba c = lit_surface(k.metal, n, 0.45, 0.6, 0.55, 22);
    // A thin bright edge where the cap meets the skirt.
    const double edge = smoothstep(cap - 1.2, cap - 0.3, r);
    return mix(c, lift(k.metal, 0.12f), float(0.5 * edge));
}

// A screw head: a shallow dome with a slot across it.
Rgba screw_at(Vec2 centre, double radius, double slot_deg, Vec2 p) {
    const Vec3 n = dome_normal(p, centre, radius, 0.3);
    Rgba c = lit_surface(rgb(150, 150, 148), n, 0.35, 0.65, 0.45, 18);
    const Vec2 dir = direction(slot_deg);
    const double across = std::abs(cross(dir, p - centre));
    if (across < 0.7) c = shade(c, 0.35f);
    return c;
}

// ------------------------------------------------------------------ layers
void plate(Canvas& c) {
    c.fill(Mask(kSize, kSize, 1.0f), [](Vec2 p) {
        const double t = (p.x + p.y) / (2.0 * kSize);  // lighter to the upper left
        const double v = 0.52 - 0.07 * t + 0.012 * grain(int(p.x), int(p.y), 3) +
                         0.02 * (value_noise(p, 9, 4) - 0.5);
        return Rgba{float(v), float(v), float(v * 0.985), 1};
    });
    // A bevelled rim inside the dark edge: light along the top and left,
    // shaded along the bottom and right.
    c.fill(rectangle(kSize, kSize, {2, 2, 178, 3}), rgb(170, 170, 166));
    c.fill(rectangle(kSize, kSize, {2, 2, 3, 178}), rgb(160, 160, 156));
    c.fill(rectangle(kSize, kSize, {2, 177, 178, 178}), rgb(88, 88, 86));
    c.fill(rectangle(kSize, kSize, {177, 2, 178, 178}), rgb(94, 94, 92));
    // The near-black edge, two pixels wide (the right-most column is made
    // transparent at the end).
    Mask edge(kSize, kSize, 1.0f);
    edge.subtract(rectangle(kSize, kSize, {2, 2, 178, 178}));
    c.fill(edge, rgb(18, 18, 19));
}

void screws(Canvas& c) {
    constexpr std::array<std::pair<Vec2, double>, 4> at{{{{10, 10}, 30}, {{168, 10}, 115}, {{10, 170}, 75},
                                                         {{168, 170}, 160}}};
    for (const auto& [centre, slot] : at) {
        c.fill(circle(kSize, kSize, centre + Vec2{0.8, 1.0}, 5.2).blurred(1), rgb(40, 40, 40, 0.6f));
        c.fill(circle(kSize, kSize, centre, 5.0), rgb(60, 60, 60));
        c.fill(circle(kSize, kSize, centre, 4.3), [=](Vec2 p) { return screw_at(centre, 4.3, slot, p); });
    }
}

void face(Canvas& c) {
    // The face sits in a slight recess: a soft shadow inside its upper-left
    // edge and a lit lip at its lower right.
    c.fill(circle(kSize, kSize, kFaceCentre + Vec2{1.2, 1.5}, kFaceRadius + 1.5).blurred(2), rgb(30, 30, 30, 0.55f));
    c.fill(circle(kSize, kSize, kFaceCentre, kFaceRadius + 0.6), rgb(22, 22, 24));  // the thin dark ring
    c.fill(circle(kSize, kSize, kFaceCentre, kFaceRadius - 0.8), [](Vec2 p) {
        // Matte dark paint, a little lighter towards the upper left.
        const Vec2 d = p - kFaceCentre;
        const double t = std::clamp((d.x + d.y) / (2.4 * kFaceRadius) + 0.5, 0.0, 1.0);
        const double v = 0.235 - 0.05 * t + 0.008 * grain(int(p.x), int(p.y), 5);
        return Rgba{float(v), float(v), float(v * 1.04), 1};
    });
    // The recess shadow along the upper-left inner edge.
    Mask inner_shadow = ring(kSize, kSize, kFaceCentre, kFaceRadius - 4.5, kFaceRadius - 0.8).blurred(1);
    c.filter(inner_shadow, [](Vec2 p, Rgba old) {
        const Vec2 d = normalised(p - kFaceCentre);
        const double k = 1.0 - 0.35 * std::max(0.0, -(d.x + d.y) * 0.7071);
        return shade(old, float(k));
    });
}

// A broad, faint sheen over the upper left of the face and its markings
// (not over the lamps, which must match their own pictures).
void sheen(Canvas& c) {
    c.filter(circle(kSize, kSize, kFaceCentre, kFaceRadius - 0.8), [](Vec2 p, Rgba old) {
        const Vec2 d = p - kFaceCentre;
        const double along = (d.x + d.y) * 0.7071;  // negative towards the upper left
        const double sheen = 0.055 * (1 - smoothstep(-70, -5, along)) * smoothstep(-82, -60, along);
        return lift(old, float(sheen));
    });
}

// The stylised wing: two light bars across the upper face; the lower one
// comes down in struts to the top of each lamp window.
void wing(Canvas& c) {
    constexpr Rgba paint = rgb(212, 210, 200);
    constexpr double w = 2.0;
    const double left_rim = 8, right_rim = 165;
    const double frame_left = 64, frame_right = 93;
    const double upper = 37.5, lower = 43.5;
    Mask bars = empty();
    auto stroke = [&](std::initializer_list<Vec2> pts) {
        const std::vector<Vec2> v(pts);
        for (std::size_t i = 0; i + 1 < v.size(); ++i) bars.unite(line(kSize, kSize, v[i], v[i + 1], w, Cap::round));
    };
    stroke({{left_rim + 2, upper}, {frame_left, upper}});
    stroke({{frame_right, upper}, {right_rim - 2, upper}});
    // Over each window the lower bar comes down in two struts to the
    // window's top corners, one from the rim and one from the frame.
    for (const Window& win : kWindows) {
        const bool left_side = win.x_top < kFaceCentre.x;
        const double x0 = win.x_top, x1 = win.x_top + kWindowWidth;
        const double outer = left_side ? left_rim + 1 : right_rim - 1;
        const double inner = left_side ? frame_left : frame_right;
        const Vec2 top_outer{left_side ? x0 + 4.5 : x1 - 4.5, kWindowTop + 0.8};
        const Vec2 top_inner{left_side ? x1 - 4.5 : x0 + 4.5, kWindowTop + 0.8};
        const double bend_outer = left_side ? x0 - 6 : x1 + 6;
        const double bend_inner = left_side ? x1 + 6 : x0 - 6;
        stroke({{outer, lower}, {bend_outer, lower}, top_outer});
        stroke({{inner, lower}, {bend_inner, lower}, top_inner});
    }
    // Clip to the face and paint with a faint shadow below.
    bars.intersect(circle(kSize, kSize, kFaceCentre, kFaceRadius - 3));
    c.fill(bars.shifted(1, 1).blurred(1), rgb(0, 0, 0, 0.5f));
    c.fill(bars, paint);
}

// The copper selector knob in its upright frame, its label plate above and
// a small arrow below.
void selector(Canvas& c, const Font& font) {
    const Box frame{65, 31.5, 91, 70};
    const Mask outline_outer = rounded_rectangle(kSize, kSize, frame, 8);
    Mask outline = outline_outer;
    outline.subtract(rounded_rectangle(kSize, kSize, {frame.x0 + 1.4, frame.y0 + 1.4, frame.x1 - 1.4, frame.y1 - 1.4}, 6.6));
    c.fill(outline_outer, rgb(34, 34, 37));
    c.fill(outline, rgb(196, 194, 186));

    // Label plate x 62..106, y 24..30.
    c.fill(rounded_rectangle(kSize, kSize, {62.5, 24.5, 107.5, 31.5}, 1.2).shifted(1, 1).blurred(1), rgb(0, 0, 0, 0.5f));
    c.fill(rounded_rectangle(kSize, kSize, Box::pixels(62, 24, 106, 30), 1.2),
           linear_gradient({0, 24}, {0, 31}, {{{0.0f, rgb(226, 224, 214)}, {1.0f, rgb(188, 186, 176)}}}));
    if (auto text = font.render_in_box(kSize, kSize, "GEAR SELECT", {65, 25.6, 104, 29.4})) c.fill(*text, rgb(44, 42, 40));

    const Knob knob{{78, 48}, 11, rgb(190, 112, 64), 28};
    c.fill(circle(kSize, kSize, knob.centre + Vec2{1.5, 2.0}, knob.radius + 0.5).blurred(2), rgb(0, 0, 0, 0.7f));
    c.fill(circle(kSize, kSize, knob.centre, knob.radius), [&](Vec2 p) { return knob_at(knob, p); });
    // The pointer line across the cap.
    c.fill(line(kSize, kSize, knob.centre + Vec2{0, -6.5}, knob.centre + Vec2{0, -1}, 1.4, Cap::round), rgb(245, 236, 220));

    // A small down arrow: gear down.
    const Vec2 arrow[] = {{74.5, 62.5}, {81.5, 62.5}, {78, 67}};
    c.fill(polygon(kSize, kSize, arrow), rgb(196, 194, 186));
}

void windows(Canvas& c, const IndexedImage& lamp, const Font& font) {
    for (const Window& w : kWindows) {
        const Box bounds{w.x_top - 2, kWindowTop - 2, w.x_top + kWindowWidth + 6, kWindowBottom + 2};
        // A soft shadow, the light outline, and dark glass inside.
        c.fill(from_distance([&](Vec2 p) { return window_distance(w, p - Vec2{1, 1.2}, 0.5); }, bounds).blurred(1),
               rgb(0, 0, 0, 0.6f));
        c.fill(from_distance([&](Vec2 p) { return window_distance(w, p); }, bounds), rgb(200, 199, 192));
        c.fill(from_distance([&](Vec2 p) { return window_distance(w, p, -1.3); }, bounds), [&](Vec2 p) {
            const double t = (p.y - kWindowTop) / (kWindowBottom - kWindowTop);
            const double v = 0.085 + 0.03 * (1 - t);
            return Rgba{float(v), float(v), float(v * 1.1), 1};
        });
        // The lamps, unlit: the lamp picture's own bezel pixels, and a dim
        // glass lens where the lit disc will appear.
        for (const auto& [corner, lens] : {std::pair{w.red_lamp, rgb(104, 30, 18)},
                                           std::pair{w.green_lamp, rgb(30, 74, 26)}}) {
            const int x0 = int(corner.x), y0 = int(corner.y);
            for (int y = 0; y < kLampSize; ++y)
                for (int x = 0; x < kLampSize; ++x) {
                    const Rgb8 px = lamp.colour_at(x, y);
                    if (px == pure_black) continue;
                    Rgba colour = to_rgba(px);
                    if (lamp_disc(x, y)) {
                        // Glass: darker at the rim, with a small reflection
                        // towards the light.
                        const Vec2 d = Vec2{x + 0.5, y + 0.5} - Vec2{10, 9};
                        const double r = length(d) / 5.0;
                        colour = shade(lens, float(1.15 - 0.45 * r * r));
                        const Vec2 glint = d - Vec2{-1.8, -2.0};
                        colour = mix(colour, lift(lens, 0.22f), float(0.6 * std::exp(-dot(glint, glint) / 1.2)));
                    }
                    c.at(x0 + x, y0 + y) = colour;
                }
        }
        // The faint label under the window.
        const double centre_x = w.x_top + kWindowWidth / 2 + (kWindowBottom - kWindowTop) * kLean;
        const TextStyle style{.size_px = 6.5, .stretch_x = 0.95, .tracking_em = 0.05};
        if (auto box = font.measure(w.label, style))
            if (auto text = font.render(kSize, kSize, w.label, {centre_x - box->width() / 2 - box->x0, 137.5}, style))
                c.fill(*text, rgb(120, 120, 116));
    }
}

void trim_knobs(Canvas& c) {
    for (const Vec2 centre : {Vec2{13, 93}, Vec2{155, 93}}) {
        const Knob knob{centre, 6.5, rgb(176, 178, 182), 20};
        c.fill(circle(kSize, kSize, centre + Vec2{1.2, 1.5}, knob.radius + 0.4).blurred(1), rgb(0, 0, 0, 0.6f));
        c.fill(circle(kSize, kSize, centre, knob.radius), [&](Vec2 p) { return knob_at(knob, p); });
    }
}

void test_knob(Canvas& c, const Font& font) {
    const Knob knob{{88, 155}, 8, rgb(190, 112, 64), 22};
    c.fill(circle(kSize, kSize, knob.centre + Vec2{1.3, 1.8}, knob.radius + 0.5).blurred(2), rgb(0, 0, 0, 0.7f));
    c.fill(circle(kSize, kSize, knob.centre, knob.radius), [&](Vec2 p) { return knob_at(knob, p); });
    // Its label plate below.
    const Box plate = Box::pixels(78, 165, 98, 169);
    c.fill(rounded_rectangle(kSize, kSize, plate, 1.0),
           linear_gradient({0, 165}, {0, 170}, {{{0.0f, rgb(222, 220, 210)}, {1.0f, rgb(184, 182, 172)}}}));
    if (auto text = font.render_in_box(kSize, kSize, "TEST", {81, 165.9, 95, 169.2})) c.fill(*text, rgb(44, 42, 40));
}

}  // namespace

// The face, with the unlit lamps copied from the lamp picture's pixels.
std::expected<Canvas, std::string> draw_face(const IndexedImage& lamp) {
    auto font = Font::load(dejavu("DejaVuSansCondensed-Bold.ttf"));
    if (!font) return std::unexpected(font.error());
    Canvas c(kSize, kSize, rgb(0, 0, 0));
    plate(c);
    screws(c);
    face(c);
    wing(c);
    sheen(c);
    selector(c, *font);
    windows(c, lamp, *font);
    trim_knobs(c);
    test_knob(c, *font);

    // Pure black only where the host should not draw: the right-most column
    // and the three outer pixels of each corner. Anywhere else a colour that
    // rounds to black is lifted to the darkest grey that is not.
    for (int y = 0; y < kSize; ++y)
        for (int x = 0; x < kSize; ++x) {
            const int cx = x < 90 ? x : 178 - x, cy = y < 90 ? y : 179 - y;
            const bool corner = cx + cy <= 1;
            Rgba& p = c.at(x, y);
            p.a = 1;
            if (x == kSize - 1 || corner) {
                p = rgb(0, 0, 0);
            } else if (to_rgb8(p) == pure_black) {
                p = rgb(1, 1, 1);
            }
        }
    return c;
}

}  // namespace art::gear_lamps
