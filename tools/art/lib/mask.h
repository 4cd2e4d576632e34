// Coverage masks: how much of each pixel a shape covers (0..1).
//
// Every primitive yields a mask; masks combine like sets (unite, intersect,
// subtract) and are then painted onto a canvas. Edges are anti-aliased by
// computing coverage, either analytically from a signed distance or by
// supersampling each pixel.
#pragma once

#include <functional>
#include <span>
#include <vector>

#include "lib/geometry.h"

namespace art {

class Mask {
public:
    Mask(int width, int height, float value = 0.0f);

    int width() const { return width_; }
    int height() const { return height_; }
    float at(int x, int y) const { return cover_[index(x, y)]; }
    float& at(int x, int y) { return cover_[index(x, y)]; }
    // Coverage at (x, y), 0 outside the mask.
    float get(int x, int y) const;

    Mask& unite(const Mask& other);      // max
    Mask& intersect(const Mask& other);  // product
    Mask& subtract(const Mask& other);   // this * (1 - other)
    Mask& invert();                      // 1 - this
    Mask& scale(float k);                // this * k, clamped to 0..1
    // A copy moved by whole pixels (for drop shadows).
    Mask shifted(int dx, int dy) const;
    // A copy softened by a box blur of the given radius, applied three times
    // (close to a Gaussian); for shadows and glows.
    Mask blurred(int radius) const;

private:
    std::size_t index(int x, int y) const { return std::size_t(y) * std::size_t(width_) + std::size_t(x); }
    int width_, height_;
    std::vector<float> cover_;
};

// A shape given by its signed distance (negative inside, in pixels); the
// coverage of a pixel is taken from the distance at its centre, which is
// exact for straight edges and very close for gentle curves.
Mask mask_from_distance(int width, int height, const std::function<double(Vec2)>& distance,
                        Box bounds);
// A shape given by an inside test, sampled ss x ss times in each pixel of bounds.
Mask mask_from_test(int width, int height, const std::function<bool(Vec2)>& inside, Box bounds,
                    int ss = 8);

Mask circle(int width, int height, Vec2 centre, double radius);
// The area between two circles about one centre.
Mask ring(int width, int height, Vec2 centre, double inner_radius, double outer_radius);
// A filled polygon (non-zero winding), supersampled ss x ss per pixel.
Mask polygon(int width, int height, std::span<const Vec2> points, int ss = 8);
// An axis-aligned rectangle (exact area coverage).
Mask rectangle(int width, int height, Box box);
// A rectangle with rounded corners.
Mask rounded_rectangle(int width, int height, Box box, double radius);
// A straight stroke from a to b of the given width. Flat ends end exactly at
// a and b; round ends add a half-disc beyond each.
enum class Cap { flat, round };
Mask line(int width, int height, Vec2 a, Vec2 b, double stroke_width, Cap cap = Cap::flat);
// A circular arc stroke about centre, from direction from_deg clockwise to to_deg.
Mask arc(int width, int height, Vec2 centre, double radius, double from_deg, double to_deg,
         double stroke_width);

}  // namespace art
