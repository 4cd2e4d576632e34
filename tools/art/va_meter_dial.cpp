// The dial of the volts-amperes meter on its panel plate (256 x 256).
//
// Everything is drawn in continuous pixel coordinates (pixel (x, y) covers
// [x, x+1) x [y, y+1)); the scale geometry below is given in pixel indices,
// as the calibration tables of the module are, and converted where drawn.
//
// Lit from the upper left. Layers, back to front: painted plate with bevelled
// edges, four domed screws, the bezel's shadow, the turned-metal bezel with
// its bright inner rim, the near-black dial face, graduations, major ticks,
// numerals, the letters V and A, and a faint glass reflection. Then the plate
// outline cuts the picture (outside it is pure black, the transparent colour)
// and the quantiser reduces it to 256 colours with pure black only at entry 0.
#include <algorithm>
#include <array>
#include <cmath>
#include <expected>
#include <numbers>
#include <string>
#include <vector>

#include "lib/canvas.h"
#include "lib/lighting.h"
#include "lib/quantise.h"
#include "lib/text.h"

namespace art::va_meter {

namespace {

constexpr int size = 256;

// Colours.
constexpr Rgba plate_paint = rgb(75, 75, 79);
constexpr Rgba face_paint = rgb(38, 39, 42);
constexpr Rgb8 tick_rgb{237, 229, 230};
constexpr Rgba tick_paint = rgb(237, 229, 230);
constexpr Rgba graduation_paint = rgb(196, 194, 196);

// The plate: columns 5..245, rows 11..243, its lower-right corner cut from
// column 244 at row 209 to column 214 at row 243. The diagonal passes through
// the right edges of those pixels at their mid-rows, so testing pixel centres
// against the polygon gives exactly that outline.
constexpr double cut_top_y = 209.5, cut_top_x = 245.0, cut_bottom_y = 243.5, cut_bottom_x = 215.0;
double cut_x(double y) { return cut_top_x + (y - cut_top_y) * (cut_bottom_x - cut_top_x) / (cut_bottom_y - cut_top_y); }
std::array<Vec2, 5> plate_outline() {
    const double y_at_right = cut_top_y + (246.0 - cut_top_x) * (cut_bottom_y - cut_top_y) / (cut_bottom_x - cut_top_x);
    return {Vec2{5, 11}, Vec2{246, 11}, Vec2{246, y_at_right}, Vec2{cut_x(244.0), 244}, Vec2{5, 244}};
}

// The bezel, about the dial's centre (pixel (127, 126)).
constexpr Vec2 dial_centre{127.5, 126.5};
constexpr double face_radius = 105.0;    // dial face ends under the rim
constexpr double lip_outer = 108.0;      // bright inner rim: face_radius..lip_outer
constexpr double bezel_outer = 113.0;    // turned body: lip_outer..bezel_outer

// Screw heads on the plate's corners.
struct Screw {
    Vec2 centre;
    double slot_deg;
};
constexpr Screw screws[] = {
    {{45.5, 37.5}, 28}, {{218.5, 39.5}, 117}, {{36.5, 208.5}, 71}, {{211.5, 208.5}, 152},
};
constexpr double screw_radius = 6.5;

// Needle pivots (pixel indices) of the two scales.
constexpr Vec2 volts_pivot{107, 126};
constexpr Vec2 amps_pivot{128, 126};

// A major tick: centre line from its inner end to its outer end (pixel
// indices of the end pixels' centres), its width, and its numeral's box
// (pixel columns and rows, inclusive). The volts 20 tick starts one column
// further in (43, not 42) so that the 20 V calibration point (38, 123) lies
// within 5 px of the tick's middle, like every other point.
struct Major {
    double value;
    Vec2 inner, outer;
    double width;
    const char* numeral;
    int nx0, ny0, nx1, ny1;
};
constexpr Major volts_majors[] = {
    {0, {91.5, 180}, {91.5, 196}, 4, "0", 88, 160, 97, 173},
    {10, {55, 159}, {39, 173}, 4, "10", 58, 146, 75, 160},
    {20, {43, 122}, {24, 122}, 5, "20", 47, 116, 67, 130},
    {30, {59, 85}, {49, 72}, 4, "30", 60, 92, 80, 106},
    {40, {96.5, 68}, {96.5, 52}, 4, "40", 87, 74, 108, 88},
};
constexpr Major amps_majors[] = {
    {-20, {130.5, 179}, {130.5, 195}, 4, "20", 121, 160, 141, 174},
    {0, {168, 158}, {181, 174}, 4, "0", 156, 144, 165, 158},
    {20, {189, 123.5}, {205, 123.5}, 4, "20", 164, 118, 184, 132},
    {40, {174, 83}, {185, 71}, 4, "40", 153, 89, 174, 103},
    {60, {135.5, 67}, {135.5, 50}, 4, "60", 124, 74, 145, 88},
};

// Index-space point to the continuous centre of that pixel.
constexpr Vec2 centre_of(Vec2 p) { return {p.x + 0.5, p.y + 0.5}; }

Mask tick_mask(const Major& m) {
    const Vec2 a = centre_of(m.inner), b = centre_of(m.outer);
    const Vec2 u = normalised(b - a);
    // Reach over the whole end pixels: half a pixel's extent along the axis
    // (0.5 for a straight tick, up to 0.71 for a diagonal one).
    const double reach = 0.5 * (std::abs(u.x) + std::abs(u.y));
    return line(size, size, a - u * reach, b + u * reach, m.width);
}

const Vec3 light = light_from(225.0, 40.0);

double smoothstep(double e0, double e1, double x) {
    const double t = std::clamp((x - e0) / (e1 - e0), 0.0, 1.0);
    return t * t * (3 - 2 * t);
}

// Brightness of a surface of the given normal, relative to a flat one.
double relief(Vec3 normal) { return diffuse(normal, light) / diffuse({0, 0, 1}, light); }

// ---------------------------------------------------------------- plate

void paint_plate(Canvas& c) {
    const auto outline = plate_outline();
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            const Vec2 p{x + 0.5, y + 0.5};
            // Painted metal: a faint mottle, fine horizontal brushing, grain.
            const double mottle = value_noise(p, 38.0, 11) - 0.5;
            const double brush = value_noise({p.x * 0.06, p.y * 1.0}, 1.0, 12) - 0.5;
            const double g = grain(x, y, 13);
            // Bevel: within 3 px of the edge the surface rolls off outwards.
            double nearest = 1e9;
            Vec2 outward{};
            for (std::size_t i = 0; i < outline.size(); ++i) {
                const Vec2 a = outline[i], b = outline[(i + 1) % outline.size()];
                const double d = distance_to_segment(p, a, b);
                if (d < nearest) nearest = d, outward = perpendicular(normalised(a - b));
            }
            const double slope = 1.1 * (1.0 - smoothstep(0.0, 3.2, nearest));
            const double k = relief(normalised({outward.x * slope, outward.y * slope, 1.0}));
            // The plate darkens slightly towards its lower right, away from the light.
            const double falloff = 1.04 - 0.08 * ((p.x + p.y) / (2.0 * size));
            Rgba col = shade(plate_paint, float(k * falloff));
            col = lift(col, float(mottle * 0.022 + brush * 0.014 + g * 0.010));
            // A dark line at the very edge gives the outline definition
            // against any panel.
            if (nearest < 0.9) col = shade(col, 0.55f);
            c.at(x, y) = col;
        }
}

void paint_screw(Canvas& c, const Screw& s) {
    // Shadow cast on the plate and the dark countersink around the head.
    c.fill(circle(size, size, s.centre + Vec2{1.2, 1.8}, screw_radius + 0.6).blurred(1), rgb(10, 10, 12, 0.75f));
    c.fill(ring(size, size, s.centre, screw_radius - 0.3, screw_radius + 0.9), rgb(22, 22, 25, 0.85f));
    // The domed head: polished steel, lit from the upper left.
    const Mask head = circle(size, size, s.centre, screw_radius);
    c.fill(head, [&](Vec2 p) {
        const Vec3 n = dome_normal(p, s.centre, screw_radius, 0.55);
        const double lum = 0.20 + 0.62 * diffuse(n, light) + 0.85 * specular(n, light, 28.0);
        const double edge = smoothstep(screw_radius - 1.6, screw_radius, length(p - s.centre));
        const Rgba steel = rgb(176, 176, 182);
        return shade(steel, float(lum * (1.0 - 0.45 * edge)));
    });
    // The slot: a dark groove whose far wall (lower right) catches light.
    const Vec2 d = direction(s.slot_deg) * (screw_radius - 0.8);
    Mask slot = line(size, size, s.centre - d, s.centre + d, 1.8, Cap::flat);
    slot.intersect(head);
    c.fill(slot, rgb(24, 24, 27));
    Vec2 across = perpendicular(normalised(d));
    if (across.x + across.y < 0) across = across * -1.0;  // the side towards the lower right
    const Vec2 wall = across * 0.7;
    Mask lit_wall = line(size, size, s.centre - d + wall, s.centre + d + wall, 0.7, Cap::flat);
    lit_wall.intersect(head);
    c.fill(lit_wall, rgb(150, 150, 156, 0.8f));
}

// ---------------------------------------------------------------- bezel

void paint_bezel(Canvas& c) {
    // Shadow of the raised bezel on the plate, towards the lower right.
    Mask shadow = circle(size, size, dial_centre + Vec2{2.5, 3.5}, bezel_outer + 1.0).blurred(2);
    shadow.subtract(circle(size, size, dial_centre, bezel_outer - 1.0));
    c.fill(shadow, rgb(8, 8, 10, 0.8f));

    const Mask body = ring(size, size, dial_centre, face_radius - 0.5, bezel_outer);
    constexpr double groove = lip_outer - 0.6;  // a fine dark line behind the rim
    c.fill(body, supersampled([&](Vec2 p) {
        const Vec2 d = p - dial_centre;
        const double r = length(d);
        const Vec2 out = normalised(d);
        const double angle = direction_of(dial_centre, p);
        // How much this side of the ring faces the light (1) or turns away (-1).
        const double facing = std::cos(radians(angle - 225.0));
        if (r < groove) {
            // The polished inner rim: a chamfer facing inwards and up, bright
            // all round and brightest towards the light.
            const double across = smoothstep(face_radius - 0.5, groove, r);
            const double lum = 1.02 + 0.22 * facing - 0.35 * std::abs(across - 0.45);
            return shade(rgb(214, 216, 222), float(lum));
        }
        if (r < lip_outer + 0.3) return shade(rgb(40, 41, 45), float(0.9 + 0.2 * facing));
        // The turned body: convex, satin; concentric turning marks and an
        // anisotropic sheen where the marks run across the light.
        const double t = (r - lip_outer) / (bezel_outer - lip_outer);  // 0 inner .. 1 outer
        const double tilt = (t - 0.45) * 1.6;
        const Vec3 n = normalised({out.x * tilt, out.y * tilt, 1.0});
        const double rings = value_noise({r * 2.5, 0.5}, 1.0, 21) - 0.5;
        const double sheen = std::pow(std::abs(facing), 4.0) * (facing > 0 ? 1.0 : 0.45);
        double lum = 0.34 + 0.50 * diffuse(n, light) + 0.45 * specular(n, light, 14.0) + 0.28 * sheen;
        lum += rings * 0.08;
        // Rolled outer edge: a dark seam where the body meets the plate.
        lum *= 1.0 - 0.6 * smoothstep(bezel_outer - 1.4, bezel_outer, r);
        return shade(rgb(168, 170, 177), float(lum));
    }));
}

// ---------------------------------------------------------------- face

void paint_face(Canvas& c) {
    const Mask face = circle(size, size, dial_centre, face_radius);
    c.fill(face, [&](Vec2 p) {
        const double r = length(p - dial_centre);
        // Matte black paint with a faint grain; a touch lighter in the middle.
        const double g = grain(int(p.x), int(p.y), 31) * 0.012 + (value_noise(p, 22.0, 32) - 0.5) * 0.012;
        const double centre_lift = 0.012 * (1.0 - r / face_radius);
        return lift(face_paint, float(g + centre_lift));
    });
    // The rim's shadow on the face: deepest at the upper left, where the
    // light comes over the rim, and a narrow dark ring all round.
    Mask shade_upper_left = face;
    shade_upper_left.subtract(circle(size, size, dial_centre + Vec2{2.2, 2.6}, face_radius - 0.8));
    c.fill(shade_upper_left.blurred(2), rgb(6, 7, 8, 0.75f));
    Mask edge = ring(size, size, dial_centre, face_radius - 3.0, face_radius);
    c.fill(edge.blurred(1), rgb(8, 9, 10, 0.5f));
}

// ------------------------------------------------------------ graduation

// A scale's majors as polar coordinates (about its pivot) of their outer ends.
struct Polar {
    double deg, r;
};
Polar polar_of(Vec2 pivot, Vec2 p) { return {direction_of(pivot, p), length(p - pivot)}; }

// Unwraps b so that it lies within 180 degrees of a.
double near_angle(double a, double b) {
    while (b - a > 180) b -= 360;
    while (a - b > 180) b += 360;
    return b;
}

// Minor marks between neighbouring majors: `steps` intervals per major
// interval, every `medium`-th mark longer. Outer ends follow the majors'
// outer ends (interpolated about the pivot), so the marks form one ring
// just inside the rim.
void paint_graduations(Canvas& c, Vec2 pivot, std::span<const Major> majors, int steps, int medium) {
    Mask marks(size, size);
    const Vec2 centre = centre_of(pivot);
    for (std::size_t i = 0; i + 1 < majors.size(); ++i) {
        const Polar a = polar_of(centre, centre_of(majors[i].outer));
        Polar b = polar_of(centre, centre_of(majors[i + 1].outer));
        b.deg = near_angle(a.deg, b.deg);
        for (int k = 1; k < steps; ++k) {
            const double t = double(k) / steps;
            const double deg = a.deg + (b.deg - a.deg) * t;
            const double r = a.r + (b.r - a.r) * t + 0.5;
            const bool longer = k % medium == 0;
            const double len = longer ? 7.5 : 4.5;
            marks.unite(line(size, size, polar(centre, deg, r - len), polar(centre, deg, r), longer ? 1.6 : 1.15));
        }
    }
    c.fill(marks.shifted(1, 1).blurred(1), rgb(4, 4, 5, 0.5f));
    c.fill(marks, graduation_paint);
}

// ---------------------------------------------------------- marks, text

std::expected<void, std::string> paint_marks_and_text(Canvas& c, Mask& kept_exact) {
    auto digits = Font::load(dejavu("DejaVuSansCondensed-Bold.ttf"));
    if (!digits) return std::unexpected(digits.error());
    auto letters = Font::load(dejavu("DejaVuSans-Bold.ttf"));
    if (!letters) return std::unexpected(letters.error());

    Mask ink(size, size);
    Mask ticks(size, size);
    for (const auto* scale : {&volts_majors, &amps_majors})
        for (const Major& m : *scale) {
            ticks.unite(tick_mask(m));
            auto numeral = digits->render_in_box(size, size, m.numeral, Box::pixels(m.nx0, m.ny0, m.nx1, m.ny1), 0.02);
            if (!numeral) return std::unexpected(numeral.error());
            ink.unite(*numeral);
        }
    auto v = letters->render_in_box(size, size, "V", Box::pixels(92, 124, 107, 140));
    if (!v) return std::unexpected(v.error());
    auto a = letters->render_in_box(size, size, "A", Box::pixels(133, 125, 149, 140));
    if (!a) return std::unexpected(a.error());
    ink.unite(*v).unite(*a);
    ink.unite(ticks);

    // Printed white on the dial: a slight soft shadow below and right.
    c.fill(ink.shifted(1, 1).blurred(1), rgb(3, 3, 4, 0.55f));
    c.fill(ink, tick_paint);
    kept_exact = ticks;
    return {};
}

// ------------------------------------------------------------------ glass

void paint_glass(Canvas& c, const Mask& keep) {
    // A broad, faint reflection across the upper left of the glass and a thin
    // bright crescent near the lower-right edge; the major ticks keep their
    // printed colour exactly (the calibration is read from it).
    Mask sheet = circle(size, size, dial_centre, face_radius);
    Mask upper = circle(size, size, dial_centre + Vec2{-46, -58}, 118.0);
    upper.subtract(circle(size, size, dial_centre + Vec2{10, 30}, 118.0).blurred(3));
    sheet.intersect(upper);
    sheet.subtract(keep);
    c.fill(sheet, [&](Vec2 p) {
        const double t = std::clamp(1.0 - length(p - (dial_centre + Vec2{-60, -60})) / 140.0, 0.0, 1.0);
        return rgb(225, 230, 240, float(0.035 + 0.07 * t));
    });
    Mask crescent = ring(size, size, dial_centre, face_radius - 6.5, face_radius - 3.0).blurred(1);
    crescent.subtract(keep);
    c.fill(crescent, [&](Vec2 p) {
        // Fades in and out along the lower-right quarter of the rim.
        const double d = direction_of(dial_centre, p);
        const double t = std::clamp((d - 5.0) / 80.0, 0.0, 1.0);
        return rgb(210, 215, 225, float(0.16 * std::pow(std::sin(t * std::numbers::pi), 2.0)));
    });
}

}  // namespace

std::expected<IndexedImage, std::string> draw_dial() {
    Canvas c(size, size, plate_paint);
    paint_plate(c);
    paint_bezel(c);
    for (const Screw& s : screws) paint_screw(c, s);
    paint_face(c);
    paint_graduations(c, volts_pivot, volts_majors, 10, 5);
    paint_graduations(c, amps_pivot, amps_majors, 10, 5);
    Mask ticks(size, size);
    if (auto r = paint_marks_and_text(c, ticks); !r) return std::unexpected(r.error());
    paint_glass(c, ticks);

    // Cut out the plate, pixel-exact: a pixel is plate when its centre is.
    const auto outline = plate_outline();
    const Mask plate = polygon(size, size, outline, 1);
    c.clip_to(plate);

    QuantiseOptions options;
    options.colours = 256;
    options.pinned = {{0, pure_black}, {1, tick_rgb}};
    options.all_used = true;
    return quantise(c, options);
}

}  // namespace art::va_meter
