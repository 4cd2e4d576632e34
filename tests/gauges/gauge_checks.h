// Checks shared by the three gauges' suites: exact comparison of callback
// results, and the element-record fields every gauge leaves zero.
#pragma once

#include <gtest/gtest.h>

#include <gauge/records.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <optional>
#include <set>
#include <string>

#include "gauge_session.h"

namespace gauge_test {

using frame_test::Session;
using panelhost::panel::ElementTree;
using panelhost::panel::ElementView;

// The same 64-bit value, bit for bit (so -0.0 differs from 0.0), or both NaN.
inline ::testing::AssertionResult Same(double expected, std::optional<double> actual) {
    if (!actual) return ::testing::AssertionFailure() << "no result";
    if (std::isnan(expected) && std::isnan(*actual)) return ::testing::AssertionSuccess();
    if (std::bit_cast<std::uint64_t>(expected) == std::bit_cast<std::uint64_t>(*actual))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "expected " << expected << " (0x" << std::hex
                                         << std::bit_cast<std::uint64_t>(expected) << "), got " << *actual << " (0x"
                                         << std::bit_cast<std::uint64_t>(*actual) << ")";
}

inline ElementTree tree(Session& s, int instance = 0) {
    auto t = s.host->elements(s.gauge(instance));
    if (!t) {
        ADD_FAILURE() << t.error().message;
        return {};
    }
    return *t;
}

inline std::vector<std::uint32_t> flags(const ElementTree& t) {
    std::vector<std::uint32_t> out;
    for (const ElementView& e : t.elements) out.push_back(e.draw_flags);
    return out;
}

// The fields of an element record that no gauge sets: the host's own, the
// reserved words, and a failure list of its own holding only its end record.
inline void ExpectUnsetFieldsZero(Session& s, const ElementTree& t) {
    std::set<std::uint32_t> failure_lists;
    for (const ElementView& e : t.elements) {
        auto h = s.host->machine().read_as<gauge::guest::ElementHeader>(e.address);
        ASSERT_TRUE(h) << h.error().message;
        SCOPED_TRACE("element " + std::to_string(e.index));
        EXPECT_EQ(h->gauge, s.gauge().header());
        EXPECT_EQ(h->previous_position.x, 0);
        EXPECT_EQ(h->previous_position.y, 0);
        EXPECT_EQ(h->previous, 0u);
        EXPECT_EQ(h->special_flags, 0u);
        EXPECT_EQ(h->reserved, 0u);
        EXPECT_EQ(h->reserved2, 0u);
        ASSERT_NE(h->failures, 0u);
        EXPECT_EQ(s.read_u32(h->failures), 0u);
        EXPECT_EQ(s.read_u32(h->failures + 4), 0u);
        failure_lists.insert(h->failures);
        if (e.has_source) {
            auto var = s.host->machine().read_as<gauge::guest::ModuleVar>(e.address + 64);
            ASSERT_TRUE(var);
            EXPECT_EQ(var->reserved, 0u);
        }
        if (e.children.empty()) {
            EXPECT_EQ(h->children, 0u);
        }
    }
    EXPECT_EQ(failure_lists.size(), t.elements.size()) << "each element has a failure list of its own";
}

// A chain: each element the one child of the one before.
inline void ExpectChain(const ElementTree& t) {
    for (std::size_t i = 0; i < t.elements.size(); ++i) {
        const ElementView& e = t.elements[i];
        EXPECT_EQ(e.index, i);
        if (i + 1 < t.elements.size()) {
            EXPECT_EQ(e.children, std::vector<std::size_t>{i + 1}) << "element " << i;
        } else {
            EXPECT_TRUE(e.children.empty());
        }
    }
}

// Every mouse-area record but the tooltip's: a zero box, no cursor, no help,
// no flags, no event, empty slots.
inline void ExpectPlainMouseRects(const panelhost::panel::GaugeView& view, std::vector<std::uint32_t> types) {
    ASSERT_EQ(view.mouse_rects.size(), types.size());
    for (std::size_t i = 0; i < types.size(); ++i) {
        const auto& r = view.mouse_rects[i].record;
        SCOPED_TRACE("mouse record " + std::to_string(i));
        EXPECT_EQ(r.type, types[i]);
        EXPECT_EQ(r.box.x, 0);
        EXPECT_EQ(r.box.y, 0);
        EXPECT_EQ(r.box.width, 0);
        EXPECT_EQ(r.box.height, 0);
        EXPECT_EQ(r.cursor, -1);
        EXPECT_EQ(r.help_id, 0u);
        EXPECT_EQ(r.mouse_flags, 0u);
        EXPECT_EQ(r.event_id, 0u);
        if (r.type != gauge::kMouseTooltip) {
            EXPECT_EQ(r.function, 0u);
            EXPECT_EQ(r.data, 0u);
        }
    }
}

}  // namespace gauge_test
