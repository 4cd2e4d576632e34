// QV_VornVA in panelhost: its records as the host reads them, the volts
// needle's gate, the values both needles pass on, their draw flags and the
// tooltip.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "gauge_checks.h"

namespace {

using frame_test::Session;
using frame_test::Sound;
using gauge_test::Same;

constexpr std::size_t kBackground = 0, kAmps = 1, kVolts = 2;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

std::unique_ptr<Session> open_va() {
    return Session::open(std::filesystem::path(DIST_DIR) / "QV_VornVA.gau", Sound::absent);
}

std::vector<gauge::NonlinearityRow> rows(std::initializer_list<std::tuple<int, int, double>> list) {
    std::vector<gauge::NonlinearityRow> out;
    for (auto [x, y, v] : list) out.push_back({.point = {x, y}, .value = v, .reserved = 0.0});
    return out;
}

void ExpectRows(const std::vector<gauge::NonlinearityRow>& actual, const std::vector<gauge::NonlinearityRow>& expected) {
    ASSERT_EQ(actual.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(actual[i].point.x, expected[i].point.x) << "row " << i;
        EXPECT_EQ(actual[i].point.y, expected[i].point.y) << "row " << i;
        EXPECT_TRUE(Same(expected[i].value, actual[i].value)) << "row " << i;
        EXPECT_TRUE(Same(0.0, actual[i].reserved)) << "row " << i;
    }
}

TEST(VaMeter, RecordsAsStored) {
    auto s = open_va();
    ASSERT_TRUE(s);
    const auto t = gauge_test::tree(*s);
    ASSERT_EQ(t.elements.size(), 3u);
    gauge_test::ExpectChain(t);
    gauge_test::ExpectUnsetFieldsZero(*s, t);

    struct Expected {
        std::uint32_t kind, resource;
        gauge::Point position, pivot;
        std::uint32_t token;
    };
    const Expected expected[] = {
        {gauge::kElementStaticImage, 0x100, {0, 0}, {0, 0}, 0},
        {gauge::kElementNeedle, 0x1100, {128, 126}, {2, 6}, 762},
        {gauge::kElementNeedle, 0x1200, {107, 126}, {2, 7}, 752},
    };
    for (std::size_t i = 0; i < 3; ++i) {
        const auto& e = t.elements[i];
        SCOPED_TRACE("element " + std::to_string(i));
        EXPECT_EQ(e.kind, expected[i].kind);
        EXPECT_EQ(e.resource_id, expected[i].resource);
        EXPECT_EQ(e.position.x, expected[i].position.x);
        EXPECT_EQ(e.position.y, expected[i].position.y);
        EXPECT_EQ(e.pivot.x, expected[i].pivot.x);
        EXPECT_EQ(e.pivot.y, expected[i].pivot.y);
        EXPECT_EQ(e.draw_flags, 0x83u);
        EXPECT_EQ(e.source_token, expected[i].token);
        EXPECT_TRUE(Same(0.0, e.source_value));
    }
    EXPECT_EQ(t.elements[kBackground].update, 0u);
    EXPECT_NE(t.elements[kAmps].update, 0u);
    EXPECT_NE(t.elements[kVolts].update, 0u);
    EXPECT_NE(t.elements[kAmps].update, t.elements[kVolts].update);

    ExpectRows(t.elements[kAmps].table, rows({{135, 62, 60.0}, {171, 163, 0.0}, {131, 184, -20.0}}));
    ExpectRows(t.elements[kVolts].table,
               rows({{92, 186, 0.0}, {50, 164, 10.0}, {38, 123, 20.0}, {55, 80, 30.0}, {98, 61, 40.0}}));
    for (std::size_t i : {kAmps, kVolts}) {
        auto needle = s->host->machine().read_as<gauge::guest::NeedleElement>(t.elements[i].address);
        ASSERT_TRUE(needle);
        EXPECT_EQ(needle->reserved, 0u);
    }
}

TEST(VaMeter, TooltipOverTheWholeGauge) {
    auto s = open_va();
    ASSERT_TRUE(s);
    auto view = s->host->gauge_view(s->gauge().header());
    ASSERT_TRUE(view) << view.error().message;
    EXPECT_EQ(view->name, "QV_VornVA");
    gauge_test::ExpectPlainMouseRects(*view, {gauge::kMouseParent, gauge::kMouseTooltip, gauge::kMouseEndParent,
                                              gauge::kMouseEnd});
    ASSERT_EQ(view->mouse_rects.size(), 4u);
    EXPECT_EQ(view->mouse_rects[1].tooltip, "Volts-Amperes Meter");
    EXPECT_EQ(view->mouse_rects[1].record.data, view->mouse_rects[0].address);
    EXPECT_EQ(view->tooltip(), "Volts-Amperes Meter");
}

struct GateRow {
    double t566, t364, volts, expected;
};

TEST(VaMeter, VoltsNeedleGate) {
    const GateRow rows[] = {
        {0.0, 0.0, 28.0, 0.0},        {-0.0, 0.0, 28.0, 0.0},       {0.0, -0.0, 28.0, 0.0},
        {-0.0, -0.0, 28.0, 0.0},      {0.0, 0.0, -5.0, 0.0},        {1.0, 0.0, 28.0, 28.0},
        {0.0, 1.0, 28.0, 28.0},       {1.0, 1.0, 28.0, 28.0},       {-1.0, 0.0, 28.0, 28.0},
        {0.0, -1.0, -5.0, -5.0},      {0.001, 0.0, 28.0, 28.0},     {0.0, 0.001, 28.0, 28.0},
        {kNaN, 0.0, 28.0, 28.0},      {0.0, kNaN, 28.0, 28.0},      {kInf, 0.0, 28.0, 28.0},
        {4.9e-324, 0.0, 28.0, 28.0},  {-0.0, kNaN, 28.0, 28.0},
    };
    auto s = open_va();
    ASSERT_TRUE(s);
    s->send(4);
    for (const GateRow& r : rows) {
        s->host->tokens().set(566, r.t566);
        s->host->tokens().set(364, r.t364);
        s->host->tokens().set(752, r.volts);
        s->host->tokens().set(762, 12.5);
        s->cycle();
        const auto t = gauge_test::tree(*s);
        EXPECT_TRUE(Same(r.expected, t.elements[kVolts].last_result))
            << "566=" << r.t566 << " 364=" << r.t364 << " 752=" << r.volts;
        EXPECT_TRUE(Same(12.5, t.elements[kAmps].last_result)) << "the amps needle is not gated";
    }
}

// Before any pre-update the gate reads the stored 0.0 values, whatever the
// simulator holds.
TEST(VaMeter, GateShutBeforeTheFirstRefresh) {
    auto s = open_va();
    ASSERT_TRUE(s);
    s->send(4);
    s->host->tokens().set(566, 1.0);
    s->host->tokens().set(364, 1.0);
    s->host->tokens().set(752, 28.0);
    ASSERT_TRUE(s->ok(s->host->refresh_sources(s->gauge())));
    auto volts = s->host->call_update(s->gauge(), kVolts);
    ASSERT_TRUE(volts) << volts.error().message;
    EXPECT_TRUE(Same(0.0, *volts));
}

TEST(VaMeter, NothingLatched) {
    auto s = open_va();
    ASSERT_TRUE(s);
    s->send(4);
    s->host->tokens().set(752, 28.0);
    for (auto [gate, expected] : {std::pair{1.0, 28.0}, {0.0, 0.0}, {1.0, 28.0}, {0.0, 0.0}}) {
        s->host->tokens().set(364, gate);
        s->cycle();
        EXPECT_TRUE(Same(expected, gauge_test::tree(*s).elements[kVolts].last_result)) << "gate " << gate;
    }
}

// Neither needle clamps, scales or rounds: every value comes back as it went
// in, beyond the tables too.
TEST(VaMeter, NeedlesPassValuesUnchanged) {
    const double values[] = {0.0,  10.0, 20.0, 30.0, 40.0, 60.0, -20.0, -10.0, -3.0,   45.0, -30.0,
                             75.0, kNaN, kInf, -kInf, -0.0, 1e-300, 4.9e-324, 1.7976931348623157e308, 12.345678901234567};
    auto s = open_va();
    ASSERT_TRUE(s);
    s->send(4);
    s->host->tokens().set(566, 1.0);
    for (double v : values) {
        s->host->tokens().set(752, v);
        s->host->tokens().set(762, v);
        s->cycle();
        const auto t = gauge_test::tree(*s);
        EXPECT_TRUE(Same(v, t.elements[kVolts].last_result)) << "volts " << v;
        EXPECT_TRUE(Same(v, t.elements[kAmps].last_result)) << "amps " << v;
    }
}

TEST(VaMeter, NeedlesLitFromTheFirstUpdateBackgroundNever) {
    auto s = open_va();
    ASSERT_TRUE(s);
    s->send(4);
    EXPECT_EQ(gauge_test::flags(gauge_test::tree(*s)), (std::vector<std::uint32_t>{0x83, 0x83, 0x83}));
    for (double v : {0.0, 28.0, kNaN, -kInf}) {
        s->host->tokens().set(566, v);
        s->host->tokens().set(752, v);
        s->host->tokens().set(762, v);
        s->cycle();
        EXPECT_EQ(gauge_test::flags(gauge_test::tree(*s)), (std::vector<std::uint32_t>{0x83, 0x87, 0x87})) << v;
    }
}

}  // namespace
