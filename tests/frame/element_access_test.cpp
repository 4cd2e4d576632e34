// GetElement, SetElementFlags and ClearElementFlags on the FrameProbe's
// chain, shaped like the volts-amperes meter's: root, needle, needle.
#include <gtest/gtest.h>

#include <gauge/records.h>

#include <cstddef>
#include <vector>

#include "emu/machine.h"
#include "gauge_session.h"

namespace {

using frame_test::Session;
using frame_test::Sound;

class ElementAccess : public ::testing::Test {
protected:
    void SetUp() override {
        s = Session::open(frame_test::frame_probe(), Sound::absent, 0);
        ASSERT_TRUE(s);
        chain = {s->export_address("ProbeRoot"), s->export_address("ProbeFirstNeedle"),
                 s->export_address("ProbeSecondNeedle")};
        for (std::uint32_t e : chain) ASSERT_NE(e, 0u);
    }

    std::uint32_t call(const char* name, std::vector<std::uint32_t> args) {
        const std::uint32_t address = s->export_address(name);
        EXPECT_NE(address, 0u) << name;
        auto r = s->host->machine().call(
            {.name = name, .address = address, .args = args, .returns = panelhost::emu::Returns::int32});
        if (!r) ADD_FAILURE() << r.error().message();
        return r ? r->eax : 0xDEADBEEF;
    }
    std::uint32_t flags(std::uint32_t element) {
        return s->read_u32(element + offsetof(gauge::guest::ElementHeader, draw_flags));
    }
    std::vector<std::uint32_t> all_flags() { return {flags(chain[0]), flags(chain[1]), flags(chain[2])}; }

    std::unique_ptr<Session> s;
    std::vector<std::uint32_t> chain;
};

TEST_F(ElementAccess, GetElementWalksTheFirstChildChain) {
    struct Row {
        std::uint32_t start;   // index into chain, or kNull
        std::uint32_t index;
        std::uint32_t result;  // index into chain, or kNull
    };
    constexpr std::uint32_t kNull = 99;
    const Row rows[] = {
        {0, 0, 0}, {0, 1, 1}, {0, 2, 2}, {0, 3, kNull}, {0, 4, kNull}, {0, 0xFFFFFFFF, kNull},
        {1, 0, 1}, {1, 1, 2}, {1, 2, kNull}, {2, 0, 2}, {2, 1, kNull},
        {kNull, 0, kNull}, {kNull, 1, kNull}, {kNull, 3, kNull}, {kNull, 0xFFFFFFFF, kNull},
    };
    auto address = [&](std::uint32_t i) { return i == kNull ? 0u : chain[i]; };
    for (const Row& r : rows)
        EXPECT_EQ(call("GetElement", {address(r.start), r.index}), address(r.result))
            << "start " << r.start << " index " << r.index;
}

TEST_F(ElementAccess, SetAndClearTouchOnlyTheNamedBitsOfOneElement) {
    const std::vector<std::uint32_t> stored = {0x83, 0x83, 0x83};
    ASSERT_EQ(all_flags(), stored);

    call("SetElementFlags", {chain[0], 2, gauge::kDrawHidden});
    EXPECT_EQ(all_flags(), (std::vector<std::uint32_t>{0x83, 0x83, 0x40000083}));
    call("ClearElementFlags", {chain[0], 2, gauge::kDrawHidden});
    EXPECT_EQ(all_flags(), stored);

    call("SetElementFlags", {chain[1], 0, gauge::kDrawLit | gauge::kDrawHidden});
    EXPECT_EQ(all_flags(), (std::vector<std::uint32_t>{0x83, 0x40000087, 0x83}));
    call("ClearElementFlags", {chain[0], 1, gauge::kDrawHidden | gauge::kDrawTransparent});
    EXPECT_EQ(all_flags(), (std::vector<std::uint32_t>{0x83, 0x86, 0x83}));
    call("ClearElementFlags", {chain[0], 1, 0xFFFFFFFF});
    EXPECT_EQ(all_flags(), (std::vector<std::uint32_t>{0x83, 0x00, 0x83}));
}

TEST_F(ElementAccess, NothingChangesWithoutAnElement) {
    const auto before = s->image_bytes();
    for (std::uint32_t index : {3u, 7u, 0xFFFFFFFFu}) {
        call("SetElementFlags", {chain[0], index, 0xFFFFFFFF});
        call("ClearElementFlags", {chain[0], index, 0xFFFFFFFF});
    }
    for (std::uint32_t index : {0u, 1u, 2u}) {
        call("SetElementFlags", {0, index, 0xFFFFFFFF});
        call("ClearElementFlags", {0, index, 0xFFFFFFFF});
    }
    EXPECT_EQ(s->image_bytes(), before);
}

}  // namespace
