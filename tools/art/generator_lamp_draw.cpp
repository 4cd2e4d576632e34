// The generator warning lamp in full colour: a red lens in a chunky octagonal
// metal housing, lit from the upper right, drawn dark or lit.
//
// The picture is 128 x 128; outside the housing it is transparent. The
// housing's outline is decided per pixel centre by an exact test, so the
// transparent area is the same pixel set whichever way the lens is drawn, and
// it holds exactly 7712 pixels. Only the glass differs between dark and lit.
#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

#include "lib/canvas.h"
#include "lib/lighting.h"

namespace art::generator_lamp {

constexpr int kSize = 128;

namespace {

// ---------------------------------------------------------------- outline
// An octagon inside the box x 12..119, y 13..114 (pixel columns 12..118, rows
// 13..113). Each corner is cut by the line through the points `along_x` on the
// horizontal edge and `along_y` on the vertical edge, measured from the box
// corner. The cuts are slightly uneven, in eighths of a pixel, because whole
// pixel cuts cannot make the outside exactly 7712 pixels: three corners
// cut 534 pixels each and one 533.
constexpr double kLeft = 12, kRight = 119, kTop = 13, kBottom = 114;
struct Cut {
    double along_x, along_y;
};
// top-left, top-right, bottom-right, bottom-left
constexpr std::array<Cut, 4> kCuts{{{32.5, 33.125}, {32.5, 33.125}, {32.5, 33.125}, {32.375, 33.125}}};
struct Corner {
    Vec2 at;
    double sx, sy;  // directions into the box
};
constexpr std::array<Corner, 4> kCorners{{{{kLeft, kTop}, 1, 1},
                                          {{kRight, kTop}, -1, 1},
                                          {{kRight, kBottom}, -1, -1},
                                          {{kLeft, kBottom}, 1, -1}}};

// Whether point p lies inside the housing. The corner test is multiplied out
// so that it is exact for these values (halves and eighths are exact in binary
// floating point): the pixel set never depends on rounding.
bool inside_outline(Vec2 p) {
    if (p.x < kLeft || p.x > kRight || p.y < kTop || p.y > kBottom) return false;
    for (std::size_t i = 0; i < 4; ++i) {
        const Corner& k = kCorners[i];
        const double u = (p.x - k.at.x) * k.sx, v = (p.y - k.at.y) * k.sy;
        if (u * kCuts[i].along_y + v * kCuts[i].along_x < kCuts[i].along_x * kCuts[i].along_y) return false;
    }
    return true;
}

// The eight edges as outward unit normals n and offsets h: n . p <= h inside.
struct Edge {
    Vec2 n;
    double h;
};
std::array<Edge, 8> outline_edges() {
    std::array<Edge, 8> e{};
    e[0] = {{0, -1}, -kTop};
    e[2] = {{1, 0}, kRight};
    e[4] = {{0, 1}, kBottom};
    e[6] = {{-1, 0}, -kLeft};
    // Corner i: inside is m . (p - corner) >= 1 with m = (sx/along_x, sy/along_y).
    constexpr std::array<std::size_t, 4> slot{7, 1, 3, 5};
    for (std::size_t i = 0; i < 4; ++i) {
        const Corner& k = kCorners[i];
        const Vec2 m{k.sx / kCuts[i].along_x, k.sy / kCuts[i].along_y};
        const double len = length(m);
        const Vec2 n = m * (-1.0 / len);
        e[slot[i]] = {n, dot(n, k.at) - 1.0 / len};
    }
    return e;
}

// Signed distance to the outline (negative inside) and the nearest edge.
struct EdgeDistance {
    double d;
    Vec2 n;
};
EdgeDistance outline_distance(const std::array<Edge, 8>& edges, Vec2 p) {
    EdgeDistance best{-1e9, {}};
    for (const Edge& e : edges)
        if (const double d = dot(e.n, p) - e.h; d > best.d) best = {d, e.n};
    return best;
}

// ---------------------------------------------------------------- shading
const Vec3 kLight = light_from(315, 38);  // from the upper right
constexpr Vec2 kHousingCentre{65.5, 63.5};
constexpr Vec2 kLensCentre{48, 65};
constexpr double kGlassRadius = 20;

double smoothstep(double e0, double e1, double x) {
    const double t = std::clamp((x - e0) / (e1 - e0), 0.0, 1.0);
    return t * t * (3 - 2 * t);
}

Vec3 tilted(Vec2 outward, double tilt_rad) {
    const double s = std::sin(tilt_rad);
    return {outward.x * s, outward.y * s, std::cos(tilt_rad)};
}

// Bright values roll off softly towards 245 instead of clipping at white,
// so highlights keep a little shape.
float knee(double v) {
    constexpr double start = 0.78, room = 0.96 - 0.78;
    return float(v < start ? v : start + room * (1 - std::exp(-(v - start) / room)));
}

// Polished metal under the lamp's light: a diffuse body, a specular peak,
// and a reflection of the room (brighter above than below).
struct Metal {
    Rgba body;
    double ambient, diffuse_k, specular_k, shininess, sky_k;
};
Rgba lit_metal(const Metal& m, Vec3 n) {
    const double d = diffuse(n, kLight), s = specular(n, kLight, m.shininess);
    // The reflected view ray's screen-y: negative looks at the room above.
    const double ry = 2 * n.z * n.y;
    const double sky = -ry * m.sky_k;
    const double k = m.ambient + m.diffuse_k * d + sky;
    const double w = m.specular_k * s;
    return {knee(m.body.r * k + w), knee(m.body.g * k + w), knee(m.body.b * k + w), 1};
}

constexpr Metal kHousingMetal{rgb(130, 128, 137), 0.44, 0.62, 0.75, 26, 0.25};
constexpr Metal kChrome{rgb(150, 148, 158), 0.30, 0.55, 1.10, 34, 0.45};

// Fine concentric turning marks about the lens, as on a machined face.
double turning(Vec2 p) {
    const double r = length(p - kLensCentre);
    return value_noise({r * 3.0, 0.5}, 1.0, 17) - 0.5;
}

Rgba housing_at(const std::array<Edge, 8>& edges, Vec2 p) {
    const EdgeDistance e = outline_distance(edges, p);
    const double t = -e.d;  // depth inside the outline
    Vec3 n;
    double k = 1.0;
    if (t < 5.5) {
        // Outer facets: one flat bevel per edge, steep.
        n = tilted(e.n, radians(52));
        if (t < 0.9) k = 0.62;  // the sharp outer lip
    } else {
        // A rounded shoulder that flattens into the face: the tilt falls from
        // the bevel's to nothing over about 16 pixels, facing away from the
        // housing's centre, so the light draws a crescent along the rim.
        const Vec2 out = normalised(p - kHousingCentre);
        const double u = smoothstep(5.5, 22.0, t);
        const double tilt = radians(44) * (1 - u);
        // Facet direction near the bevel, round direction further in.
        const Vec2 dir = normalised(e.n * (1 - u) + out * (0.6 + u));
        n = tilted(dir, tilt);
        k = 1.0 + 0.05 * turning(p);
    }
    Rgba c = shade(lit_metal(kHousingMetal, n), float(k));
    // A glossy streak where the shoulder mirrors a bright window: a thin
    // crescent about the housing's centre across its upper right.
    const Vec2 q = p - kHousingCentre;
    const double across = length(q) - 39.0;
    const double along = direction_of({0, 0}, q);  // 270 is straight up
    const double streak = std::exp(-across * across / (2 * 2.2 * 2.2)) *
                          smoothstep(258, 282, along) * (1 - smoothstep(330, 348, along));
    c = mix(c, rgb(250, 250, 252), float(0.8 * streak));
    return c;
}

// The lens mount: concentric metal rings about the lens centre.
// Returns alpha 0 where no ring is.
Rgba rings_at(Vec2 p) {
    const double r = length(p - kLensCentre);
    const Vec2 out = normalised(p - kLensCentre);
    if (r < kGlassRadius - 0.5 || r > 28.0) return {0, 0, 0, 0};
    if (r < 21.2) return rgb(52, 45, 52);  // the dark seat the glass sits in
    if (r < 25.0) {
        // A polished bead: a half-round profile.
        const double u = (r - 23.1) / 1.9;
        return lit_metal(kChrome, tilted(out, std::asin(std::clamp(u, -1.0, 1.0) * 0.9)));
    }
    if (r < 26.0) return shade(lit_metal(kHousingMetal, tilted(out, radians(-30))), 0.55f);  // groove
    // The outer collar of the mount, sloping down to the face.
    return lit_metal(kHousingMetal, tilted(out, radians(38)));
}

// The raised mount shades the face to its lower left.
double mount_shadow(Vec2 p) {
    const double r = length(p - (kLensCentre + Vec2{-2.5, 2.5}));
    return 1.0 - 0.35 * (1.0 - smoothstep(26.5, 31.0, r));
}

Rgba glass_at(Vec2 p, bool lit) {
    const Vec2 d = p - kLensCentre;
    const double s = length(d) / kGlassRadius;
    // Fresnel rings moulded into the glass.
    const double fresnel = 1.0 + 0.05 * std::cos(2 * std::numbers::pi * length(d) / 3.0);
    Rgba c;
    if (!lit) {
        c = mix(rgb(158, 58, 72), rgb(98, 32, 48), float(std::pow(s, 1.6)));
        c = shade(c, float(1 + (fresnel - 1) * 0.7));
        // A faint violet reflection of the room across the upper part.
        const double band = smoothstep(-20, -12, d.y) * (1 - smoothstep(-9, 0, d.y)) * (1 - smoothstep(0.7, 0.95, s));
        c = mix(c, rgb(160, 104, 172), float(0.24 * band));
    } else {
        Gradient g{{{0.0f, rgb(255, 84, 70)},
                    {0.25f, rgb(250, 78, 66)},
                    {0.5f, rgb(200, 64, 56)},
                    {1.0f, rgb(118, 28, 32)}}};
        c = g(s);
        c = shade(c, float(fresnel));
        // The bulb's glare, up and left of the centre, and its warm halo.
        const Vec2 glare = p - Vec2{45, 63};
        const double g2 = dot(glare, glare);
        c = mix(c, rgb(255, 132, 112), float(0.5 * std::exp(-g2 / (2 * 7.0 * 7.0))));
        c = mix(c, rgb(250, 203, 199), float(std::exp(-g2 / (2 * 2.6 * 2.6))));
        const double band = smoothstep(-19, -13, d.y) * (1 - smoothstep(-8, -2, d.y)) * (1 - smoothstep(0.75, 0.95, s));
        c = mix(c, rgb(255, 170, 190), float(0.12 * band));
    }
    // The light's own small reflection on the glass, upper right.
    const Vec2 glint = p - (kLensCentre + Vec2{9, -11});
    c = mix(c, rgb(236, 214, 228), float(0.55 * std::exp(-dot(glint, glint) / (2 * 1.5 * 1.5))));
    return c;
}

// Averages a paint over n x n points of the pixel around the centre passed.
Rgba supersample(Vec2 centre, int n, auto&& paint) {
    float r = 0, g = 0, b = 0, a = 0;
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) {
            const Vec2 q{centre.x - 0.5 + (i + 0.5) / n, centre.y - 0.5 + (j + 0.5) / n};
            const Rgba c = paint(q);
            r += c.r * c.a, g += c.g * c.a, b += c.b * c.a, a += c.a;
        }
    if (a <= 0) return {0, 0, 0, 0};
    return {r / a, g / a, b / a, a / float(n * n)};
}

}  // namespace

