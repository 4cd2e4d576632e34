// QV_Vorn_GearCtrls in panelhost: its records, and each window's two lamps
// shown or hidden against 15000.0 at every update.
#include <gtest/gtest.h>

#include <limits>
#include <vector>

#include "gauge_checks.h"

namespace {

using frame_test::Session;
using frame_test::Sound;
using gauge_test::Same;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// Drawing order: Background, RightRedLamp, LeftRedLamp, RightGreenLamp, LeftGreenLamp.
constexpr std::size_t kRightRed = 1, kLeftRed = 2, kRightGreen = 3, kLeftGreen = 4;
constexpr std::uint32_t kLeftToken = 333, kRightToken = 334;

std::unique_ptr<Session> open_gear() {
    return Session::open(std::filesystem::path(DIST_DIR) / "QV_Vorn_GearCtrls.gau", Sound::absent);
}

TEST(GearLamps, RecordsAsStored) {
    auto s = open_gear();
    ASSERT_TRUE(s);
    const auto t = gauge_test::tree(*s);
    ASSERT_EQ(t.elements.size(), 5u);
    gauge_test::ExpectChain(t);
    gauge_test::ExpectUnsetFieldsZero(*s, t);

    struct Expected {
        std::uint32_t resource;
        gauge::Point position;
        std::uint32_t token;
    };
    const Expected expected[] = {
        {0x100, {0, 0}, 0}, {0x1100, {122, 72}, 334}, {0x1200, {33, 72}, 333},
        {0x1300, {124, 107}, 334}, {0x1400, {35, 107}, 333},
    };
    std::set<std::uint32_t> callbacks;
    for (std::size_t i = 0; i < 5; ++i) {
        const auto& e = t.elements[i];
        SCOPED_TRACE("element " + std::to_string(i));
        EXPECT_EQ(e.kind, i == 0 ? gauge::kElementStaticImage : gauge::kElementIcon);
        EXPECT_EQ(e.resource_id, expected[i].resource);
        EXPECT_EQ(e.position.x, expected[i].position.x);
        EXPECT_EQ(e.position.y, expected[i].position.y);
        EXPECT_EQ(e.pivot.x, 0);
        EXPECT_EQ(e.pivot.y, 0);
        EXPECT_EQ(e.draw_flags, 0x83u);
        if (i == 0) {
            EXPECT_EQ(e.update, 0u);
            continue;
        }
        EXPECT_EQ(e.source_token, expected[i].token);
        EXPECT_TRUE(Same(0.0, e.source_value));
        EXPECT_EQ(e.switch_mode, 3u);
        EXPECT_EQ(e.picture_count, 2u);
        EXPECT_EQ(e.offset, 0);
        EXPECT_TRUE(Same(0.0, e.scale));
        callbacks.insert(e.update);
    }
    EXPECT_EQ(callbacks.size(), 4u) << "each lamp has its own callback";
    EXPECT_FALSE(callbacks.contains(0u));

    auto view = s->host->gauge_view(s->gauge().header());
    ASSERT_TRUE(view) << view.error().message;
    EXPECT_EQ(view->name, "QV_Vorn_GearCtrls");
    gauge_test::ExpectPlainMouseRects(*view, {gauge::kMouseParent, gauge::kMouseEndParent, gauge::kMouseEnd});
    EXPECT_FALSE(view->tooltip());
}

struct LampRow {
    double value;
    bool red_shown, green_shown;
};

const LampRow kRows[] = {
    {0.0, true, false},       {14999.0, true, false},  {-1.0, true, false},     {-kInf, true, false},
    {-0.0, true, false},      {15000.0, false, false}, {15001.0, false, true},  {kInf, false, true},
    {kNaN, false, false},     {14999.999999999998, true, false}, {15000.000000000002, false, true},
};

std::uint32_t lamp_flags(bool shown) { return shown ? 0x87u : 0x40000087u; }

// Each window follows its own token; the other window, held at a value of
// its own, is not disturbed.
TEST(GearLamps, EachWindowAgainstTheThreshold) {
    auto s = open_gear();
    ASSERT_TRUE(s);
    s->send(4);
    for (bool left : {true, false}) {
        const std::size_t red = left ? kLeftRed : kRightRed, green = left ? kLeftGreen : kRightGreen;
        const std::size_t other_red = left ? kRightRed : kLeftRed, other_green = left ? kRightGreen : kLeftGreen;
        for (const LampRow& r : kRows) {
            SCOPED_TRACE(std::string(left ? "left " : "right ") + std::to_string(r.value));
            s->host->tokens().set(left ? kLeftToken : kRightToken, r.value);
            s->host->tokens().set(left ? kRightToken : kLeftToken, 15001.0);
            s->cycle();
            const auto t = gauge_test::tree(*s);
            EXPECT_EQ(t.elements[red].draw_flags, lamp_flags(r.red_shown));
            EXPECT_EQ(t.elements[green].draw_flags, lamp_flags(r.green_shown));
            EXPECT_TRUE(Same(r.value, t.elements[red].last_result));
            EXPECT_TRUE(Same(r.value, t.elements[green].last_result));
            EXPECT_EQ(t.elements[other_red].draw_flags, lamp_flags(false));
            EXPECT_EQ(t.elements[other_green].draw_flags, lamp_flags(true));
            EXPECT_EQ(t.elements[0].draw_flags, 0x83u);
        }
    }
}

TEST(GearLamps, WindowsIndependent) {
    auto s = open_gear();
    ASSERT_TRUE(s);
    s->send(4);
    s->host->tokens().set(kLeftToken, 0.0);
    s->host->tokens().set(kRightToken, 15001.0);
    s->cycle();
    EXPECT_EQ(gauge_test::flags(gauge_test::tree(*s)),
              (std::vector<std::uint32_t>{0x83, lamp_flags(false), lamp_flags(true), lamp_flags(true), lamp_flags(false)}));
}

TEST(GearLamps, NothingLatched) {
    auto s = open_gear();
    ASSERT_TRUE(s);
    s->send(4);
    for (double v : {15001.0, 0.0, 15001.0, kNaN, 0.0}) {
        s->host->tokens().set(kLeftToken, v);
        s->cycle();
        const auto t = gauge_test::tree(*s);
        EXPECT_EQ(t.elements[kLeftRed].hidden(), !(v < 15000.0)) << v;
        EXPECT_EQ(t.elements[kLeftGreen].hidden(), !(v > 15000.0)) << v;
    }
}

// A call before the host's first refresh reads the stored 0.0: red shown,
// green hidden.
TEST(GearLamps, BeforeTheFirstRefresh) {
    auto s = open_gear();
    ASSERT_TRUE(s);
    s->send(4);
    s->host->tokens().set(kLeftToken, 20000.0);
    s->host->tokens().set(kRightToken, 20000.0);
    for (std::size_t lamp : {kRightRed, kLeftRed, kRightGreen, kLeftGreen}) {
        auto r = s->host->call_update(s->gauge(), lamp);
        ASSERT_TRUE(r) << r.error().message;
        EXPECT_TRUE(Same(0.0, *r));
    }
    EXPECT_EQ(gauge_test::flags(gauge_test::tree(*s)),
              (std::vector<std::uint32_t>{0x83, lamp_flags(true), lamp_flags(true), lamp_flags(false), lamp_flags(false)}));
}

}  // namespace
