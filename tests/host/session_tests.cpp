// The gauge session on the test gauge: one whole life with its trace in
// order, and the separately callable steps the frame and gauge tests use.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>

#include "fixtures.h"
#include "panel/session.h"

using namespace panelhost;

namespace {

class SessionTest : public ::testing::Test {
protected:
    void start(const std::filesystem::path& library_dir, panel::HostOptions o = {}) {
        o.library_dir = library_dir;
        auto h = panel::Host::create(std::move(o));
        ASSERT_TRUE(h) << h.error().message;
        host = std::move(*h);
        host->trace().attach(&events);
        auto m = host->load_module(fixtures::test_gauge());
        ASSERT_TRUE(m) << m.error().message;
        module = *m;
    }
    panel::GaugeInstance* ready() {
        EXPECT_TRUE(host->write_import_table(*module));
        EXPECT_TRUE(host->module_init(*module));
        auto g = host->add_instance(*module);
        EXPECT_TRUE(g) << g.error().message;
        return g ? *g : nullptr;
    }
    double test_var(int i) {
        return *host->read_double(host->export_address(*module, "TestVars") + 16 * i + 8);
    }
    // Each event as a short line: the fields that tell events apart.
    std::vector<std::string> lines() const {
        std::vector<std::string> out;
        for (const auto& e : events.events) {
            std::string ev = e["event"];
            std::string s = ev;
            if (ev == "library") s += " " + e["action"].get<std::string>() + " " + e["name"].get<std::string>();
            if (ev == "syscall") s += " " + e["name"].get<std::string>() + " " + e["arg"].dump();
            if (ev == "service") s += " " + std::to_string(e["code"].get<int>());
            if (ev == "panel_service") s += " " + std::to_string(e["token"].get<int>());
            if (ev == "refresh" || ev == "callback") s += " " + std::to_string(e["element"].get<int>());
            if (ev == "hook") s += " " + e["name"].get<std::string>();
            if (ev == "entry") s += " " + e["name"].get<std::string>();
            out.push_back(s);
        }
        return out;
    }

