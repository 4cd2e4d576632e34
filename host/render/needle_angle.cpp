#include "render/needle_angle.h"

#include <cmath>
#include <numbers>

namespace panelhost::render {
namespace {

constexpr double kDegrees = 180.0 / std::numbers::pi;

double normalise(double degrees) {
    double a = std::fmod(degrees, 360.0);
    if (a < 0.0) a += 360.0;
    return a >= 360.0 ? 0.0 : a;   // fmod of a tiny negative can round to 360
}

// The signed turn from `from` to `to` along the shorter arc, in (-180, 180].
double shorter_turn(double from, double to) {
    double d = std::fmod(to - from, 360.0);
    if (d > 180.0) d -= 360.0;
    if (d <= -180.0) d += 360.0;
    return d;
}

}  // namespace

double row_direction(Point position, Point row_point) {
    const double dx = double(row_point.x) - position.x;
    const double dy = double(row_point.y) - position.y;
    return normalise(std::atan2(dy, dx) * kDegrees);
}

double needle_angle(std::span<const TableRow> table, Point position, double value) {
    if (table.empty()) return 0.0;
    auto direction = [&](std::size_t i) { return row_direction(position, table[i].point); };
    if (std::isnan(value) || table.size() == 1) return direction(0);

    for (std::size_t i = 0; i + 1 < table.size(); ++i) {
        const double a = table[i].value, b = table[i + 1].value;
        if (!(std::fmin(a, b) <= value && value <= std::fmax(a, b))) continue;
        if (a == b) return direction(i);
        const double t = (value - a) / (b - a);
        const double from = direction(i);
        return normalise(from + t * shorter_turn(from, direction(i + 1)));
    }

    // Outside the range covered by the rows: the end row it lies beyond.
    // (Neighbouring segments share rows, so the segments cover every value
    // from the smallest to the largest; only values beyond those get here.)
    std::size_t lowest = 0, highest = 0;
    for (std::size_t i = 1; i < table.size(); ++i) {
        if (table[i].value < table[lowest].value) lowest = i;
        if (table[i].value > table[highest].value) highest = i;
    }
    return direction(value > table[highest].value ? highest : lowest);
}

}  // namespace panelhost::render
