// The renderer's figures: one 256 x 256 frame of the volts-amperes meter
// with both needles (goal: <= 1 ms), and a whole update cycle with drawing.
//   build-<name>/host/render/render_bench
#include <benchmark/benchmark.h>

#include <filesystem>

#include "panel/session.h"
#include "render/gauge_scene.h"
#include "render/module_bitmaps.h"
#include "render/painter.h"

namespace {

using namespace panelhost;

// The meter loaded, initialised and run once; the scene of that cycle.
struct Meter {
    std::unique_ptr<panel::Host> host;
    panel::GaugeModule* module = nullptr;
    panel::GaugeInstance* gauge = nullptr;
    std::optional<render::ModuleBitmaps> bitmaps;

    bool start(benchmark::State& state) {
        auto h = panel::Host::create({.library_dir = "/nonexistent"});
        if (!h) return state.SkipWithError(h.error().message.c_str()), false;
        host = std::move(*h);
        auto m = host->load_module(std::filesystem::path(DIST_DIR) / "QV_VornVA.gau");
        if (!m) return state.SkipWithError(m.error().message.c_str()), false;
        module = *m;
        if (!host->write_import_table(*module) || !host->module_init(*module))
            return state.SkipWithError("module set-up failed"), false;
        auto g = host->add_instance(*module);
        if (!g || !host->send(**g, gauge::kServicePreInitialize))
            return state.SkipWithError("gauge set-up failed"), false;
        gauge = *g;
        bitmaps.emplace(module->image());
        host->tokens().set(566, 1.0);
        return true;
    }
    ~Meter() {
        if (!host || !module) return;
        if (gauge) (void)host->send(*gauge, gauge::kServicePreKill);
        (void)host->module_deinit(*module);
        (void)host->unload_module(*module);
    }
};

// Drawing only: background and two needles (bilinear, transparent), the
// needles' values changing every frame.
void BM_RenderFrameTwoNeedles(benchmark::State& state) {
    Meter meter;
    if (!meter.start(state)) return;
    if (!meter.host->update_cycle(*meter.gauge)) return state.SkipWithError("update cycle failed");
    auto tree = meter.host->elements(*meter.gauge);
    if (!tree) return state.SkipWithError(tree.error().message.c_str());
    auto scene = render::scene_from_tree(*tree, *meter.bitmaps);
    if (!scene) return state.SkipWithError(scene.error().message.c_str());
    render::Frame frame;
    int i = 0;
    for (auto _ : state) {
        scene->elements[1].value = -20.0 + (i % 81);        // amps
        scene->elements[2].value = (i * 7) % 41;            // volts
        render::render_into(*scene, frame);
        benchmark::DoNotOptimize(frame.pixels.data());
        ++i;
    }
    state.counters["frame_px"] = frame.width * frame.height;
}
BENCHMARK(BM_RenderFrameTwoNeedles)->Unit(benchmark::kMicrosecond);

// An update cycle in the emulator, reading the tree back and drawing it.
void BM_UpdateCycleAndRender(benchmark::State& state) {
    Meter meter;
    if (!meter.start(state)) return;
    int i = 0;
    for (auto _ : state) {
        meter.host->tokens().set(752, (i * 7) % 41);
        meter.host->tokens().set(762, -20.0 + (i % 81));
        auto frame = meter.host->update_cycle(*meter.gauge)
                         ? render::render_gauge(*meter.host, *meter.gauge, *meter.bitmaps)
                         : std::unexpected(render::Error{"update cycle failed"});
        if (!frame) return state.SkipWithError(frame.error().message.c_str());
        benchmark::DoNotOptimize(frame->pixels.data());
        ++i;
    }
}
BENCHMARK(BM_UpdateCycleAndRender)->Unit(benchmark::kMicrosecond);

}  // namespace