    std::unique_ptr<panel::Host> host;
    trace::MemorySink events;
    panel::GaugeModule* module = nullptr;
};

TEST_F(SessionTest, OneWholeLifeTracedInOrder) {
    start(fixtures::sound_dir());
    host->watch_export("GaugeSound", "TerminateSounds");
    host->tokens().set(100, 10.0);
    host->tokens().set(101, 1.0);
    host->tokens().set(300, 5.0);
    auto tree = host->run_life(*module, 1);
    ASSERT_TRUE(tree) << tree.error().message;

    EXPECT_EQ(lines(), (std::vector<std::string>{
                           "library load TestGauge.gau",
                           "library attach TestGauge.gau",
                           "import_table",
                           "hook module_init",
                           "service 4",
                           "library load GaugeSound.dll",
                           "library attach GaugeSound.dll",
                           "syscall LoadLibraryA \"GaugeSound\"",
                           "syscall GetProcAddress \"TerminateSounds\"",
                           "service 6",
                           "syscall GetModuleHandleA \"GaugeSound\"",
                           "syscall GetProcAddress \"TerminateSounds\"",
                           "panel_service 300",
                           "panel_service 301",
                           "refresh 1",
                           "refresh 3",
                           "callback 1",
                           "callback 3",
                           "service 10",
                           "service 12",
                           "syscall GetModuleHandleA \"GaugeSound\"",
                           "syscall GetProcAddress \"TerminateSounds\"",
                           "entry TerminateSounds",
                           "library detach GaugeSound.dll",
                           "library unload GaugeSound.dll",
                           "syscall FreeLibrary \"" + events.named("syscall").back()["arg"].get<std::string>() + "\"",
                           "hook module_deinit",
                           "library detach TestGauge.gau",
                           "library unload TestGauge.gau",
                       }));
    for (std::size_t i = 0; i < events.events.size(); ++i) EXPECT_EQ(events.events[i]["seq"], i);

    // The tree after the cycle: drawing order, results, draw flags.
    ASSERT_EQ(tree->elements.size(), 4u);
    const auto& e = tree->elements;
    EXPECT_EQ(e[0].resource_id, 0x100u);
    EXPECT_EQ(e[1].resource_id, 0x1100u);
    EXPECT_EQ(e[2].resource_id, 0x1300u);
    EXPECT_EQ(e[3].resource_id, 0x1200u);
    EXPECT_EQ(e[0].children, (std::vector<std::size_t>{1, 3}));
    EXPECT_EQ(e[2].parent, 1u);
    EXPECT_EQ(e[1].last_result, 15.0);   // its source 10 plus module variable 300
    EXPECT_EQ(e[3].last_result, 1.0);
    EXPECT_FALSE(e[0].last_result);
    EXPECT_EQ(e[0].draw_flags, 0x83u);
    EXPECT_EQ(e[1].draw_flags, 0x87u);
    EXPECT_EQ(e[3].draw_flags, 0x87u);
    ASSERT_EQ(e[1].table.size(), 2u);
    EXPECT_EQ(e[1].table[1].value, 100.0);
    EXPECT_EQ(e[1].pivot.x, 1);
    EXPECT_EQ(e[3].switch_mode, 3u);
    EXPECT_EQ(e[3].picture_count, 2u);
    EXPECT_FALSE(host->modules().is_loaded("GaugeSound"));
    EXPECT_FALSE(host->modules().is_loaded("TestGauge.gau"));
}

TEST_F(SessionTest, StepsCanRunInAnyOrder) {
    start(fixtures::sound_dir());
    auto* g = ready();
    ASSERT_NE(g, nullptr);
    host->tokens().set(100, 7.0);
    host->tokens().set(101, std::nan(""));
    // A callback before any refresh reads what the record holds.
    auto before = host->call_update(*g, 1);
    ASSERT_TRUE(before) << before.error().message;
    EXPECT_EQ(**before, 0.0);
    ASSERT_TRUE(host->refresh_source(*g, 1));
    auto r = host->call_update(*g, 1);
    ASSERT_TRUE(r);
    EXPECT_EQ(**r, 7.0);
    ASSERT_TRUE(host->refresh_sources(*g));
    auto lamp = host->call_update(*g, 3);
    ASSERT_TRUE(lamp);
    EXPECT_EQ(**lamp, 0.0);   // NaN is not above 0: hidden, picture 0
    auto tree = host->elements(*g);
    ASSERT_TRUE(tree);
    EXPECT_TRUE(tree->elements[3].hidden());
    EXPECT_TRUE(std::isnan(tree->elements[3].source_value));
    // Static elements have no callback.
    auto none = host->call_update(*g, 0);
    ASSERT_TRUE(none);
    EXPECT_FALSE(*none);
}

TEST_F(SessionTest, ModuleVariablesFollowTokensSetBetweenCycles) {
    start(fixtures::sound_dir());
    auto* g = ready();
    ASSERT_TRUE(host->send(*g, 4));
    for (double v : {1.0, -2.5, std::numeric_limits<double>::infinity()}) {
        host->tokens().set(300, v);
        host->tokens().set(301, -v);
        ASSERT_TRUE(host->update_cycle(*g));
        EXPECT_EQ(test_var(0), v);
        EXPECT_EQ(test_var(1), -v);
    }
}

TEST_F(SessionTest, ReinitialisationAfterKillAndSeveralInstances) {
    start(fixtures::sound_dir());
    auto* a = ready();
    auto b = host->add_instance(*module);
    ASSERT_TRUE(b);
    ASSERT_TRUE(host->send(*a, 4));
    EXPECT_EQ(host->modules().ref_count("GaugeSound"), 1u);
    ASSERT_TRUE(host->send(**b, 4));   // the handle is set: no new reference
    EXPECT_EQ(host->modules().ref_count("GaugeSound"), 1u);
    ASSERT_TRUE(host->send(*a, 12));
    EXPECT_FALSE(host->modules().is_loaded("GaugeSound"));
    ASSERT_TRUE(host->update_cycle(**b));   // looks up, finds nothing, loads again
    EXPECT_EQ(host->modules().ref_count("GaugeSound"), 1u);
    for (std::uint32_t code : {0u, 5u, 10u, 13u, 0xFFFFFFFFu}) ASSERT_TRUE(host->send(**b, code));
    EXPECT_EQ(host->modules().ref_count("GaugeSound"), 1u);
    ASSERT_TRUE(host->send(**b, 12));
    EXPECT_FALSE(host->modules().is_loaded("GaugeSound"));
    ASSERT_TRUE(host->unload_module(*module));
    EXPECT_FALSE(host->send(*a, 6));   // the module is gone
}

TEST_F(SessionTest, LibraryWithoutTerminateSoundsIsStillReleased) {
    start(fixtures::sound_noterm_dir());
    host->watch_export("GaugeSound", "TerminateSounds");
    auto* g = ready();
    ASSERT_TRUE(host->send(*g, 4));
    ASSERT_TRUE(host->update_cycle(*g));
    ASSERT_TRUE(host->send(*g, 12));
    EXPECT_FALSE(host->modules().is_loaded("GaugeSound"));
    EXPECT_TRUE(events.named("entry").empty());
}

TEST_F(SessionTest, UnknownPanelServiceIsAnErrorNamingTheEntry) {
    start(fixtures::sound_dir());
    auto* g = ready();
    ASSERT_NE(g, nullptr);
    // Point entry 40 of the table at entry 12's stub: the gauge's pre-update
    // now calls an entry the host does not provide.
    std::uint32_t table = host->panel_services();
    std::uint32_t twelve = *host->read_u32(table + 4 * 12);
    ASSERT_TRUE(host->machine().write_as(table + 4 * 40, twelve));
    auto r = host->update_cycle(*g);
    ASSERT_FALSE(r);
    EXPECT_NE(r.error().message.find("panel-service entry 12"), std::string::npos) << r.error().message;
    auto errors = events.named("error");
    ASSERT_FALSE(errors.empty());
    EXPECT_EQ(errors.back()["entry"], 12);
    EXPECT_FALSE(events.named("fault").empty());
}

TEST_F(SessionTest, GaugeViewReadsHeaderAndTooltip) {
    start(fixtures::sound_dir());
    ASSERT_EQ(module->gauges().size(), 1u);
    auto v = host->gauge_view(module->gauges()[0]);
    ASSERT_TRUE(v) << v.error().message;
    EXPECT_EQ(v->name, "TestGauge");
    EXPECT_EQ(v->header.header_version, 800u);
    EXPECT_EQ(v->mouse_rects.size(), 4u);
    EXPECT_EQ(v->tooltip(), "Test Gauge");
    EXPECT_EQ(module->linkage_record().version, 0x800u);
}

}  // namespace

