// A floating-point RGBA picture and the ways to paint on it.
//
// A Paint gives the colour at a point (pixel centres are passed); painting a
// mask composites that colour "over" the canvas, weighted by the mask's
// coverage and the paint's alpha.
#pragma once

#include <functional>
#include <vector>

#include "lib/color.h"
#include "lib/geometry.h"
#include "lib/mask.h"

namespace art {

using Paint = std::function<Rgba(Vec2)>;

class Canvas {
public:
    Canvas(int width, int height, Rgba fill = {0, 0, 0, 0});

    int width() const { return width_; }
    int height() const { return height_; }
    const Rgba& at(int x, int y) const { return pixels_[index(x, y)]; }
    Rgba& at(int x, int y) { return pixels_[index(x, y)]; }

    // Composites colour over the pixel with the given weight (0..1).
    void blend(int x, int y, Rgba colour, float weight);
    void fill(const Mask& mask, Rgba colour);
    void fill(const Mask& mask, const Paint& paint);
    // Changes the colour of covered pixels in place, weighted by coverage:
    // for lighting effects that depend on what is already there.
    void filter(const Mask& mask, const std::function<Rgba(Vec2, Rgba)>& f);
    // Everything outside mask becomes fully transparent; edge pixels keep their
    // colour and take the coverage as alpha.
    void clip_to(const Mask& mask);
    // The picture seen over a solid backdrop (alpha resolved).
    Canvas over(Rgba backdrop) const;

private:
    std::size_t index(int x, int y) const { return std::size_t(y) * std::size_t(width_) + std::size_t(x); }
    int width_, height_;
    std::vector<Rgba> pixels_;
};

// A colour ramp: stops at positions 0..1, in ascending order.
struct Gradient {
    struct Stop {
        float at;
        Rgba colour;
    };
    std::vector<Stop> stops;
    Rgba operator()(double t) const;
};

Paint solid(Rgba colour);
// Colour by the projection of the point on the segment a-b (0 at a, 1 at b).
Paint linear_gradient(Vec2 a, Vec2 b, Gradient g);
// Colour by the distance from centre (0 at centre, 1 at radius).
Paint radial_gradient(Vec2 centre, double radius, Gradient g);
// Colour by the direction from centre (0 at 0 degrees, 1 at 360), as light
// falls on turned or brushed metal.
Paint conic_gradient(Vec2 centre, Gradient g);
// A paint averaged over n x n points spread over each pixel, for paints with
// detail finer than a pixel (thin grooves, sharp highlights).
Paint supersampled(Paint paint, int n = 4);

}  // namespace art
