// One gear position lamp as its element picture shows it: a round lens in a
// metal bezel, 20 x 20 pixels.
//
// The pixel layout is fixed: the 84 corner pixels outside the circle are
// transparent, and the lit disc is exactly the 80 pixels of rows 4..13 and
// columns 5..14 whose centres lie within 5 pixels of (10, 9). Every other
// pixel is the bezel, whatever the lamp's colour, so the red and green
// pictures differ only in the disc.
#include <algorithm>
#include <cmath>
#include <numbers>

#include "lib/canvas.h"
#include "lib/lighting.h"

namespace art::gear_lamps {

constexpr int kLampSize = 20;

namespace {

constexpr Vec2 kCentre{10, 10};     // of the whole lamp
constexpr Vec2 kDiscCentre{10, 9};  // the lens sits a pixel above the middle
constexpr double kDiscRadius = 5;
constexpr double kRimRadius = 8.9;  // the near-black outer rim starts here

constexpr Rgba kRim = rgb(24, 19, 21);
constexpr Rgba kSeat = rgb(40, 30, 34);           // the shadowed gap round the lens
constexpr Rgba kBezel = rgb(92, 76, 81);          // pinkish-grey metal
constexpr Rgba kBezelHighlight = rgb(169, 142, 148);

double smoothstep(double e0, double e1, double x) {
    const double t = std::clamp((x - e0) / (e1 - e0), 0.0, 1.0);
    return t * t * (3 - 2 * t);
}

// The bezel's colour at a point between the lens and the rim: a rounded ring
// that catches two lights, at the upper right and the lower left.
Rgba bezel_at(Vec2 p) {
    const double r = length(p - kCentre);
    if (r >= kRimRadius) return mix(kRim, kBezel, float(0.25 * (1 - smoothstep(kRimRadius, 9.6, r))));
    if (length(p - kDiscCentre) < kDiscRadius + 0.9) return kSeat;
    const double a = radians(direction_of(kCentre, p));
    // Lobes towards 315 degrees (upper right) and 135 degrees (lower left).
    const double lobe = std::pow(std::abs(std::cos(a - radians(315))), 6);
    // Brightest along the ring's crown, darker towards its inner and outer edges.
    const double crown = std::sin(std::numbers::pi * std::clamp((r - 5.2) / (kRimRadius - 5.2), 0.0, 1.0));
    Rgba c = mix(shade(kBezel, 0.78f), kBezel, float(crown));
    return mix(c, kBezelHighlight, float(lobe * (0.35 + 0.65 * crown)));
}

}  // namespace

// Whether pixel (x, y) of a lamp picture is drawn at all, and whether it is
// part of the lit disc.
bool lamp_opaque(int x, int y) {
    const Vec2 d = Vec2{x + 0.5, y + 0.5} - kCentre;
    return dot(d, d) < 100.0;
}
bool lamp_disc(int x, int y) { return length(Vec2{x + 0.5, y + 0.5} - kDiscCentre) < kDiscRadius; }

// The lamp with its disc in `lens`; transparent outside the circle.
Canvas draw_lamp(Rgba lens) {
    Canvas c(kLampSize, kLampSize, {0, 0, 0, 0});
    constexpr int ss = 6;
    for (int y = 0; y < kLampSize; ++y)
        for (int x = 0; x < kLampSize; ++x) {
            if (!lamp_opaque(x, y)) continue;
            if (lamp_disc(x, y)) {
                c.at(x, y) = with_alpha(lens, 1);
                continue;
            }
            float r = 0, g = 0, b = 0;
            for (int j = 0; j < ss; ++j)
                for (int i = 0; i < ss; ++i) {
                    const Rgba s = bezel_at({x + (i + 0.5) / ss, y + (j + 0.5) / ss});
                    r += s.r, g += s.g, b += s.b;
                }
            const float n = float(ss * ss);
            c.at(x, y) = {r / n, g / n, b / n, 1};
        }
    return c;
}

}  // namespace art::gear_lamps