// Whether any part of the pixel shows glass: the pixels that differ between
// the dark and the lit lamp. All lie within x 27..68, y 44..85.
bool on_glass(int x, int y) { return length(Vec2{x + 0.5, y + 0.5} - kLensCentre) < kGlassRadius + 0.6; }

// The lamp in full colour; transparent outside the housing, and every opaque
// pixel has a channel of at least 40.
Canvas draw(bool lit) {
    const auto edges = outline_edges();
    Canvas c(kSize, kSize, {0, 0, 0, 0});
    constexpr int ss = 4;
    for (int y = 0; y < kSize; ++y)
        for (int x = 0; x < kSize; ++x) {
            if (!inside_outline({x + 0.5, y + 0.5})) continue;
            const Vec2 p{x + 0.5, y + 0.5};
            Rgba px = supersample(p, ss, [&](Vec2 q) {
                Rgba h = housing_at(edges, q);
                h = shade(h, float(mount_shadow(q)));
                return h;
            });
            const Rgba ring = supersample(p, ss, [&](Vec2 q) { return rings_at(q); });
            px = mix(px, with_alpha(ring, 1), ring.a);
            const Rgba glass = supersample(p, ss, [&](Vec2 q) {
                return length(q - kLensCentre) < kGlassRadius ? glass_at(q, lit) : Rgba{0, 0, 0, 0};
            });
            px = mix(px, with_alpha(glass, 1), glass.a);
            px.a = 1;
            // Keep every drawn pixel clear of the transparent colour.
            const float floor = 40.0f / 255.0f;
            if (const float m = std::max({px.r, px.g, px.b}); m < floor) px = lift(px, floor - m);
            c.at(x, y) = px;
        }
    return c;
}

}  // namespace art::generator_lamp
