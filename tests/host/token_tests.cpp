// Token assignments as the command line takes them, and values in the
// trace that JSON alone could not hold.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <limits>

#include "panel/token_store.h"
#include "trace/trace.h"

using namespace panelhost;

namespace {

TEST(Tokens, ValuesAreCppLiteralsOrNamedSpecials) {
    const double inf = std::numeric_limits<double>::infinity();
    struct Case {
        const char* text;
        double value;
    } good[] = {
        {"1", 1.0},         {"-2.5", -2.5},         {"+3", 3.0},      {"1e3", 1000.0},     {".5", 0.5},
        {"5.", 5.0},        {"1E-2", 0.01},         {"0x1.8p1", 3.0}, {"0X10", 16.0},      {"1'000.5", 1000.5},
        {"0.1f", static_cast<double>(0.1f)},        {"2.5L", 2.5},    {"0x1p-1f", 0.5},    {"inf", inf},
        {"-inf", -inf},     {"INF", inf},           {"15000.0", 15000.0},
        {"4.9406564584124654e-324", 4.9406564584124654e-324},
    };
    for (const auto& c : good) {
        auto v = panel::parse_value(c.text);
        ASSERT_TRUE(v) << c.text << ": " << v.error().message;
        EXPECT_EQ(std::bit_cast<std::uint64_t>(*v), std::bit_cast<std::uint64_t>(c.value)) << c.text;
    }
    auto nz = panel::parse_value("-0");
    ASSERT_TRUE(nz);
    EXPECT_TRUE(*nz == 0.0 && std::signbit(*nz));
    EXPECT_TRUE(std::isnan(*panel::parse_value("nan")));

    for (const char* bad : {"", "abc", "1.0.0", "1e", "--1", "0x", "1'", "'1", "1''0", "1e999", "1ff", "nanx",
                            "1 ", " 1", "0x1g", "1e40f"}) {
        auto v = panel::parse_value(bad);
        EXPECT_FALSE(v) << '"' << bad << "\" read as " << (v ? *v : 0.0);
    }
}

TEST(Tokens, AssignmentNamesTheAcceptedFormOnError) {
    auto a = panel::parse_assignment("566=1");
    ASSERT_TRUE(a);
    EXPECT_EQ(a->first, 566u);
    EXPECT_EQ(a->second, 1.0);
    for (const char* bad : {"566", "=1", "x=1", "-1=1", "566=", "566=one", "4294967296=1"}) {
        auto r = panel::parse_assignment(bad);
        ASSERT_FALSE(r) << bad;
        EXPECT_NE(r.error().message.find("TOKEN=VALUE"), std::string::npos) << r.error().message;
    }
    panel::TokenStore store;
    EXPECT_EQ(store.get(7), 0.0);   // never set: 0.0
    store.set(7, -1.0);
    EXPECT_EQ(store.get(7), -1.0);
}

TEST(Trace, ValuesStayExactAndDistinguishable) {
    const double values[] = {0.0, -0.0, 1.0 / 3.0, -1e-310, 1.7976931348623157e308,
                             std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
                             -std::numeric_limits<double>::infinity()};
    for (double v : values) {
        std::string text = trace::Json{{"v", trace::value(v)}}.dump();
        double back = trace::to_double(trace::Json::parse(text)["v"]);
        if (std::isnan(v)) {
            EXPECT_EQ(text, R"({"v":"nan"})");
            EXPECT_TRUE(std::isnan(back));
        } else {
            EXPECT_EQ(std::bit_cast<std::uint64_t>(back), std::bit_cast<std::uint64_t>(v)) << text;
        }
    }
    trace::Json negative_zero = {{"v", trace::value(-0.0)}};
    trace::Json negative_infinity = {{"v", trace::value(-std::numeric_limits<double>::infinity())}};
    EXPECT_EQ(negative_zero.dump(), R"({"v":-0.0})");
    EXPECT_EQ(negative_infinity.dump(), R"({"v":"-inf"})");
}

TEST(Trace, EventsAreNumberedInOrderForEverySink) {
    trace::Trace t;
    EXPECT_FALSE(t.on());
    trace::MemorySink a, b;
    t.attach(&a);
    t.attach(&b);
    t.emit("first", {{"x", 1}});
    t.emit("second");
    ASSERT_EQ(a.events.size(), 2u);
    EXPECT_EQ(a.events, b.events);
    EXPECT_EQ(a.events[0].dump(), R"({"seq":0,"event":"first","x":1})");
    EXPECT_EQ(a.events[1]["seq"], 1);
}

}  // namespace
