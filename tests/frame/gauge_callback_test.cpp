// The frame's behaviour around the binding: codes without action, the DLL
// entry point, RootElement, and the look-ups each shipped module makes at
// pre-update.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gauge_session.h"

namespace {

using frame_test::Session;
using frame_test::ShippedModule;
using frame_test::Sound;

// Every code but 4, 6 and 12 (compared unsigned, so -1 and codes whose low
// byte reads 4, 6 or 12 too) calls nothing and writes nothing, whether or not
// the library is bound.
TEST(GaugeCallback, OtherServiceCodesDoNothing) {
    const std::uint32_t codes[] = {0, 1, 2, 3, 5, 7, 8, 9, 10, 11, 13, 14, 255, 0x104, 0x80000004,
                                   0x8000000C, 0xFFFFFFFA, 0xFFFFFFFF};
    auto s = Session::open(frame_test::frame_probe(), Sound::present);
    ASSERT_TRUE(s);
    for (bool bound : {false, true}) {
        if (bound) {
            s->send(4);
            s->take_events();
        }
        const auto before = s->image_bytes();
        for (std::uint32_t code : codes) {
            s->send(code);
            EXPECT_EQ(s->take_events(), std::vector<std::string>{}) << "code " << code;
        }
        EXPECT_EQ(s->image_bytes(), before) << (bound ? "bound" : "unbound");
        EXPECT_EQ(s->sound_refs(), bound ? 1u : 0u);
    }
}

// Loading and unloading a module without any gauge call: the entry point
// answers every notification with 1, touches no record and loads nothing.
TEST(DllEntry, AnswersEveryReasonAndDoesNothingElse) {
    auto s = Session::open(frame_test::frame_probe(), Sound::present, 0);
    ASSERT_TRUE(s);
    const auto before = s->image_bytes();
    ASSERT_TRUE(s->ok(s->host->thread_attach()));
    ASSERT_TRUE(s->ok(s->host->thread_detach()));
    EXPECT_EQ(s->image_bytes(), before);
    ASSERT_TRUE(s->ok(s->host->module_deinit(*s->module)));
    ASSERT_TRUE(s->ok(s->host->unload_module(*s->module)));

    std::vector<std::string> actions;
    for (const auto& e : s->sink.events) {
        if (e.value("event", "") != "library" || e.value("name", "") != "FrameProbe.gau") continue;
        const std::string action = e.value("action", "");
        if (action == "thread_attach" || action == "thread_detach" || action == "detach") {
            EXPECT_EQ(e["result"], 1) << action;
            actions.push_back(action);
        }
    }
    EXPECT_EQ(actions, (std::vector<std::string>{"thread_attach", "thread_detach", "detach"}));
    EXPECT_EQ(s->take_events(), std::vector<std::string>{"detach FrameProbe.gau"});
    EXPECT_FALSE(s->host->modules().is_loaded(frame_test::kSoundLibrary));
}

TEST(GaugeCallback, PreInitialiseRecordsTheRootElement) {
    auto s = Session::open(frame_test::frame_probe(), Sound::absent);
    ASSERT_TRUE(s);
    const std::uint32_t root_element = s->export_address("RootElement");
    ASSERT_NE(root_element, 0u);
    EXPECT_EQ(s->read_u32(root_element), 0u);
    s->send(4);
    EXPECT_EQ(s->read_u32(root_element), s->export_address("ProbeRoot"));
    // Pre-update and pre-kill leave it alone; the library's absence changes
    // nothing about it.
    s->send(6);
    s->send(12);
    EXPECT_EQ(s->read_u32(root_element), s->export_address("ProbeRoot"));
}

// Each shipped module refreshes its own ModuleVars at every pre-update, in
// list order, and binds the library afresh every time (no caching).
class PreUpdate : public ::testing::TestWithParam<ShippedModule> {};

TEST_P(PreUpdate, RebindsAndRefreshesModuleVarsInOrder) {
    const ShippedModule& m = GetParam();
    auto s = Session::open(m.path(), Sound::present);
    ASSERT_TRUE(s);
    s->send(4);
    s->take_events();
    std::vector<std::string> expected = {"find GaugeSound", "resolve GaugePlaySound", "resolve GaugeStopSound",
                                         "resolve TerminateSounds"};
    for (std::uint32_t token : m.tokens) expected.push_back("lookup " + std::to_string(token));
    for (int cycle = 0; cycle < 3; ++cycle) {
        s->cycle();
        EXPECT_EQ(s->take_events(), expected) << "cycle " << cycle;
    }
    EXPECT_EQ(s->sound_refs(), 1u);
}

TEST_P(PreUpdate, RefreshesModuleVarsWithoutTheLibrary) {
    const ShippedModule& m = GetParam();
    auto s = Session::open(m.path(), Sound::absent);
    ASSERT_TRUE(s);
    s->send(4);
    s->take_events();
    std::vector<std::string> expected = {"find GaugeSound none", "load GaugeSound failed"};
    for (std::uint32_t token : m.tokens) expected.push_back("lookup " + std::to_string(token));
    s->cycle();
    EXPECT_EQ(s->take_events(), expected);
}

// Loaded away from its preferred base, a module's relocated records and code
// work as before: the same binding, the same look-ups, and every element
// reached through the relocated references.
TEST_P(PreUpdate, WorksRelocated) {
    const ShippedModule& m = GetParam();
    auto s = Session::open(m.path(), Sound::present, 1, {.relocate_all = true});
    ASSERT_TRUE(s);
    ASSERT_TRUE(s->module->module().relocated);
    s->send(4);
    EXPECT_EQ(s->take_events(), (std::vector<std::string>{"attach", "load GaugeSound", "resolve GaugePlaySound",
                                                          "resolve GaugeStopSound", "resolve TerminateSounds"}));
    std::vector<std::string> expected = {"find GaugeSound", "resolve GaugePlaySound", "resolve GaugeStopSound",
                                         "resolve TerminateSounds"};
    for (std::uint32_t token : m.tokens) expected.push_back("lookup " + std::to_string(token));
    s->cycle();
    EXPECT_EQ(s->take_events(), expected);
    auto tree = s->host->elements(s->gauge());
    ASSERT_TRUE(tree) << tree.error().message;
    for (const auto& e : tree->elements) {
        if (e.update) {
            EXPECT_TRUE(e.last_result) << "element " << e.index;
        }
    }
    s->send(12);
    EXPECT_EQ(s->sound_refs(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Shipped, PreUpdate, ::testing::ValuesIn(frame_test::shipped_modules()),
                         [](const auto& info) { return info.param.name; });

}  // namespace
