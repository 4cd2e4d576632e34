// Value -> angle through a needle's table, on the meter's own two tables (the
// directions the gauge's data sheet gives for each row) and small synthetic
// ones for wrap-around and odd tables.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "render/needle_angle.h"

namespace panelhost::render {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

const Point kVoltsPosition{107, 126};
const std::vector<TableRow> kVolts = {
    {{92, 186}, 0.0}, {{50, 164}, 10.0}, {{38, 123}, 20.0}, {{55, 80}, 30.0}, {{98, 61}, 40.0}};
const Point kAmpsPosition{128, 126};
const std::vector<TableRow> kAmps = {{{135, 62}, 60.0}, {{171, 163}, 0.0}, {{131, 184}, -20.0}};

// Distance between two angles on the circle.
double arc(double a, double b) {
    const double d = std::fmod(std::fabs(a - b), 360.0);
    return std::min(d, 360.0 - d);
}

struct Case {
    const char* what;
    const std::vector<TableRow>* table;
    Point position;
    double value;
    double degrees;
};

class NeedleAngle : public testing::TestWithParam<Case> {};

TEST_P(NeedleAngle, TurnsThroughTheTable) {
    const Case& c = GetParam();
    const double got = needle_angle(*c.table, c.position, c.value);
    EXPECT_GE(got, 0.0);
    EXPECT_LT(got, 360.0);
    // The expected figures are rounded to 0.01 degree.
    EXPECT_LE(arc(got, c.degrees), 0.006) << c.what << ": got " << got;
}

INSTANTIATE_TEST_SUITE_P(
    Tables, NeedleAngle,
    testing::Values(
        // Ascending table: each row, and between rows linearly in value.
        Case{"volts 0", &kVolts, kVoltsPosition, 0.0, 104.04},
        Case{"volts 10", &kVolts, kVoltsPosition, 10.0, 146.31},
        Case{"volts 20", &kVolts, kVoltsPosition, 20.0, 182.49},
        Case{"volts 30", &kVolts, kVoltsPosition, 30.0, 221.50},
        Case{"volts 40", &kVolts, kVoltsPosition, 40.0, 262.12},
        Case{"volts 25, halfway 20..30", &kVolts, kVoltsPosition, 25.0, (182.49 + 221.50) / 2},
        // Descending table, each row and in between; 0 -> 60 turns 124.47
        // anticlockwise, so 20 and 40 cross 0/360 and lie near 359 and 318.
        Case{"amps 60", &kAmps, kAmpsPosition, 60.0, 276.24},
        Case{"amps 0", &kAmps, kAmpsPosition, 0.0, 40.71},
        Case{"amps -20", &kAmps, kAmpsPosition, -20.0, 87.04},
        Case{"amps 20, shorter arc across 0", &kAmps, kAmpsPosition, 20.0, 359.22},
        Case{"amps 40", &kAmps, kAmpsPosition, 40.0, 317.73},
        Case{"amps -10", &kAmps, kAmpsPosition, -10.0, (40.71 + 87.04) / 2},
        // Outside the range: the end row the value lies beyond.
        Case{"volts -3", &kVolts, kVoltsPosition, -3.0, 104.04},
        Case{"volts 45", &kVolts, kVoltsPosition, 45.0, 262.12},
        Case{"volts +inf", &kVolts, kVoltsPosition, kInf, 262.12},
        Case{"volts -inf", &kVolts, kVoltsPosition, -kInf, 104.04},
        Case{"amps 75", &kAmps, kAmpsPosition, 75.0, 276.24},
        Case{"amps -30", &kAmps, kAmpsPosition, -30.0, 87.04},
        Case{"amps -inf", &kAmps, kAmpsPosition, -kInf, 87.04},
        // NaN: the first row as stored.
        Case{"volts NaN", &kVolts, kVoltsPosition, kNaN, 104.04},
        Case{"amps NaN", &kAmps, kAmpsPosition, kNaN, 276.24}),
    [](const auto& info) { return "case" + std::to_string(info.index); });

TEST(NeedleAngleEdges, WrapsBothWaysAcrossZero) {
    // 350 -> 10 degrees clockwise across 0, and the same rows stored the
    // other way round: both go the 20 degrees through 0, never 340 back.
    const Point o{0, 0};
    const auto at = [](double deg) {
        const double r = deg * M_PI / 180.0;
        return Point{int(std::lround(1e5 * std::cos(r))), int(std::lround(1e5 * std::sin(r)))};
    };
    const std::vector<TableRow> up = {{at(350), 0.0}, {at(10), 1.0}};
    const std::vector<TableRow> down = {{at(10), 0.0}, {at(350), 1.0}};
    EXPECT_LE(arc(needle_angle(up, o, 0.5), 0.0), 0.01);
    EXPECT_LE(arc(needle_angle(up, o, 0.25), 355.0), 0.01);
    EXPECT_LE(arc(needle_angle(down, o, 0.25), 5.0), 0.01);
}

TEST(NeedleAngleEdges, DegenerateTables) {
    const Point o{0, 0};
    EXPECT_EQ(needle_angle({}, o, 5.0), 0.0) << "no rows: the bitmap as drawn";
    const std::vector<TableRow> one = {{{0, 10}, 3.0}};
    EXPECT_DOUBLE_EQ(needle_angle(one, o, -100.0), 90.0);
    // Neighbouring rows of equal value: the earlier one, no division by zero.
    const std::vector<TableRow> flat = {{{10, 0}, 1.0}, {{0, 10}, 1.0}, {{-10, 0}, 2.0}};
    EXPECT_DOUBLE_EQ(needle_angle(flat, o, 1.0), 0.0);
    EXPECT_DOUBLE_EQ(needle_angle(flat, o, 1.5), 135.0);
    // Exactly half a turn between rows goes clockwise.
    const std::vector<TableRow> half = {{{10, 0}, 0.0}, {{-10, 0}, 1.0}};
    EXPECT_DOUBLE_EQ(needle_angle(half, o, 0.5), 90.0);
}

}  // namespace
}  // namespace panelhost::render
