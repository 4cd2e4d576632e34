// Figures of the three shipped modules, printed as benchmark counters (not
// asserted anywhere):
//   file_bytes     the module file's size
//   bitmap_bytes   its bitmap payload: the bytes of its bitmap resources
//   other_bytes    everything else: headers, code, records, import and export
//                  tables, relocations, the version resource, resource
//                  directories (the goal is <= 4096)
//   instructions   guest instructions one pre-update executes inside the
//                  module, library present (the calls into the KERNEL32 and
//                  panel-service stubs count one instruction each: their ret)
// Run: build-<name>/tests/frame/frame_figures
#include <benchmark/benchmark.h>

#include <fstream>
#include <iterator>
#include <string>

#include "gauge_session.h"
#include "pe/image.h"

namespace {

using frame_test::Session;
using frame_test::ShippedModule;
using frame_test::Sound;

void Sizes(benchmark::State& state, const ShippedModule& m) {
    std::ifstream in(m.path(), std::ios::binary);
    std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
    const double file = static_cast<double>(bytes.size());
    auto image = panelhost::pe::Image::parse(std::move(bytes));
    if (!image) {
        state.SkipWithError(image.error().message.c_str());
        return;
    }
    double bitmaps = 0;
    for (const auto& r : image->resources())
        if (r.type.number == panelhost::pe::kResourceBitmap) bitmaps += r.size;
    for (auto _ : state) benchmark::DoNotOptimize(bitmaps);
    state.counters["file_bytes"] = file;
    state.counters["bitmap_bytes"] = bitmaps;
    state.counters["other_bytes"] = file - bitmaps;
    // The counters print rounded to kilo; the label keeps the exact bytes.
    state.SetLabel("other " + std::to_string(static_cast<long>(file - bitmaps)) + " B = file " +
                   std::to_string(static_cast<long>(file)) + " - bitmaps " + std::to_string(static_cast<long>(bitmaps)));
}

void PreUpdate(benchmark::State& state, const ShippedModule& m) {
    auto s = Session::open(m.path(), Sound::present, 1, {.count_instructions = true});
    if (!s) {
        state.SkipWithError("cannot open the module");
        return;
    }
    s->host->trace().detach(&s->sink);
    s->send(4);
    std::uint64_t instructions = 0, calls = 0;
    for (auto _ : state) {
        const std::uint64_t before = s->host->machine().instructions();
        s->send(6);
        instructions += s->host->machine().instructions() - before;
        ++calls;
    }
    state.counters["instructions"] = static_cast<double>(instructions) / static_cast<double>(calls);
}

const bool registered = [] {
    for (const ShippedModule& m : frame_test::shipped_modules()) {
        benchmark::RegisterBenchmark(("Sizes/" + m.name).c_str(), Sizes, m)->Iterations(1);
        benchmark::RegisterBenchmark(("PreUpdate/" + m.name).c_str(), PreUpdate, m);
    }
    return true;
}();

}  // namespace

BENCHMARK_MAIN();
