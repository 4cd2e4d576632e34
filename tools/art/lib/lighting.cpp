#include "lib/lighting.h"

#include <algorithm>
#include <cmath>

namespace art {

Vec3 normalised(Vec3 v) {
    const double l = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
    return l > 0 ? Vec3{v.x / l, v.y / l, v.z / l} : Vec3{0, 0, 1};
}

double dot(Vec3 a, Vec3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

Vec3 light_from(double screen_deg, double elevation_deg) {
    const double c = std::cos(radians(elevation_deg));
    return normalised({std::cos(radians(screen_deg)) * c, std::sin(radians(screen_deg)) * c,
                       std::sin(radians(elevation_deg))});
}

Vec3 dome_normal(Vec2 p, Vec2 centre, double radius, double height_ratio) {
    // A cap of a sphere whose footprint has the given radius: the sphere's
    // radius R follows from the cap height h = height_ratio * radius.
    const double h = std::clamp(height_ratio, 1e-3, 1.0) * radius;
    const double R = (radius * radius + h * h) / (2 * h);
    const Vec2 d = p - centre;
    const double r2 = std::min(dot(d, d), radius * radius);
    const double z = std::sqrt(std::max(R * R - r2, 0.0));
    return normalised({d.x, d.y, z});
}

double diffuse(Vec3 n, Vec3 l) { return std::max(0.0, dot(n, l)); }

double specular(Vec3 n, Vec3 l, double shininess) {
    const Vec3 h = normalised({l.x, l.y, l.z + 1.0});
    return std::pow(std::max(0.0, dot(n, h)), shininess);
}

double hash01(std::int64_t x, std::int64_t y, std::uint32_t seed) {
    std::uint64_t h = std::uint64_t(x) * 0x9E3779B97F4A7C15ull ^ std::uint64_t(y) * 0xC2B2AE3D27D4EB4Full ^
                      (std::uint64_t(seed) << 32 | seed);
    h ^= h >> 33;
    h *= 0xFF51AFD7ED558CCDull;
    h ^= h >> 33;
    h *= 0xC4CEB9FE1A85EC53ull;
    h ^= h >> 33;
    return double(h >> 11) * (1.0 / 9007199254740992.0);
}

double value_noise(Vec2 p, double scale, std::uint32_t seed) {
    const double fx = p.x / scale, fy = p.y / scale;
    const double x0 = std::floor(fx), y0 = std::floor(fy);
    const double tx = fx - x0, ty = fy - y0;
    const double sx = tx * tx * (3 - 2 * tx), sy = ty * ty * (3 - 2 * ty);
    const auto ix = std::int64_t(x0), iy = std::int64_t(y0);
    const double a = hash01(ix, iy, seed), b = hash01(ix + 1, iy, seed);
    const double c = hash01(ix, iy + 1, seed), d = hash01(ix + 1, iy + 1, seed);
    return (a + (b - a) * sx) + ((c + (d - c) * sx) - (a + (b - a) * sx)) * sy;
}

double grain(int x, int y, std::uint32_t seed) { return hash01(x, y, seed) - 0.5; }

}  // namespace art
