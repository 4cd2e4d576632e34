// Level 5: endurance. Many lives within one load, many loads, several
// instances at once; after each, no reference, mapped memory or module
// handle may be left behind.
#include "validate/drive.h"
#include "validate/suite.h"

#include <fmt/format.h>

namespace panelhost::validate {
namespace {

constexpr int kLives = 20;
constexpr int kReloads = 8;
constexpr int kCyclesPerLife = 3;
constexpr std::size_t kInstances = 3;

std::unique_ptr<Drive> open_drive(Subject& s, std::string scenario, Observations& out) {
    auto d = Drive::open(s, s.sounds->dir(SoundCondition::present), std::move(scenario), out);
    if (!d) {
        out.steps.push_back({Severity::error, d.error().message});
        return nullptr;
    }
    return std::move(*d);
}

// One life of `gauge` (pre-initialise, cycles, pre-kill); false after a fault.
bool life(Drive& d, panel::GaugeInstance& gauge, const std::string& label) {
    auto& host = d.host();
    const std::size_t faults = d.out().fault_count();
    d.step(label + ": pre-initialise", [&] { return host.send(gauge, gauge::kServicePreInitialize); });
    for (int c = 1; c <= kCyclesPerLife && d.out().fault_count() == faults; ++c)
        d.step(fmt::format("{}: update cycle {}", label, c), [&] { return host.update_cycle(gauge); });
    d.step(label + ": pre-kill", [&] { return host.send(gauge, gauge::kServicePreKill); });
    return d.out().fault_count() == faults;
}

void run_lives(Subject& s, Observations& out) {
    auto d = open_drive(s, fmt::format("{} lives in one load", kLives), out);
    if (!d || !d->load()) return;
    panel::GaugeInstance* gauge = d->add_instance();
    if (gauge == nullptr) return;
    const auto before = d->library_refs();
    for (int i = 1; i <= kLives; ++i) {
        const std::size_t refs = out.references.size();
        const std::string label = fmt::format("life {}", i);
        if (!life(*d, *gauge, label)) break;
        d->compare_refs(before, "after " + label);
        if (out.references.size() != refs) break;   // each further life would repeat it
    }
    d->unload();
}

void run_reloads(Subject& s, Observations& out) {
    auto d = open_drive(s, fmt::format("{} loads", kReloads), out);
    if (!d) return;
    for (int i = 1; i <= kReloads; ++i) {
        const std::size_t findings = out.fault_count() + out.references.size();
        if (!d->load()) break;
        const std::uint32_t base = d->module()->handle();
        const std::uint32_t size = d->module()->module().size;
        panel::GaugeInstance* gauge = d->add_instance();
        if (gauge == nullptr) break;
        life(*d, *gauge, fmt::format("load {}", i));
        d->unload();
        if (!d->host().machine().is_free(base, size))
            out.references.push_back({Severity::error, fmt::format("{}, load {}: after unloading, the module's image at "
                                                                   "{:#x} ({} bytes) is still mapped",
                                                                   d->scenario(), i, base, size)});
        if (out.fault_count() + out.references.size() != findings) break;
    }
}

void run_instances(Subject& s, Observations& out) {
    auto d = open_drive(s, fmt::format("{} instances in one load", kInstances), out);
    if (!d || !d->load()) return;
    auto& host = d->host();
    std::vector<panel::GaugeInstance*> gauges;
    for (std::size_t i = 0; i < kInstances; ++i)
        if (panel::GaugeInstance* g = d->add_instance()) gauges.push_back(g);
    if (gauges.size() != kInstances) return d->unload();
    const auto before = d->library_refs();
    for (std::size_t i = 0; i < gauges.size(); ++i)
        d->step(fmt::format("instance {}: pre-initialise", i),
                [&] { return host.send(*gauges[i], gauge::kServicePreInitialize); });
    // Kill them in an order other than their creation, cycling the rest
    // between kills.
    const std::size_t kill_order[] = {1, 0, 2};
    std::vector<bool> alive(gauges.size(), true);
    for (std::size_t k : kill_order) {
        for (int round = 1; round <= kCyclesPerLife && !out.faulted(); ++round)
            for (std::size_t i = 0; i < gauges.size(); ++i)
                if (alive[i])
                    d->step(fmt::format("instance {}: update cycle", i), [&] { return host.update_cycle(*gauges[i]); });
        if (out.faulted()) break;
        d->step(fmt::format("instance {}: pre-kill", k), [&] { return host.send(*gauges[k], gauge::kServicePreKill); });
        alive[k] = false;
    }
    d->compare_refs(before, "after every instance was killed");
    d->unload();
}

TestCase endurance_test(std::string name, std::string checks, const char* scenario,
                        void (*scenario_run)(Subject&, Observations&)) {
    return TestCase{.level = 5, .group = "endurance", .name = "endurance/" + name, .checks = std::move(checks),
                    .run = [scenario, scenario_run](Subject& s, Check& check) {
                        const Observations& o = s.observe(scenario, scenario_run);
                        report_faults(o, check);
                        report(o.references, check);
                        report(o.draw_flags, check);
                    }};
}

}  // namespace

std::vector<TestCase> endurance_tests() {
    return {
        endurance_test("lives", fmt::format("{} lives in one load, references balanced after each", kLives),
                       "endurance-lives", run_lives),
        endurance_test("reloads", fmt::format("{} loads and unloads, nothing left mapped or loaded", kReloads),
                       "endurance-reloads", run_reloads),
        endurance_test("instances", fmt::format("{} instances at once, killed out of order", kInstances),
                       "endurance-instances", run_instances),
    };
}

}  // namespace panelhost::validate
