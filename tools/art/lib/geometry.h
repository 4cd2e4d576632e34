// Plane geometry for the drawings: points in continuous pixel coordinates.
//
// Pixel (x, y) covers the square [x, x+1) x [y, y+1); its centre is at
// (x + 0.5, y + 0.5). So a shape that must cover pixel columns 90..93 spans
// x = 90 to x = 94. Directions are degrees clockwise from +x, with y downwards,
// the way an instrument's needle turns on screen.
#pragma once

#include <cmath>
#include <numbers>

namespace art {

struct Vec2 {
    double x = 0, y = 0;

    friend constexpr Vec2 operator+(Vec2 a, Vec2 b) { return {a.x + b.x, a.y + b.y}; }
    friend constexpr Vec2 operator-(Vec2 a, Vec2 b) { return {a.x - b.x, a.y - b.y}; }
    friend constexpr Vec2 operator*(Vec2 a, double k) { return {a.x * k, a.y * k}; }
    friend constexpr Vec2 operator*(double k, Vec2 a) { return {a.x * k, a.y * k}; }
    friend constexpr bool operator==(Vec2, Vec2) = default;
};

constexpr double dot(Vec2 a, Vec2 b) { return a.x * b.x + a.y * b.y; }
constexpr double cross(Vec2 a, Vec2 b) { return a.x * b.y - a.y * b.x; }
inline double length(Vec2 a) { return std::hypot(a.x, a.y); }
inline Vec2 normalised(Vec2 a) {
    const double l = length(a);
    return l > 0 ? a * (1.0 / l) : Vec2{};
}
// The vector turned 90 degrees clockwise on screen (y down).
constexpr Vec2 perpendicular(Vec2 a) { return {-a.y, a.x}; }

constexpr double radians(double degrees) { return degrees * std::numbers::pi / 180.0; }
constexpr double degrees(double radians) { return radians * 180.0 / std::numbers::pi; }

// The unit vector of a direction in degrees (clockwise from +x, y down).
inline Vec2 direction(double deg) { return {std::cos(radians(deg)), std::sin(radians(deg))}; }
// The point at distance r from centre in direction deg.
inline Vec2 polar(Vec2 centre, double deg, double r) { return centre + direction(deg) * r; }
// The direction of p seen from centre, in [0, 360).
inline double direction_of(Vec2 centre, Vec2 p) {
    double d = degrees(std::atan2(p.y - centre.y, p.x - centre.x));
    return d < 0 ? d + 360.0 : d;
}

// Distance from p to the segment a-b.
inline double distance_to_segment(Vec2 p, Vec2 a, Vec2 b) {
    const Vec2 ab = b - a;
    const double len2 = dot(ab, ab);
    double t = len2 > 0 ? dot(p - a, ab) / len2 : 0.0;
    t = t < 0 ? 0 : (t > 1 ? 1 : t);
    return length(p - (a + ab * t));
}

// An axis-aligned box in continuous coordinates: [x0, x1] x [y0, y1].
struct Box {
    double x0 = 0, y0 = 0, x1 = 0, y1 = 0;

    // The box that exactly covers pixel columns px0..px1 and rows py0..py1
    // (both inclusive).
    static constexpr Box pixels(int px0, int py0, int px1, int py1) {
        return {double(px0), double(py0), double(px1 + 1), double(py1 + 1)};
    }
    constexpr double width() const { return x1 - x0; }
    constexpr double height() const { return y1 - y0; }
    constexpr Vec2 centre() const { return {(x0 + x1) / 2, (y0 + y1) / 2}; }
};

}  // namespace art
