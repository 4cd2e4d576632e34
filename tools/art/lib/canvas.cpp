#include "lib/canvas.h"

#include <algorithm>
#include <cassert>

namespace art {

Canvas::Canvas(int width, int height, Rgba fill)
    : width_(width), height_(height), pixels_(std::size_t(width) * std::size_t(height), fill) {
    assert(width > 0 && height > 0);
}

void Canvas::blend(int x, int y, Rgba c, float weight) {
    const float a = std::clamp(c.a * weight, 0.0f, 1.0f);
    if (a <= 0.0f) return;
    Rgba& d = at(x, y);
    const float out_a = a + d.a * (1.0f - a);
    if (out_a <= 0.0f) return;
    const float kd = d.a * (1.0f - a) / out_a, ks = a / out_a;
    d = {c.r * ks + d.r * kd, c.g * ks + d.g * kd, c.b * ks + d.b * kd, out_a};
}

void Canvas::fill(const Mask& mask, Rgba colour) {
    assert(mask.width() == width_ && mask.height() == height_);
    for (int y = 0; y < height_; ++y)
        for (int x = 0; x < width_; ++x)
            if (const float m = mask.at(x, y); m > 0.0f) blend(x, y, colour, m);
}

void Canvas::fill(const Mask& mask, const Paint& paint) {
    assert(mask.width() == width_ && mask.height() == height_);
    for (int y = 0; y < height_; ++y)
        for (int x = 0; x < width_; ++x)
            if (const float m = mask.at(x, y); m > 0.0f) blend(x, y, paint({x + 0.5, y + 0.5}), m);
}

void Canvas::filter(const Mask& mask, const std::function<Rgba(Vec2, Rgba)>& f) {
    assert(mask.width() == width_ && mask.height() == height_);
    for (int y = 0; y < height_; ++y)
        for (int x = 0; x < width_; ++x)
            if (const float m = mask.at(x, y); m > 0.0f) {
                Rgba& d = at(x, y);
                const Rgba n = f({x + 0.5, y + 0.5}, d);
                d = {d.r + (n.r - d.r) * m, d.g + (n.g - d.g) * m, d.b + (n.b - d.b) * m, d.a};
            }
}

void Canvas::clip_to(const Mask& mask) {
    assert(mask.width() == width_ && mask.height() == height_);
    for (int y = 0; y < height_; ++y)
        for (int x = 0; x < width_; ++x) at(x, y).a *= mask.at(x, y);
}

Canvas Canvas::over(Rgba backdrop) const {
    Canvas out(width_, height_, with_alpha(backdrop, 1.0f));
    for (int y = 0; y < height_; ++y)
        for (int x = 0; x < width_; ++x) out.blend(x, y, at(x, y), 1.0f);
    return out;
}

Rgba Gradient::operator()(double t) const {
    assert(!stops.empty());
    if (t <= stops.front().at) return stops.front().colour;
    for (std::size_t i = 1; i < stops.size(); ++i)
        if (t <= stops[i].at) {
            const Stop& a = stops[i - 1];
            const Stop& b = stops[i];
            const float span = b.at - a.at;
            return span > 0 ? mix(a.colour, b.colour, float((t - a.at) / span)) : b.colour;
        }
    return stops.back().colour;
}

Paint solid(Rgba colour) {
    return [colour](Vec2) { return colour; };
}

Paint linear_gradient(Vec2 a, Vec2 b, Gradient g) {
    const Vec2 ab = b - a;
    const double len2 = dot(ab, ab);
    return [a, ab, len2, g = std::move(g)](Vec2 p) { return g(len2 > 0 ? dot(p - a, ab) / len2 : 0.0); };
}

Paint radial_gradient(Vec2 centre, double radius, Gradient g) {
    return [centre, radius, g = std::move(g)](Vec2 p) { return g(length(p - centre) / radius); };
}

Paint conic_gradient(Vec2 centre, Gradient g) {
    return [centre, g = std::move(g)](Vec2 p) { return g(direction_of(centre, p) / 360.0); };
}

Paint supersampled(Paint paint, int n) {
    return [paint = std::move(paint), n](Vec2 centre) {
        Rgba sum{0, 0, 0, 0};
        for (int j = 0; j < n; ++j)
            for (int i = 0; i < n; ++i) {
                const Rgba c = paint({centre.x - 0.5 + (i + 0.5) / n, centre.y - 0.5 + (j + 0.5) / n});
                sum = {sum.r + c.r, sum.g + c.g, sum.b + c.b, sum.a + c.a};
            }
        const float k = 1.0f / float(n * n);
        return Rgba{sum.r * k, sum.g * k, sum.b * k, sum.a * k};
    };
}

}  // namespace art