namespace {

TEST_F(SessionTest, WriteCheckReportsGuestWritesOutsideTheAllowedRegions) {
    start(fixtures::sound_dir());
    host->check_writes(true);
    auto* g = ready();
    ASSERT_TRUE(host->send(*g, 4));
    ASSERT_TRUE(host->update_cycle(*g));   // stack and the modules' own data only
    EXPECT_TRUE(events.named("write_outside").empty());

    // mov dword [panel-services table], 1; ret
    std::uint32_t table = host->panel_services();
    std::vector<std::uint8_t> code = {0xC7, 0x05};
    for (int i = 0; i < 4; ++i) code.push_back(static_cast<std::uint8_t>(table >> (8 * i)));
    code.insert(code.end(), {1, 0, 0, 0, 0xC3});
    ASSERT_TRUE(host->machine().map(0x00400000, 0x1000, emu::kRead | emu::kWrite | emu::kExec, "scratch code"));
    ASSERT_TRUE(host->machine().write(0x00400000, code));
    ASSERT_TRUE(host->machine().call({.name = "scribbler", .address = 0x00400000}));
    auto outside = events.named("write_outside");
    ASSERT_EQ(outside.size(), 1u);
    EXPECT_EQ(outside[0]["address"], trace::hex(table));
    EXPECT_EQ(outside[0]["region"], "host data");
}

}  // namespace
