// A guest fault in library use is contained: the call that faulted is an
// error naming the callback and the cause, and the same host carries on. The
// faulty gauge still answers its other calls and ends its life cleanly
// (the sound library it took is given back), and another module then runs
// whole lives with the right results.
#include <gtest/gtest.h>

#include <filesystem>

#include "panel/session.h"

namespace {

namespace fs = std::filesystem;
using panelhost::panel::Host;

fs::path fixture(const char* name) { return fs::path(FIXTURE_DIR) / name; }

struct Fault {
    const char* fixture;
    const char* says;
};

const Fault kFaults[] = {
    {"faulty_loop.gau", "instruction budget exceeded"},
    {"faulty_wild_write.gau", "write to unmapped memory 0x00001234"},
    {"faulty_stack.gau", "stack left unbalanced"},
};

TEST(ContainedFaults, HostCarriesOnAfterAFaultingCallback) {
    for (const Fault& f : kFaults) {
        SCOPED_TRACE(f.fixture);
        auto created = Host::create({.library_dir = fixture("gauge_sound"), .budget = 200'000});
        ASSERT_TRUE(created) << created.error().message;
        Host& host = **created;

        auto faulty = host.load_module(fixture(f.fixture));
        ASSERT_TRUE(faulty) << faulty.error().message;
        ASSERT_TRUE(host.write_import_table(**faulty));
        ASSERT_TRUE(host.module_init(**faulty));
        auto gauge = host.add_instance(**faulty);
        ASSERT_TRUE(gauge) << gauge.error().message;
        ASSERT_TRUE(host.send(**gauge, 4));
        ASSERT_EQ(host.modules().ref_count("GaugeSound"), 1u);

        const auto cycle = host.update_cycle(**gauge);
        ASSERT_FALSE(cycle);
        EXPECT_NE(cycle.error().message.find("update callback of element 1"), std::string::npos)
            << cycle.error().message;
        EXPECT_NE(cycle.error().message.find(f.says), std::string::npos) << cycle.error().message;

        // The faulty gauge's own life goes on to its end.
        EXPECT_TRUE(host.send(**gauge, 6));
        EXPECT_TRUE(host.send(**gauge, 12));
        EXPECT_EQ(host.modules().ref_count("GaugeSound"), 0u);
        EXPECT_TRUE(host.module_deinit(**faulty));
        EXPECT_TRUE(host.unload_module(**faulty));

        // And a sound module runs in the same host: the generator lamp is
        // lit (1.0) unless token 566 reads exactly 1.
        for (const double volts : {0.0, 1.0}) {
            auto lamp = host.load_module(fs::path(DIST_DIR) / "QV_VornGenerWng.gau");
            ASSERT_TRUE(lamp) << lamp.error().message;
            host.tokens().set(566, volts);
            const auto tree = host.run_life(**lamp, 2);
            ASSERT_TRUE(tree) << tree.error().message;
            ASSERT_EQ(tree->elements.size(), 2u);
            EXPECT_EQ(tree->elements[1].last_result, volts == 1.0 ? 0.0 : 1.0);
        }
    }
}

}  // namespace
