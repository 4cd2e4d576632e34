// Emulated update cycles per second of the test gauge, without rendering:
// pre-update (two module-variable look-ups, the sound library's look-up and
// resolve), the refresh of both sources, two update callbacks, pre-draw.
// Also reports the guest instructions per cycle, as the host counts them.
#include <benchmark/benchmark.h>

#include <filesystem>

#include "panel/session.h"

namespace {

namespace fs = std::filesystem;
using panelhost::panel::Host;

void BM_UpdateCycle(benchmark::State& state) {
    auto host = Host::create({.library_dir = fs::path(FIXTURE_DIR) / "gauge_sound"});
    if (!host) {
        state.SkipWithError(host.error().message.c_str());
        return;
    }
    auto& h = **host;
    auto module = h.load_module(fs::path(FIXTURE_DIR) / "test_gauge" / "TestGauge.gau");
    if (!module || !h.write_import_table(**module) || !h.module_init(**module)) {
        state.SkipWithError("cannot load the test gauge");
        return;
    }
    auto gauge = h.add_instance(**module);
    if (!gauge || !h.send(**gauge, 4)) {
        state.SkipWithError("cannot start the test gauge");
        return;
    }
    h.tokens().set(100, 42.0);
    h.tokens().set(101, 1.0);
    std::uint64_t before = h.machine().instructions();
    double value = 0.0;
    for (auto _ : state) {
        h.tokens().set(300, value);
        value += 1.0;
        if (!h.update_cycle(**gauge)) {
            state.SkipWithError("update cycle failed");
            return;
        }
    }
    state.SetItemsProcessed(state.iterations());
    state.counters["cycles/s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["insns/cycle"] =
            static_cast<double>(h.machine().instructions() - before) / static_cast<double>(state.iterations());
}

BENCHMARK(BM_UpdateCycle);

}  // namespace
