// The figures of the three shipped gauges, one benchmark family each:
//
//   Cycle/<module>    emulated update cycles per second (pre-update, refresh of
//                     every source, every update callback, pre-draw; no
//                     drawing), and the guest instructions of one cycle as the
//                     host counts them: every instruction executed, the stubs'
//                     `ret` included; exact and the same on any machine
//   Render/<module>   drawing one frame of the gauge as it stands after a cycle
//                     (the scene is built once; bitmaps decoded once)
//   Size/<module>     the module file's size minus its bitmap payload (the
//                     bytes of its bitmap resources), exact in the label
//
// Every cycle runs with the GaugeSound fixture in the library folder (the
// frame looks it up and resolves its entries at every pre-update) and these
// tokens, which decide the callbacks' paths:
//   QV_VornVA          566 = 1, 364 = 1 (volts gate open), 752 = 28, 762 = 12
//   QV_Vorn_GearCtrls  333 = 20000 (left green), 334 = 0 (right red)
//   QV_VornGenerWng    566 = 0 (lamp lit)
//
// Run: build-<name>/bench/gauge_figures
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "panel/session.h"
#include "pe/image.h"
#include "render/gauge_scene.h"
#include "render/module_bitmaps.h"
#include "render/painter.h"

namespace {

namespace fs = std::filesystem;
using namespace panelhost;

struct Gauge {
    std::string name;
    std::vector<std::pair<std::uint32_t, double>> tokens;
    fs::path path() const { return fs::path(DIST_DIR) / (name + ".gau"); }
};

const std::vector<Gauge> kGauges = {
    {"QV_VornVA", {{566, 1.0}, {364, 1.0}, {752, 28.0}, {762, 12.0}}},
    {"QV_Vorn_GearCtrls", {{333, 20000.0}, {334, 0.0}}},
    {"QV_VornGenerWng", {{566, 0.0}}},
};

// A gauge loaded, set up (import table, init hook, pre-initialise) with its
// tokens set; pre-kill, deinit and unload at the end.
class Running {
public:
    bool start(benchmark::State& state, const Gauge& g) {
        auto h = panel::Host::create({.library_dir = fs::path(FIXTURE_DIR) / "gauge_sound"});
        if (!h) return skip(state, h.error().message);
        host_ = std::move(*h);
        auto m = host_->load_module(g.path());
        if (!m) return skip(state, m.error().message);
        module_ = *m;
        if (auto r = host_->write_import_table(*module_); !r) return skip(state, r.error().message);
        if (auto r = host_->module_init(*module_); !r) return skip(state, r.error().message);
        auto i = host_->add_instance(*module_);
        if (!i) return skip(state, i.error().message);
        gauge_ = *i;
        if (auto r = host_->send(*gauge_, gauge::kServicePreInitialize); !r) return skip(state, r.error().message);
        for (const auto& [token, value] : g.tokens) host_->tokens().set(token, value);
        return true;
    }
    ~Running() {
        if (!host_ || !module_) return;
        if (gauge_) (void)host_->send(*gauge_, gauge::kServicePreKill);
        (void)host_->module_deinit(*module_);
        (void)host_->unload_module(*module_);
    }
    panel::Host& host() { return *host_; }
    panel::GaugeModule& module() { return *module_; }
    panel::GaugeInstance& gauge() { return *gauge_; }

private:
    static bool skip(benchmark::State& state, const std::string& why) {
        state.SkipWithError(why.c_str());
        return false;
    }
    std::unique_ptr<panel::Host> host_;
    panel::GaugeModule* module_ = nullptr;
    panel::GaugeInstance* gauge_ = nullptr;
};

void Cycle(benchmark::State& state, const Gauge& g) {
    Running run;
    if (!run.start(state, g)) return;
    const std::uint64_t before = run.host().machine().instructions();
    for (auto _ : state) {
        if (auto r = run.host().update_cycle(run.gauge()); !r) {
            state.SkipWithError(r.error().message.c_str());
            return;
        }
    }
    const double cycles = static_cast<double>(state.iterations());
    state.counters["cycles/s"] = benchmark::Counter(cycles, benchmark::Counter::kIsRate);
    state.counters["insns/cycle"] =
        static_cast<double>(run.host().machine().instructions() - before) / cycles;
}

void Render(benchmark::State& state, const Gauge& g) {
    Running run;
    if (!run.start(state, g)) return;
    if (auto r = run.host().update_cycle(run.gauge()); !r) {
        state.SkipWithError(r.error().message.c_str());
        return;
    }
    render::ModuleBitmaps bitmaps(run.module().image());
    auto tree = run.host().elements(run.gauge());
    if (!tree) {
        state.SkipWithError(tree.error().message.c_str());
        return;
    }
    auto scene = render::scene_from_tree(*tree, bitmaps);
    if (!scene) {
        state.SkipWithError(scene.error().message.c_str());
        return;
    }
    render::Frame frame;
    for (auto _ : state) {
        render::render_into(*scene, frame);
        benchmark::DoNotOptimize(frame.pixels.data());
    }
    state.SetLabel(std::to_string(frame.width) + " x " + std::to_string(frame.height) + ", " +
                   std::to_string(scene->elements.size()) + " elements");
}

void Size(benchmark::State& state, const Gauge& g) {
    std::ifstream in(g.path(), std::ios::binary);
    std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
    const auto file = static_cast<long>(bytes.size());
    auto image = pe::Image::parse(std::move(bytes));
    if (!image) {
        state.SkipWithError(image.error().message.c_str());
        return;
    }
    long bitmaps = 0;
    for (const pe::Resource& r : image->resources())
        if (r.type.number == pe::kResourceBitmap) bitmaps += r.size;
    for (auto _ : state) benchmark::DoNotOptimize(bitmaps);
    state.counters["other_bytes"] = static_cast<double>(file - bitmaps);
    state.SetLabel(std::to_string(file - bitmaps) + " B = file " + std::to_string(file) + " - bitmaps " +
                   std::to_string(bitmaps));
}

const bool registered = [] {
    for (const Gauge& g : kGauges) {
        benchmark::RegisterBenchmark(("Cycle/" + g.name).c_str(), Cycle, g);
        benchmark::RegisterBenchmark(("Render/" + g.name).c_str(), Render, g)->Unit(benchmark::kMicrosecond);
        benchmark::RegisterBenchmark(("Size/" + g.name).c_str(), Size, g)->Iterations(1);
    }
    return true;
}();

}  // namespace
