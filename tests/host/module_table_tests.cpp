// The module table as guest code sees it (through HostProbe.dll's calls of
// LoadLibraryA & co.) and as a second holder on the host side sees it.
#include <gtest/gtest.h>

#include "fixtures.h"
#include "panel/session.h"

using namespace panelhost;

namespace {

class ModuleTableTest : public ::testing::Test {
protected:
    void SetUp() override { open(fixtures::sound_dir()); }
    void open(const std::filesystem::path& library_dir) {
        host.reset();
        auto h = panel::Host::create({.library_dir = library_dir});
        ASSERT_TRUE(h) << h.error().message;
        host = std::move(*h);
        host->trace().attach(&events);
        auto m = host->modules().load_file(fixtures::host_probe());
        ASSERT_TRUE(m) << m.error().message;
        probe = (*m)->handle;
        names = *host->machine().allocate(256);
    }
    // Writes a guest string at names + offset and returns its address.
    std::uint32_t put(const std::string& text, std::uint32_t offset = 0) {
        std::vector<std::uint8_t> bytes(text.begin(), text.end());
        bytes.push_back(0);
        EXPECT_TRUE(host->machine().write(names + offset, bytes));
        return names + offset;
    }
    // Calls a HostProbe export with a string argument.
    std::uint32_t guest(const char* function, const std::string& text) { return guest_n(function, {put(text)}); }
    std::uint32_t guest_n(const char* function, std::vector<std::uint32_t> args) {
        auto f = host->modules().proc_address(probe, function);
        auto r = host->machine().call({.name = function, .address = f, .args = args, .returns = emu::Returns::int32});
        EXPECT_TRUE(r) << r.error().message();
        return r ? r->eax : 0;
    }
    std::uint32_t counter(std::uint32_t index) {
        auto h = host->modules().module_handle("GaugeSound");
        auto at = host->modules().proc_address(h, "SoundCounters");
        return at ? *host->read_u32(at + 4 * index) : ~0u;
    }
    std::vector<std::string> library_actions() {
        std::vector<std::string> out;
        for (const auto& e : events.named("library"))
            if (e["name"] == "GaugeSound.dll") out.push_back(e["action"].get<std::string>() + " " + std::to_string(e["refs"].get<int>()));
        return out;
    }

    std::unique_ptr<panel::Host> host;
    trace::MemorySink events;
    std::uint32_t probe = 0, names = 0;
};

TEST_F(ModuleTableTest, ReferenceCountsOverASequenceOfCalls) {
    EXPECT_EQ(guest("ProbeHandle", "GaugeSound"), 0u);
    std::uint32_t h = guest("ProbeLoad", "GaugeSound");
    ASSERT_NE(h, 0u);
    EXPECT_EQ(host->modules().ref_count("GaugeSound"), 1u);
    EXPECT_EQ(counter(0), 1u);   // one process attach

    // Names compare case-insensitively and ".dll" is the default extension.
    EXPECT_EQ(guest("ProbeLoad", "gaugesound.DLL"), h);
    EXPECT_EQ(host->modules().ref_count("GaugeSound"), 2u);
    EXPECT_EQ(guest("ProbeHandle", "GAUGESOUND"), h);
    EXPECT_EQ(host->modules().ref_count("GaugeSound"), 2u);   // no reference taken
    EXPECT_EQ(counter(0), 1u);                                 // attach only once

    EXPECT_NE(guest_n("ProbeProc", {h, put("TerminateSounds", 128)}), 0u);
    EXPECT_EQ(guest_n("ProbeProc", {h, put("NoSuchEntry", 128)}), 0u);
    EXPECT_EQ(guest_n("ProbeFree", {h}), 1u);
    EXPECT_EQ(host->modules().ref_count("GaugeSound"), 1u);
    EXPECT_TRUE(host->modules().is_loaded("GaugeSound"));
    EXPECT_EQ(guest_n("ProbeFree", {h}), 1u);
    EXPECT_FALSE(host->modules().is_loaded("GaugeSound"));
    // Freeing a handle that is no longer loaded fails and changes nothing.
    EXPECT_EQ(guest_n("ProbeFree", {h}), 0u);
    EXPECT_EQ(guest("ProbeHandle", "GaugeSound"), 0u);

    EXPECT_EQ(library_actions(), (std::vector<std::string>{"load 0", "attach 1", "reference 2", "release 1",
                                                           "detach 0", "unload 0"}));
}

TEST_F(ModuleTableTest, GetProcAddressReadsTheRealExportTable) {
    std::uint32_t h = guest("ProbeLoad", "GaugeSound");
    ASSERT_NE(h, 0u);
    const auto* m = host->modules().find(h);
    ASSERT_NE(m, nullptr);
    for (const char* name : {"GaugePlaySound", "GaugeStopSound", "TerminateSounds", "SoundCounters"}) {
        const auto* e = m->image->find_export(name);
        ASSERT_NE(e, nullptr) << name;
        EXPECT_EQ(host->modules().proc_address(h, name), h + e->rva) << name;
    }
    EXPECT_EQ(host->modules().proc_address(h, "Missing"), 0u);
    EXPECT_EQ(host->modules().proc_address(h, std::uint16_t{3}), host->modules().proc_address(h, "TerminateSounds"));
    EXPECT_EQ(host->modules().proc_address(h + 4, "TerminateSounds"), 0u);   // not a module handle

    // The entry runs and counts; the host can read the counters.
    auto terminate = host->modules().proc_address(h, "TerminateSounds");
    EXPECT_EQ(guest_n("ProbeCall", {terminate}), 1u);
    EXPECT_EQ(counter(6), 1u);
}

TEST_F(ModuleTableTest, MissingLibraryLoadsAsNull) {
    EXPECT_EQ(guest("ProbeLoad", "NoSuchLibrary"), 0u);
    EXPECT_EQ(guest("ProbeLoad", ""), 0u);
    EXPECT_TRUE(events.named("error").size() >= 2);
    open(fixtures::scratch("empty"));
    EXPECT_EQ(guest("ProbeLoad", "GaugeSound"), 0u);
}

TEST_F(ModuleTableTest, SecondHolderKeepsTheLibraryLoaded) {
    // The host holds the library as another module would...
    std::uint32_t mine = host->load_library("GaugeSound");
    ASSERT_NE(mine, 0u);
    std::uint32_t h = guest("ProbeLoad", "GaugeSound");
    EXPECT_EQ(h, mine);
    EXPECT_EQ(guest_n("ProbeFree", {h}), 1u);
    EXPECT_TRUE(host->modules().is_loaded("GaugeSound"));   // ...so the guest's free does not unload it
    EXPECT_TRUE(host->free_library(mine));
    EXPECT_FALSE(host->modules().is_loaded("GaugeSound"));
}

TEST_F(ModuleTableTest, ThreadNotificationsReachEveryLoadedModule) {
    ASSERT_NE(guest("ProbeLoad", "GaugeSound"), 0u);
    ASSERT_TRUE(host->thread_attach());
    ASSERT_TRUE(host->thread_detach());
    EXPECT_EQ(counter(2), 1u);
    EXPECT_EQ(counter(3), 1u);
    EXPECT_EQ(library_actions(), (std::vector<std::string>{"load 0", "attach 1", "thread_attach 1", "thread_detach 1"}));
}

}  // namespace
