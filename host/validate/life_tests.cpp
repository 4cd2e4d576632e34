// Level 2: the module's life under the host. Three scenarios run once per
// pass: the entry point alone (all four reasons), the hooks, and one whole
// life under each sound-library condition. The tests read what they saw,
// each fault filed under the one test that names its kind.
#include "validate/drive.h"
#include "validate/suite.h"

#include <fmt/format.h>

#include <cstring>

namespace panelhost::validate {
namespace {

constexpr int kLifeCycles = 3;

// Service codes a host may send that need no answer (pre-draw, 10, is sent
// by every update cycle).
constexpr std::uint32_t kOtherServiceCodes[] = {0, 1, 2, 3, 5, 7, 8, 9, 11, 13, 14, 15, 16, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFF};

std::string code_name(std::uint32_t code) {
    return code > 0xFFFF ? fmt::format("service code {:#x}", code) : fmt::format("service code {}", code);
}

std::unique_ptr<Drive> open_drive(Subject& s, const std::filesystem::path& dir, std::string scenario, Observations& out) {
    auto drive = Drive::open(s, dir, std::move(scenario), out);
    if (!drive) {
        out.steps.push_back({Severity::error, drive.error().message});
        return nullptr;
    }
    return std::move(*drive);
}

// Entry-point answers the trace recorded for the module itself.
void check_entry_answers(const Drive& d, const std::string& name, Observations& out) {
    for (const auto& [step, e] : d.recorder().events()) {
        if (e.value("event", "") != "library" || e.value("name", "") != name) continue;
        const std::string action = e.value("action", "");
        if (action != "detach" && action != "thread_attach" && action != "thread_detach") continue;
        // The system ignores these answers; only process attach can refuse.
        auto result = e.find("result");
        if (result != e.end() && result->is_number() && result->get<std::int64_t>() == 0)
            out.other.push_back({Severity::warning, fmt::format("{}: the entry point answered 0 (failure) to {}", step, action)});
    }
}

void run_entry(Subject& s, Observations& out) {
    auto d = open_drive(s, s.sounds->dir(SoundCondition::present), "entry point", out);
    if (!d) return;
    for (const pe::Import& i : s.image->imports()) {
        if (i.by_ordinal)
            out.imports.push_back({Severity::error, fmt::format("{} is imported by ordinal {}; the host binds imports by name",
                                                                i.dll, i.ordinal)});
        else if (d->host().modules().stub_address(i.dll, i.name) == 0)
            out.imports.push_back({Severity::error, fmt::format("{}!{} is imported, but the host provides only "
                                                                "LoadLibraryA, GetModuleHandleA, GetProcAddress and "
                                                                "FreeLibrary of KERNEL32",
                                                                i.dll, i.name)});
    }
    auto& host = d->host();
    if (!d->attach()) return;
    panel::GaugeModule* module = d->module();
    const std::string name = module->module().name;
    // The entry point answers and does nothing else: all the module's work
    // happens inside the host's calls.
    for (const auto& [name, refs] : d->library_refs())
        out.other.push_back({Severity::warning, fmt::format("process attach loaded {} ({} reference(s)); an entry point "
                                                            "that loads libraries runs under the system's loader lock",
                                                            name, refs)});
    d->step("thread attach", [&] { return host.thread_attach(); });
    d->step("thread detach", [&] { return host.thread_detach(); });
    d->step("process detach", [&] { return host.unload_module(*module); });
    for (const win::Module* m : host.modules().modules())
        out.references.push_back({Severity::error, fmt::format("entry point: after loading and unloading the module "
                                                               "without any gauge call, {} is still loaded ({} reference(s))",
                                                               m->name, m->refs)});
    check_entry_answers(*d, name, out);
}

void run_hooks(Subject& s, Observations& out) {
    auto d = open_drive(s, s.sounds->dir(SoundCondition::present), "hooks", out);
    if (!d || !d->load()) return;
    d->unload();
}

// One whole life under one library condition: pre-initialise, update
// cycles (pre-update, source refresh, update callbacks, pre-draw), the
// codes that need no answer, pre-kill; references compared before and after.
void run_life(Subject& s, SoundCondition condition, Observations& out) {
    auto d = open_drive(s, s.sounds->dir(condition), std::string(describe(condition)), out);
    if (!d || !d->load()) return;
    auto& host = d->host();
    if (panel::GaugeInstance* gauge = d->add_instance()) {
        const auto before = d->library_refs();
        d->step("pre-initialise", [&] { return host.send(*gauge, gauge::kServicePreInitialize); });
        for (int cycle = 1; cycle <= kLifeCycles; ++cycle) {
            const std::size_t faults = out.fault_count();
            d->step(fmt::format("update cycle {}", cycle), [&] { return host.update_cycle(*gauge); });
            if (cycle == 1)
                for (std::uint32_t code : kOtherServiceCodes)
                    d->step(code_name(code), [&] { return host.send(*gauge, code); });
            // After a fault the module's state is undefined: further cycles
            // would only repeat it.
            if (out.fault_count() != faults) break;
        }
        d->step("pre-kill", [&] { return host.send(*gauge, gauge::kServicePreKill); });
        d->compare_refs(before, "after pre-kill");
    }
    d->unload();
}

// What the host shows after each cycle: per element, the callback's result
// and the draw flags.
using Shown = std::vector<std::pair<std::optional<double>, std::uint32_t>>;

// One life at the preferred base and one away from it, with the same token
// values; a module whose references are not all relocated shows different
// outputs or faults in the second.
void run_relocated(Subject& s, Observations& out) {
    constexpr double kValues[] = {0.0, 1.0, -1.0, 0.5, 1000.0, 15001.0};
    std::vector<Shown> shown[2];
    std::uint32_t bases[2] = {};
    for (int relocate = 0; relocate < 2; ++relocate) {
        const std::string scenario = relocate ? "loaded away from its preferred base" : "loaded at its preferred base";
        auto drive = Drive::open(s, s.sounds->dir(SoundCondition::present), scenario, out, relocate == 1);
        if (!drive) {
            out.steps.push_back({Severity::error, drive.error().message});
            return;
        }
        Drive& d = **drive;
        if (!d.load()) return;
        bases[relocate] = d.module()->handle();
        auto& host = d.host();
        panel::GaugeInstance* gauge = d.add_instance();
        if (gauge == nullptr) return;
        d.step("pre-initialise", [&] { return host.send(*gauge, gauge::kServicePreInitialize); });
        std::vector<std::uint32_t> tokens;
        for (double v : kValues) {
            for (std::uint32_t t : tokens) host.tokens().set(t, v);
            if (!d.step(fmt::format("update cycle, tokens at {}", show(v)), [&] { return host.update_cycle(*gauge); }))
                return;
            if (tokens.empty()) tokens = tokens_read(d, *gauge);
            auto tree = host.elements(*gauge);
            if (!tree) return;
            Shown now;
            for (const panel::ElementView& e : tree->elements) now.push_back({e.last_result, e.draw_flags});
            shown[relocate].push_back(std::move(now));
        }
        d.step("pre-kill", [&] { return host.send(*gauge, gauge::kServicePreKill); });
        d.unload();
    }
    if (bases[0] == bases[1])
        out.other.push_back({Severity::warning, fmt::format("the host could not load the module away from its preferred "
                                                            "base {:#x}; relocation is unchecked",
                                                            bases[0])});
    auto same = [](const std::optional<double>& a, const std::optional<double>& b) {
        if (a.has_value() != b.has_value()) return false;
        return !a || std::memcmp(&*a, &*b, sizeof(double)) == 0;
    };
    for (std::size_t c = 0; c < shown[0].size() && c < shown[1].size(); ++c)
        for (std::size_t e = 0; e < shown[0][c].size() && e < shown[1][c].size(); ++e) {
            const auto& [r0, f0] = shown[0][c][e];
            const auto& [r1, f1] = shown[1][c][e];
            if (same(r0, r1) && f0 == f1) continue;
            out.other.push_back({Severity::error,
                                 fmt::format("cycle {}, element {}: result {} and draw flags {:#x} at the preferred base "
                                             "{:#x}, but result {} and draw flags {:#x} at {:#x}: some reference is not "
                                             "relocated",
                                             c + 1, e, r0 ? show(*r0) : "none", f0, bases[0], r1 ? show(*r1) : "none",
                                             f1, bases[1])});
        }
}

void run_lives(Subject& s, Observations& out) {
    for (SoundCondition c : kSoundConditions) run_life(s, c, out);
}

// The three scenarios, each run once per pass.
struct Level2 {
    const Observations& entry;
    const Observations& hooks;
    const Observations& lives;
    const Observations& relocated;
};
Level2 observe(Subject& s) {
    return {s.observe("entry", run_entry), s.observe("hooks", run_hooks), s.observe("lives", run_lives),
            s.observe("relocated", run_relocated)};
}

// A test reporting one kind of finding from every scenario.
TestCase by_kind(std::string name, std::string checks, std::vector<Finding> Observations::*bucket) {
    return TestCase{.level = 2, .group = "life", .name = "life/" + name, .checks = std::move(checks),
                    .run = [bucket](Subject& s, Check& check) {
                        const Level2 l = observe(s);
                        for (const Observations* o : {&l.entry, &l.hooks, &l.lives, &l.relocated}) report(o->*bucket, check);
                    }};
}

// A test reporting what one scenario saw besides the faults filed by kind.
TestCase by_scenario(std::string name, std::string checks, const Observations& (*pick)(const Level2&)) {
    return TestCase{.level = 2, .group = "life", .name = "life/" + name, .checks = std::move(checks),
                    .run = [pick](Subject& s, Check& check) {
                        const Observations& o = pick(observe(s));
                        report(o.steps, check);
                        report(o.other, check);
                    }};
}

}  // namespace

std::vector<TestCase> life_tests() {
    return {
        by_kind("imports", "no import outside what the host's module table provides", &Observations::imports),
        by_scenario("entry-point", "process attach, thread attach and detach, process detach answered with success",
                    [](const Level2& l) -> const Observations& { return l.entry; }),
        by_scenario("hooks", "ImportTable written, module-initialise and module-deinitialise hooks return",
                    [](const Level2& l) -> const Observations& { return l.hooks; }),
        by_scenario("services", "pre-initialise, update cycles, pre-draw, other codes and pre-kill with the sound "
                                "library present, absent and lacking entries",
                    [](const Level2& l) -> const Observations& { return l.lives; }),
        by_scenario("relocated", "the same outputs when loaded away from the preferred base",
                    [](const Level2& l) -> const Observations& { return l.relocated; }),
        by_kind("references", "library references balanced at the end of each life, nothing left after unload",
                &Observations::references),
        by_kind("panel-services", "no panel-services entry other than those the host implements", &Observations::panel),
        by_kind("call-budget", "every guest call returns within its instruction budget", &Observations::budget),
        by_kind("calling-convention", "stack popped as stdcall, callee-saved registers kept, x87 stack clean",
                &Observations::convention),
        by_kind("memory-writes", "no write outside the module's writable data, the records it was given and the stack",
                &Observations::writes),
        by_kind("memory-access", "no other invalid memory access or instruction", &Observations::access),
    };
}

}  // namespace panelhost::validate
