// Lighting helpers: surface normals of simple solids, diffuse and specular
// terms, and deterministic noise for material texture.
//
// The light model is the usual one for panel art: a distant light from a
// fixed direction, a viewer straight in front (+z towards the viewer), and
// y downwards on screen.
#pragma once

#include <cstdint>

#include "lib/geometry.h"

namespace art {

struct Vec3 {
    double x = 0, y = 0, z = 0;
};

Vec3 normalised(Vec3 v);
double dot(Vec3 a, Vec3 b);

// The direction towards a light in the given screen direction (degrees,
// clockwise from +x, y down: 225 is upper left) at the given elevation above
// the panel (degrees).
Vec3 light_from(double screen_deg, double elevation_deg);

// The normal of a dome (a spherical cap) of the given footprint radius and
// height ratio (0 flat .. 1 half sphere) at point p.
Vec3 dome_normal(Vec2 p, Vec2 centre, double radius, double height_ratio);

// Lambert's diffuse term, 0..1.
double diffuse(Vec3 normal, Vec3 light);
// Blinn-Phong specular term for a viewer straight in front, 0..1.
double specular(Vec3 normal, Vec3 light, double shininess);

// Hash of an integer lattice point, uniform in 0..1; the same for the same
// arguments on every run.
double hash01(std::int64_t x, std::int64_t y, std::uint32_t seed);
// Smooth value noise in 0..1 with features about `scale` pixels large.
double value_noise(Vec2 p, double scale, std::uint32_t seed);
// Fine grain in -0.5..0.5, one value per pixel, for paint and anodising.
double grain(int x, int y, std::uint32_t seed);

}  // namespace art
