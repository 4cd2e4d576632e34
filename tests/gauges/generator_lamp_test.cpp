// QV_VornGenerWng in panelhost: its records, and the lamp dark exactly while
// token 566 reads 1.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "gauge_checks.h"

namespace {

using frame_test::Session;
using frame_test::Sound;
using gauge_test::Same;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr std::size_t kLamp = 1;

std::unique_ptr<Session> open_generator() {
    return Session::open(std::filesystem::path(DIST_DIR) / "QV_VornGenerWng.gau", Sound::absent);
}

TEST(GeneratorLamp, RecordsAsStored) {
    auto s = open_generator();
    ASSERT_TRUE(s);
    const auto t = gauge_test::tree(*s);
    ASSERT_EQ(t.elements.size(), 2u);
    gauge_test::ExpectChain(t);
    gauge_test::ExpectUnsetFieldsZero(*s, t);

    const auto& bg = t.elements[0];
    EXPECT_EQ(bg.kind, gauge::kElementStaticImage);
    EXPECT_EQ(bg.resource_id, 0x100u);
    EXPECT_EQ(bg.draw_flags, 0x83u);
    EXPECT_EQ(bg.update, 0u);

    const auto& lamp = t.elements[kLamp];
    EXPECT_EQ(lamp.kind, gauge::kElementIcon);
    EXPECT_EQ(lamp.resource_id, 0x1100u);
    EXPECT_EQ(lamp.position.x, 0);
    EXPECT_EQ(lamp.position.y, 0);
    EXPECT_EQ(lamp.pivot.x, 0);
    EXPECT_EQ(lamp.pivot.y, 0);
    EXPECT_EQ(lamp.draw_flags, 0x83u);
    EXPECT_EQ(lamp.source_token, 0u);
    EXPECT_EQ(lamp.switch_mode, 3u);
    EXPECT_EQ(lamp.picture_count, 2u);
    EXPECT_EQ(lamp.offset, 0);
    EXPECT_TRUE(Same(0.0, lamp.scale));
    EXPECT_NE(lamp.update, 0u);

    auto view = s->host->gauge_view(s->gauge().header());
    ASSERT_TRUE(view) << view.error().message;
    EXPECT_EQ(view->name, "QV_VornGenerWng");
    gauge_test::ExpectPlainMouseRects(*view, {gauge::kMouseParent, gauge::kMouseEndParent, gauge::kMouseEnd});
    EXPECT_FALSE(view->tooltip());
}

// The lamp reads token 566 through ModuleVars, not its own variable (token
// 0, which the host refreshes too): token 0 is held at the opposite value.
TEST(GeneratorLamp, DarkExactlyAtOne) {
    const std::pair<double, double> rows[] = {
        {1.0, 0.0},  {0.0, 1.0},  {2.0, 1.0},  {0.5, 1.0},  {-1.0, 1.0},  {std::nextafter(1.0, 2.0), 1.0},
        {std::nextafter(1.0, 0.0), 1.0},  {kInf, 1.0},  {-kInf, 1.0},  {kNaN, 1.0},  {-0.0, 1.0},
    };
    auto s = open_generator();
    ASSERT_TRUE(s);
    s->send(4);
    for (auto [value, expected] : rows) {
        s->host->tokens().set(566, value);
        s->host->tokens().set(0, value == 1.0 ? 0.0 : 1.0);
        s->cycle();
        const auto t = gauge_test::tree(*s);
        EXPECT_TRUE(Same(expected, t.elements[kLamp].last_result)) << "566=" << value;
        EXPECT_EQ(gauge_test::flags(t), (std::vector<std::uint32_t>{0x83, 0x87})) << "566=" << value;
    }
}

TEST(GeneratorLamp, NothingLatched) {
    auto s = open_generator();
    ASSERT_TRUE(s);
    s->send(4);
    for (auto [value, expected] : {std::pair{1.0, 0.0}, {0.0, 1.0}, {1.0, 0.0}, {kNaN, 1.0}, {1.0, 0.0}}) {
        s->host->tokens().set(566, value);
        s->cycle();
        EXPECT_TRUE(Same(expected, gauge_test::tree(*s).elements[kLamp].last_result)) << value;
    }
}

TEST(GeneratorLamp, LitBeforeTheFirstRefresh) {
    auto s = open_generator();
    ASSERT_TRUE(s);
    s->send(4);
    s->host->tokens().set(566, 1.0);
    auto r = s->host->call_update(s->gauge(), kLamp);
    ASSERT_TRUE(r) << r.error().message;
    EXPECT_TRUE(Same(1.0, *r));
}

}  // namespace
