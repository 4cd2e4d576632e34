// Level 4: random token values and random orders of the host's steps, for
// many steps, all drawn from the seed: update cycles and their parts sent
// alone, callbacks before any refresh, codes that need no answer, kills and
// re-initialisations, further instances, thread notifications and a second
// holder of the sound library. Every step must stay clean, draw flags known,
// and references balanced once every instance is killed.
#include "validate/drive.h"
#include "validate/random.h"
#include "validate/suite.h"

#include <fmt/format.h>

namespace panelhost::validate {
namespace {

constexpr int kSteps = 300;
constexpr std::size_t kMaxInstances = 3;

struct Instance {
    panel::GaugeInstance* gauge;
    bool alive;   // initialised and not killed
};

void run_fuzz(Subject& s, Observations& out) {
    auto drive = Drive::open(s, s.sounds->dir(SoundCondition::present), fmt::format("fuzz (seed {})", s.seed), out);
    if (!drive) {
        out.steps.push_back({Severity::error, drive.error().message});
        return;
    }
    Drive& d = **drive;
    if (!d.load()) return;
    auto& host = d.host();
    Random rng(s.seed);

    const auto refs_before = d.library_refs();
    std::vector<Instance> instances;
    std::vector<std::uint32_t> held;   // the second holder's library handles
    auto add_instance = [&](const std::string& label) {
        panel::GaugeInstance* g = d.add_instance();
        if (g == nullptr) return;
        instances.push_back({g, true});
        d.step(label, [&] { return host.send(*g, gauge::kServicePreInitialize); });
    };
    // The other holder's FreeLibrary fails when the module has given back
    // the holder's reference as if it were its own.
    auto release_held = [&](const std::string& label) {
        if (!host.free_library(held.back()))
            out.references.push_back({Severity::error,
                                      fmt::format("{}, {}: FreeLibrary failed, the library was already unloaded: the "
                                                  "module gave back a reference it never took",
                                                  d.scenario(), label)});
        held.pop_back();
    };
    add_instance("step 0: pre-initialise of instance 0");
    if (instances.empty() || out.faulted()) return;
    if (!d.step("step 0: first update cycle", [&] { return host.update_cycle(*instances[0].gauge); })) return;
    std::vector<std::uint32_t> tokens = tokens_read(d, *instances[0].gauge);
    tokens.push_back(1 + rng.below(1000));   // one the gauge does not read

    for (int n = 1; n <= kSteps && !out.faulted(); ++n) {
        const std::size_t which = rng.below(static_cast<std::uint32_t>(instances.size()));
        Instance& inst = instances[which];
        panel::GaugeInstance& g = *inst.gauge;
        const std::string on = fmt::format("instance {}", which);
        // A killed instance gets nothing but a new pre-initialise, as from
        // a host.
        const std::uint32_t op = inst.alive ? rng.below(100) : 84;
        std::string what;
        std::function<Result<void>()> action;
        if (op < 15) {
            std::string set;
            for (std::uint32_t t : tokens) {
                if (!rng.chance(60)) continue;
                const double v = rng.value();
                host.tokens().set(t, v);
                set += fmt::format(" {}={}", t, show(v));
            }
            // Values are applied by the steps that follow.
            d.step(fmt::format("step {}: tokens{}", n, set.empty() ? " unchanged" : set), [] { return Result<void>{}; });
            continue;
        } else if (op < 50) {
            what = "update cycle";
            action = [&] { return host.update_cycle(g); };
        } else if (op < 58) {
            what = "pre-update";
            action = [&] { return host.send(g, gauge::kServicePreUpdate); };
        } else if (op < 64) {
            what = "source refresh";
            action = [&] { return host.refresh_sources(g); };
        } else if (op < 74) {
            const std::size_t count = host.element_count(g);
            if (count == 0) continue;
            const std::size_t element = rng.below(static_cast<std::uint32_t>(count));
            what = fmt::format("update callback of element {}", element);
            action = [&, element]() -> Result<void> {
                auto r = host.call_update(g, element);
                if (!r) return std::unexpected(r.error());
                return {};
            };
        } else if (op < 79) {
            what = "pre-draw";
            action = [&] { return host.send(g, gauge::kServicePreDraw); };
        } else if (op < 84) {
            const std::uint32_t code = rng.chance(50) ? rng.below(20) : static_cast<std::uint32_t>(rng.next());
            if (code == gauge::kServicePreInitialize || code == gauge::kServicePreKill) continue;
            what = fmt::format("service code {:#x}", code);
            action = [&, code] { return host.send(g, code); };
        } else if (op < 89) {
            what = inst.alive ? "pre-kill" : "pre-initialise";
            const std::uint32_t code = inst.alive ? gauge::kServicePreKill : gauge::kServicePreInitialize;
            inst.alive = !inst.alive;
            action = [&, code] { return host.send(g, code); };
        } else if (op < 92) {
            if (instances.size() >= kMaxInstances) continue;
            add_instance(fmt::format("step {}: pre-initialise of new instance {}", n, instances.size()));
            continue;
        } else if (op < 95) {
            const bool attach = rng.chance(50);
            what = attach ? "thread attach" : "thread detach";
            action = [&, attach] { return attach ? host.thread_attach() : host.thread_detach(); };
        } else {
            // Another module taking or giving back a reference to the library.
            if (held.empty() || rng.chance(50)) {
                d.step(fmt::format("step {}: another holder loads {}", n, kSoundLibraryName), [&]() -> Result<void> {
                    if (std::uint32_t h = host.load_library(kSoundLibraryName)) held.push_back(h);
                    return {};
                });
            } else {
                const std::string label = fmt::format("step {}: another holder frees {}", n, kSoundLibraryName);
                d.step(label, [&]() -> Result<void> {
                    release_held(label);
                    return {};
                });
            }
            continue;
        }
        d.step(fmt::format("step {}: {} of {}", n, what, on), action);
        d.check_draw_flags(g, fmt::format("after step {}", n));
    }
    if (out.faulted()) {
        // The module's state is undefined: say how it got there and stop.
        const auto& steps = d.steps();
        const std::size_t from = steps.size() > 6 ? steps.size() - 6 : 0;
        for (std::size_t i = from; i < steps.size(); ++i) out.notes.push_back(steps[i]);
        return;
    }
    for (std::size_t i = 0; i < instances.size(); ++i) {
        if (!instances[i].alive) continue;
        d.step(fmt::format("end: pre-kill of instance {}", i),
               [&] { return host.send(*instances[i].gauge, gauge::kServicePreKill); });
    }
    while (!held.empty()) release_held("end: another holder frees its references");
    d.compare_refs(refs_before, "after every instance was killed and the other holder let go");
    d.unload();
}

const Observations& observe(Subject& s) { return s.observe("fuzz", run_fuzz); }

TestCase fuzz_test(std::string name, std::string checks, void (*run)(Subject&, Check&)) {
    return TestCase{.level = 4, .group = "fuzz", .name = "fuzz/" + name, .checks = std::move(checks), .run = run};
}

}  // namespace

std::vector<TestCase> fuzz_tests() {
    return {
        fuzz_test("random-steps", fmt::format("{} random steps: every call clean", kSteps),
                  [](Subject& s, Check& c) {
                      report_faults(observe(s), c);
                      for (const std::string& n : observe(s).notes) c.note("led there: " + n);
                  }),
        fuzz_test("draw-flags", "draw flags hold only the known bits after every step",
                  [](Subject& s, Check& c) { report(observe(s).draw_flags, c); }),
        fuzz_test("references", "references balanced when every instance is killed",
                  [](Subject& s, Check& c) { report(observe(s).references, c); }),
    };
}

}  // namespace panelhost::validate
