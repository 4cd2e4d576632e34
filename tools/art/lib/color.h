// Colours: floating-point RGBA for drawing, 8-bit RGB for the files.
//
// Components are in 0..1 in the display's own (sRGB) space, straight alpha.
// Blending in that space is what a paint program does and keeps the numbers
// of a drawing equal to the 8-bit colours it asks for.
#pragma once

#include <algorithm>
#include <compare>
#include <cstdint>

namespace art {

struct Rgb8 {
    std::uint8_t r = 0, g = 0, b = 0;
    friend constexpr auto operator<=>(const Rgb8&, const Rgb8&) = default;
};

inline constexpr Rgb8 pure_black{0, 0, 0};

struct Rgba {
    float r = 0, g = 0, b = 0, a = 1;
    friend constexpr bool operator==(const Rgba&, const Rgba&) = default;
};

// A colour from 8-bit components, e.g. rgb(237, 229, 230).
constexpr Rgba rgb(int r, int g, int b, float a = 1.0f) {
    return {float(r) / 255.0f, float(g) / 255.0f, float(b) / 255.0f, a};
}
constexpr Rgba with_alpha(Rgba c, float a) { return {c.r, c.g, c.b, a}; }

// Linear interpolation of every component, alpha included.
constexpr Rgba mix(Rgba a, Rgba b, float t) {
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t,
            a.a + (b.a - a.a) * t};
}
// Multiplies the colour (not alpha) by k: k < 1 darkens, k > 1 lightens.
constexpr Rgba shade(Rgba c, float k) { return {c.r * k, c.g * k, c.b * k, c.a}; }
// Adds the same amount to every colour component.
constexpr Rgba lift(Rgba c, float d) { return {c.r + d, c.g + d, c.b + d, c.a}; }

constexpr std::uint8_t to_byte(float v) {
    const float s = std::clamp(v, 0.0f, 1.0f) * 255.0f + 0.5f;
    return static_cast<std::uint8_t>(s);
}
constexpr Rgb8 to_rgb8(Rgba c) { return {to_byte(c.r), to_byte(c.g), to_byte(c.b)}; }
constexpr Rgba to_rgba(Rgb8 c) { return rgb(c.r, c.g, c.b); }

}  // namespace art
