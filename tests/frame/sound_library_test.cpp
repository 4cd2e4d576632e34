// GaugeCallback's binding of the sound library, as a table of call sequences
// against what the module does: system calls, the library's attach and
// detach, calls of its entries, variable look-ups, and the library's
// reference count after each step. Run on the FrameProbe fixture (the frame
// with the probe's two module variables, tokens 566 and 364).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gauge_session.h"

namespace {

using frame_test::Session;
using frame_test::Sound;
using Events = std::vector<std::string>;

Events operator+(Events a, const Events& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

const Events kLoad = {"attach", "load GaugeSound"};
const Events kFind = {"find GaugeSound"};
const Events kResolve = {"resolve GaugePlaySound", "resolve GaugeStopSound", "resolve TerminateSounds"};
const Events kLookups = {"lookup 566", "lookup 364"};
const Events kTerminate = {"TerminateSounds called"};
const Events kRelease = {"detach", "free"};   // the last reference: the library goes
const Events kFree = {"free"};                 // another holder keeps it

struct Step {
    enum Kind { service, hold, drop } kind = service;
    std::uint32_t code = 0;
    int instance = 0;
    Events events;
    std::uint32_t refs = 0;   // of "GaugeSound" after the step
};

Step on(std::uint32_t code, Events events, std::uint32_t refs, int instance = 0) {
    return {Step::service, code, instance, std::move(events), refs};
}
// Another module of the process takes, then gives back, its own reference.
Step hold(Events events, std::uint32_t refs) { return {Step::hold, 0, 0, std::move(events), refs}; }
Step drop(Events events, std::uint32_t refs) { return {Step::drop, 0, 0, std::move(events), refs}; }

struct Case {
    const char* name;
    Sound sound;
    int instances;
    std::vector<Step> steps;
};

const Case kCases[] = {
    {"OneLife", Sound::present, 1,
     {on(4, kLoad + kResolve, 1),
      on(6, kFind + kResolve + kLookups, 1),
      on(6, kFind + kResolve + kLookups, 1),
      on(12, kFind + kResolve + kTerminate + kRelease, 0)}},

    {"LibraryAbsent", Sound::absent, 1,
     {on(4, {"load GaugeSound failed"}, 0),
      on(6, Events{"find GaugeSound none", "load GaugeSound failed"} + kLookups, 0),
      on(6, Events{"find GaugeSound none", "load GaugeSound failed"} + kLookups, 0),
      on(12, {"find GaugeSound none", "load GaugeSound failed"}, 0)}},

    {"NoTerminateSounds", Sound::no_terminate, 1,
     {on(4, kLoad + Events{"resolve GaugePlaySound", "resolve GaugeStopSound", "resolve TerminateSounds none"}, 1),
      on(12, kFind + Events{"resolve GaugePlaySound", "resolve GaugeStopSound", "resolve TerminateSounds none"} +
                 kRelease, 0)}},

    // Pre-kill of a gauge that never bound: load, terminate, release.
    {"PreKillAlone", Sound::present, 1,
     {on(12, Events{"find GaugeSound none"} + kLoad + kResolve + kTerminate + kRelease, 0)}},

    // The kept handle names an unloaded library: pre-initialise looks it up,
    // finds nothing, loads nothing and resolves nothing; the next
    // pre-update loads it again.
    {"SecondLifeAfterUnload", Sound::present, 1,
     {on(4, kLoad + kResolve, 1),
      on(12, kFind + kResolve + kTerminate + kRelease, 0),
      on(4, {"find GaugeSound none"}, 0),
      on(6, Events{"find GaugeSound none"} + kLoad + kResolve + kLookups, 1),
      on(12, kFind + kResolve + kTerminate + kRelease, 0)}},

    // Another holder keeps the library loaded across two lives. The second
    // life takes no reference, so its pre-kill gives none back.
    {"SecondHolderAcrossTwoLives", Sound::present, 1,
     {hold({"attach"}, 1),
      on(4, Events{"load GaugeSound"} + kResolve, 2),
      on(6, kFind + kResolve + kLookups, 2),
      on(12, kFind + kResolve + kTerminate + kFree, 1),
      on(4, kFind + kResolve, 1),
      on(6, kFind + kResolve + kLookups, 1),
      on(12, kFind + kResolve + kTerminate, 1),
      drop({"detach"}, 0)}},

    // Two instances share the module's binding: the first pre-kill gives the
    // module's one reference back, the other instance loads the library again
    // when it next needs it.
    {"TwoInstances", Sound::present, 2,
     {on(4, kLoad + kResolve, 1, 0),
      on(4, kFind + kResolve, 1, 1),
      on(12, kFind + kResolve + kTerminate + kRelease, 0, 0),
      on(6, Events{"find GaugeSound none"} + kLoad + kResolve + kLookups, 1, 1),
      on(12, kFind + kResolve + kTerminate + kRelease, 0, 1)}},

    {"TwoInstancesKilledTogether", Sound::present, 2,
     {on(4, kLoad + kResolve, 1, 0),
      on(4, kFind + kResolve, 1, 1),
      on(12, kFind + kResolve + kTerminate + kRelease, 0, 1),
      on(12, Events{"find GaugeSound none"} + kLoad + kResolve + kTerminate + kRelease, 0, 0)}},
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class SoundLibraryBinding : public ::testing::TestWithParam<Case> {};

TEST_P(SoundLibraryBinding, CallSequence) {
    const Case& c = GetParam();
    auto s = Session::open(frame_test::frame_probe(), c.sound, c.instances);
    ASSERT_TRUE(s);
    std::uint32_t held = 0;
    for (std::size_t i = 0; i < c.steps.size(); ++i) {
        const Step& step = c.steps[i];
        switch (step.kind) {
        case Step::service: s->send(step.code, step.instance); break;
        case Step::hold:
            held = s->host->load_library(frame_test::kSoundLibrary);
            ASSERT_NE(held, 0u);
            break;
        case Step::drop: EXPECT_TRUE(s->host->free_library(held)); break;
        }
        EXPECT_EQ(s->take_events(), step.events) << "step " << i;
        EXPECT_EQ(s->sound_refs(), step.refs) << "step " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Frame, SoundLibraryBinding, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

// The record the binding keeps: after a pre-kill that unloaded the library,
// Handle still holds the released handle; a new pre-initialise keeps it but
// resolves nothing through it.
TEST(SoundLibraryRecord, KeepsTheReleasedHandleAndResolvesNothingThroughIt) {
    auto s = Session::open(frame_test::frame_probe(), Sound::present);
    ASSERT_TRUE(s);
    const std::uint32_t record = s->export_address("SoundLibrary");
    const std::uint32_t count = s->export_address("SoundLibraryReferences");
    ASSERT_NE(record, 0u);
    ASSERT_NE(count, 0u);
    auto fields = [&] {
        return std::vector<std::uint32_t>{s->read_u32(record), s->read_u32(record + 4), s->read_u32(record + 8),
                                          s->read_u32(record + 12)};
    };
    EXPECT_EQ(fields(), (std::vector<std::uint32_t>{0, 0, 0, 0}));

    s->send(4);
    const auto bound = fields();
    for (std::uint32_t f : bound) EXPECT_NE(f, 0u);
    EXPECT_EQ(s->read_u32(count), 1u);

    s->send(12);
    EXPECT_EQ(fields(), bound) << "pre-kill leaves the record as its bind and resolve set it";
    EXPECT_EQ(s->read_u32(count), 0u);
    EXPECT_FALSE(s->host->modules().is_loaded(frame_test::kSoundLibrary));

    s->send(4);
    EXPECT_EQ(fields(), (std::vector<std::uint32_t>{bound[0], 0, 0, 0}));
    EXPECT_EQ(s->read_u32(count), 0u);
}

}  // namespace
