#include "lib/mask.h"

#include <algorithm>
#include <cassert>
#include <cmath>

namespace art {

Mask::Mask(int width, int height, float value)
    : width_(width), height_(height), cover_(std::size_t(width) * std::size_t(height), value) {
    assert(width > 0 && height > 0);
}

float Mask::get(int x, int y) const {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return 0.0f;
    return at(x, y);
}

Mask& Mask::unite(const Mask& other) {
    assert(other.width_ == width_ && other.height_ == height_);
    for (std::size_t i = 0; i < cover_.size(); ++i) cover_[i] = std::max(cover_[i], other.cover_[i]);
    return *this;
}

Mask& Mask::intersect(const Mask& other) {
    assert(other.width_ == width_ && other.height_ == height_);
    for (std::size_t i = 0; i < cover_.size(); ++i) cover_[i] *= other.cover_[i];
    return *this;
}

Mask& Mask::subtract(const Mask& other) {
    assert(other.width_ == width_ && other.height_ == height_);
    for (std::size_t i = 0; i < cover_.size(); ++i) cover_[i] *= 1.0f - other.cover_[i];
    return *this;
}

Mask& Mask::invert() {
    for (float& c : cover_) c = 1.0f - c;
    return *this;
}

Mask& Mask::scale(float k) {
    for (float& c : cover_) c = std::clamp(c * k, 0.0f, 1.0f);
    return *this;
}

Mask Mask::shifted(int dx, int dy) const {
    Mask out(width_, height_);
    for (int y = 0; y < height_; ++y)
        for (int x = 0; x < width_; ++x) out.at(x, y) = get(x - dx, y - dy);
    return out;
}

Mask Mask::blurred(int radius) const {
    if (radius <= 0) return *this;
    Mask a = *this, b(width_, height_);
    const float norm = 1.0f / float(2 * radius + 1);
    for (int pass = 0; pass < 3; ++pass) {
        for (int y = 0; y < height_; ++y)
            for (int x = 0; x < width_; ++x) {
                float s = 0;
                for (int k = -radius; k <= radius; ++k) s += a.get(x + k, y);
                b.at(x, y) = s * norm;
            }
        for (int y = 0; y < height_; ++y)
            for (int x = 0; x < width_; ++x) {
                float s = 0;
                for (int k = -radius; k <= radius; ++k) s += b.get(x, y + k);
                a.at(x, y) = s * norm;
            }
    }
    return a;
}

namespace {

struct PixelRange {
    int x0, y0, x1, y1;  // inclusive
};

PixelRange clip(int width, int height, Box b, int margin) {
    return {std::max(0, int(std::floor(b.x0)) - margin), std::max(0, int(std::floor(b.y0)) - margin),
            std::min(width - 1, int(std::ceil(b.x1)) + margin),
            std::min(height - 1, int(std::ceil(b.y1)) + margin)};
}

}  // namespace

Mask mask_from_distance(int width, int height, const std::function<double(Vec2)>& distance,
                        Box bounds) {
    Mask m(width, height);
    const PixelRange r = clip(width, height, bounds, 1);
    for (int y = r.y0; y <= r.y1; ++y)
        for (int x = r.x0; x <= r.x1; ++x) {
            const double d = distance({x + 0.5, y + 0.5});
            m.at(x, y) = float(std::clamp(0.5 - d, 0.0, 1.0));
        }
    return m;
}

Mask mask_from_test(int width, int height, const std::function<bool(Vec2)>& inside, Box bounds,
                    int ss) {
    Mask m(width, height);
    const PixelRange r = clip(width, height, bounds, 1);
    const float unit = 1.0f / float(ss * ss);
    for (int y = r.y0; y <= r.y1; ++y)
        for (int x = r.x0; x <= r.x1; ++x) {
            int hits = 0;
            for (int sy = 0; sy < ss; ++sy)
                for (int sx = 0; sx < ss; ++sx)
                    hits += inside({x + (sx + 0.5) / ss, y + (sy + 0.5) / ss}) ? 1 : 0;
            m.at(x, y) = float(hits) * unit;
        }
    return m;
}

Mask circle(int width, int height, Vec2 c, double radius) {
    return mask_from_distance(
        width, height, [&](Vec2 p) { return length(p - c) - radius; },
        {c.x - radius, c.y - radius, c.x + radius, c.y + radius});
}

Mask ring(int width, int height, Vec2 c, double inner_radius, double outer_radius) {
    const double mid = (inner_radius + outer_radius) / 2, half = (outer_radius - inner_radius) / 2;
    return mask_from_distance(
        width, height, [&](Vec2 p) { return std::abs(length(p - c) - mid) - half; },
        {c.x - outer_radius, c.y - outer_radius, c.x + outer_radius, c.y + outer_radius});
}

Mask polygon(int width, int height, std::span<const Vec2> pts, int ss) {
    if (pts.size() < 3) return Mask(width, height);
    Box b{pts[0].x, pts[0].y, pts[0].x, pts[0].y};
    for (Vec2 p : pts) {
        b.x0 = std::min(b.x0, p.x), b.y0 = std::min(b.y0, p.y);
        b.x1 = std::max(b.x1, p.x), b.y1 = std::max(b.y1, p.y);
    }
    auto inside = [&](Vec2 p) {
        int winding = 0;
        for (std::size_t i = 0; i < pts.size(); ++i) {
            const Vec2 a = pts[i], e = pts[(i + 1) % pts.size()];
            if (a.y <= p.y) {
                if (e.y > p.y && cross(e - a, p - a) > 0) ++winding;
            } else if (e.y <= p.y && cross(e - a, p - a) < 0) {
                --winding;
            }
        }
        return winding != 0;
    };
    return mask_from_test(width, height, inside, b, ss);
}

Mask rectangle(int width, int height, Box box) {
    Mask m(width, height);
    const PixelRange r = clip(width, height, box, 0);
    for (int y = r.y0; y <= r.y1; ++y) {
        const double cy = std::max(0.0, std::min(y + 1.0, box.y1) - std::max(double(y), box.y0));
        for (int x = r.x0; x <= r.x1; ++x) {
            const double cx = std::max(0.0, std::min(x + 1.0, box.x1) - std::max(double(x), box.x0));
            m.at(x, y) = float(cx * cy);
        }
    }
    return m;
}

Mask rounded_rectangle(int width, int height, Box box, double radius) {
    const Vec2 c = box.centre();
    const double hx = box.width() / 2 - radius, hy = box.height() / 2 - radius;
    return mask_from_distance(
        width, height,
        [&](Vec2 p) {
            const double qx = std::abs(p.x - c.x) - hx, qy = std::abs(p.y - c.y) - hy;
            const double outside = std::hypot(std::max(qx, 0.0), std::max(qy, 0.0));
            return outside + std::min(std::max(qx, qy), 0.0) - radius;
        },
        box);
}

Mask line(int width, int height, Vec2 a, Vec2 b, double stroke_width, Cap cap) {
    const double half = stroke_width / 2;
    if (cap == Cap::round) {
        return mask_from_distance(
            width, height, [&](Vec2 p) { return distance_to_segment(p, a, b) - half; },
            {std::min(a.x, b.x) - half, std::min(a.y, b.y) - half, std::max(a.x, b.x) + half,
             std::max(a.y, b.y) + half});
    }
    const Vec2 n = perpendicular(normalised(b - a)) * half;
    const Vec2 quad[] = {a + n, b + n, b - n, a - n};
    return polygon(width, height, quad, 8);
}

Mask arc(int width, int height, Vec2 c, double radius, double from_deg, double to_deg,
         double stroke_width) {
    const double half = stroke_width / 2;
    const double span = std::fmod(std::fmod(to_deg - from_deg, 360.0) + 360.0, 360.0);
    auto inside = [&](Vec2 p) {
        if (std::abs(length(p - c) - radius) > half) return false;
        const double rel = std::fmod(direction_of(c, p) - from_deg + 720.0, 360.0);
        return rel <= span;
    };
    return mask_from_test(width, height, inside,
                          {c.x - radius - half, c.y - radius - half, c.x + radius + half,
                           c.y + radius + half});
}

}  // namespace art
