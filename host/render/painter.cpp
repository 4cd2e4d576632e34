#include "render/painter.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>

#include "gauge/records.h"
#include "render/icon_picture.h"
#include "render/needle_angle.h"

namespace panelhost::render {
namespace {

// Source over destination, straight alpha; `a` is the source coverage 0..1.
void blend(Rgba& dst, float r, float g, float b, float a) {
    if (a <= 0.0f) return;
    if (a >= 1.0f) {
        dst = {static_cast<std::uint8_t>(r + 0.5f), static_cast<std::uint8_t>(g + 0.5f),
               static_cast<std::uint8_t>(b + 0.5f), 255};
        return;
    }
    const float da = dst.a / 255.0f;
    const float below = da * (1.0f - a);
    const float out_a = a + below;
    auto mix = [&](float s, std::uint8_t d) {
        return static_cast<std::uint8_t>(std::clamp((s * a + d * below) / out_a + 0.5f, 0.0f, 255.0f));
    };
    dst = {mix(r, dst.r), mix(g, dst.g), mix(b, dst.b),
           static_cast<std::uint8_t>(std::clamp(out_a * 255.0f + 0.5f, 0.0f, 255.0f))};
}

// A coordinate computed in doubles, clamped into [low, high] before it becomes
// an int: positions and pivots are any 32-bit values a module's records hold,
// so the box of a far-away element can lie beyond the range of int. NaN gives
// `low`.
int clamp_to_int(double v, int low, int high) {
    if (!(v > low)) return low;
    return v < high ? int(v) : high;
}

// An unturned bitmap with its top-left corner at (left, top). The right and
// bottom edges are summed in 64 bits: `left` may be near the top of int.
void blit(const Bitmap& bitmap, int left, int top, bool transparent, Frame& frame) {
    const int x0 = std::max(0, left);
    const int x1 = int(std::min<std::int64_t>(frame.width, std::int64_t{left} + bitmap.width));
    const int y0 = std::max(0, top);
    const int y1 = int(std::min<std::int64_t>(frame.height, std::int64_t{top} + bitmap.height));
    for (int y = y0; y < y1; ++y) {
        for (int x = x0; x < x1; ++x) {
            const int sx = x - left, sy = y - top;
            if (transparent && bitmap.is_black(sx, sy)) continue;
            const Rgb& c = bitmap.at(sx, sy);
            frame.at(x, y) = {c.r, c.g, c.b, 255};
        }
    }
}

// A needle bitmap turned by `degrees` about `pivot`, the pivot on `position`.
// Pixel centres: bitmap pixel (i, j) sits at (i, j); the frame pixel (x, y)
// whose centre lies at offset (dx, dy) from the position's centre maps back
// to pivot + R(-angle) * (dx, dy).
void draw_turned(const Bitmap& bitmap, Point pivot, Point position, double degrees,
                 bool transparent, bool bilinear, Frame& frame) {
    const double rad = degrees * std::numbers::pi / 180.0;
    const double c = std::cos(rad), s = std::sin(rad);

    // Frame box of the turned bitmap: its corners (pixel edges) mapped forward.
    double min_x = 1e9, max_x = -1e9, min_y = 1e9, max_y = -1e9;
    for (double u : {-0.5 - pivot.x, bitmap.width - 0.5 - pivot.x}) {
        for (double v : {-0.5 - pivot.y, bitmap.height - 0.5 - pivot.y}) {
            const double fx = position.x + c * u - s * v, fy = position.y + s * u + c * v;
            min_x = std::min(min_x, fx); max_x = std::max(max_x, fx);
            min_y = std::min(min_y, fy); max_y = std::max(max_y, fy);
        }
    }
    const int x0 = clamp_to_int(std::floor(min_x) - 1, 0, frame.width);
    const int x1 = clamp_to_int(std::ceil(max_x) + 1, -1, frame.width - 1);
    const int y0 = clamp_to_int(std::floor(min_y) - 1, 0, frame.height);
    const int y1 = clamp_to_int(std::ceil(max_y) + 1, -1, frame.height - 1);

    // Differences and source coordinates stay in doubles, and are checked
    // against the bitmap before they become indexes.
    for (int y = y0; y <= y1; ++y) {
        const double dy = double(y) - position.y;
        for (int x = x0; x <= x1; ++x) {
            const double dx = double(x) - position.x;
            const double sx = pivot.x + c * dx + s * dy;
            const double sy = pivot.y - s * dx + c * dy;
            if (!bilinear) {
                const double rx = std::round(sx), ry = std::round(sy);
                if (!(rx >= 0 && ry >= 0 && rx < bitmap.width && ry < bitmap.height)) continue;
                const int ix = int(rx), iy = int(ry);
                if (transparent && bitmap.is_black(ix, iy)) continue;
                const Rgb& p = bitmap.at(ix, iy);
                frame.at(x, y) = {p.r, p.g, p.b, 255};
                continue;
            }
            const double fx0 = std::floor(sx), fy0 = std::floor(sy);
            if (!(fx0 >= -1 && fy0 >= -1 && fx0 < bitmap.width && fy0 < bitmap.height)) continue;
            const int ix = int(fx0), iy = int(fy0);
            const float tx = float(sx - fx0), ty = float(sy - fy0);
            float r = 0, g = 0, b = 0, cover = 0;
            const int tap_x[2] = {ix, ix + 1}, tap_y[2] = {iy, iy + 1};
            const float weight_x[2] = {1.0f - tx, tx}, weight_y[2] = {1.0f - ty, ty};
            for (int j = 0; j < 2; ++j) {
                const int py = tap_y[j];
                if (py < 0 || py >= bitmap.height) continue;
                for (int i = 0; i < 2; ++i) {
                    const int px = tap_x[i];
                    if (px < 0 || px >= bitmap.width) continue;
                    if (transparent && bitmap.is_black(px, py)) continue;
                    const float w = weight_x[i] * weight_y[j];
                    const Rgb& p = bitmap.at(px, py);
                    r += w * p.r; g += w * p.g; b += w * p.b; cover += w;
                }
            }
            if (cover <= 1e-6f) continue;
            blend(frame.at(x, y), r / cover, g / cover, b / cover, cover);
        }
    }
}

}  // namespace

void draw_element(const Element& e, Frame& frame) {
    if (e.draw_flags & gauge::kDrawHidden) return;
    const bool transparent = e.draw_flags & gauge::kDrawTransparent;
    const double value = e.value.value_or(std::numeric_limits<double>::quiet_NaN());
    switch (e.kind) {
    case ElementKind::StaticImage:
        if (!e.bitmaps.empty() && e.bitmaps[0])
            blit(*e.bitmaps[0], e.position.x, e.position.y, transparent, frame);
        return;
    case ElementKind::Icon: {
        const auto count = std::min<std::size_t>(e.picture_count, e.bitmaps.size());
        if (count == 0) return;
        const auto n = icon_picture(value, e.switch_mode, static_cast<std::uint32_t>(count),
                                    e.scale, e.offset);
        if (e.bitmaps[n]) blit(*e.bitmaps[n], e.position.x, e.position.y, transparent, frame);
        return;
    }
    case ElementKind::Needle:
        if (e.bitmaps.empty() || !e.bitmaps[0]) return;
        draw_turned(*e.bitmaps[0], e.pivot, e.position, needle_angle(e.table, e.position, value),
                    transparent, e.draw_flags & gauge::kDrawBilinear, frame);
        return;
    }
}

void render_into(const Scene& scene, Frame& frame) {
    frame.width = scene.width;
    frame.height = scene.height;
    frame.pixels.assign(static_cast<std::size_t>(scene.width) * scene.height, Rgba{});
    for (const Element& e : scene.elements) draw_element(e, frame);
}

Frame render(const Scene& scene) {
    Frame frame;
    render_into(scene, frame);
    return frame;
}

}  // namespace panelhost::render
