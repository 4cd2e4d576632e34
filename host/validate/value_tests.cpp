// Level 3: every token the gauge reads, alone at each edge value, for one
// update cycle each: the calls must stay clean, the draw flags known, and
// the outputs the same whatever came before (run forward, then backward).
#include "validate/drive.h"
#include "validate/suite.h"

#include <fmt/format.h>

#include <cmath>
#include <limits>

namespace panelhost::validate {
namespace {

using Limits = std::numeric_limits<double>;

constexpr double kEdgeValues[] = {
    0.0, -0.0, 1.0, -1.0, Limits::max(), -Limits::max(), Limits::denorm_min(), -Limits::denorm_min(),
    Limits::infinity(), -Limits::infinity(), Limits::quiet_NaN(),
};

// What the host shows of one element after a cycle.
struct Output {
    std::optional<double> result;
    std::uint32_t draw_flags = 0;
};

// Same value: NaN equals NaN (whatever its payload), -0 differs from 0.
bool same(const std::optional<double>& a, const std::optional<double>& b) {
    if (a.has_value() != b.has_value()) return false;
    if (!a) return true;
    if (std::isnan(*a) || std::isnan(*b)) return std::isnan(*a) && std::isnan(*b);
    return *a == *b && std::signbit(*a) == std::signbit(*b);
}

std::string show(const std::optional<double>& v) { return v ? validate::show(*v) : "none"; }

struct Case {
    std::uint32_t token;
    double value;
    std::string label() const { return fmt::format("token {} = {}", token, validate::show(value)); }
};

void run_values(Subject& s, Observations& out) {
    auto drive = Drive::open(s, s.sounds->dir(SoundCondition::present), "edge values", out);
    if (!drive) {
        out.steps.push_back({Severity::error, drive.error().message});
        return;
    }
    Drive& d = **drive;
    if (!d.load()) return;
    auto& host = d.host();
    panel::GaugeInstance* gauge = d.add_instance();
    if (gauge == nullptr) return;
    if (!d.step("pre-initialise", [&] { return host.send(*gauge, gauge::kServicePreInitialize); }) ||
        !d.step("first update cycle, every token 0", [&] { return host.update_cycle(*gauge); }))
        return;

    std::vector<Case> cases;
    for (std::uint32_t token : tokens_read(d, *gauge))
        for (double v : kEdgeValues) cases.push_back({token, v});

    auto run = [&](const Case& c) -> std::optional<std::vector<Output>> {
        host.tokens().clear();
        host.tokens().set(c.token, c.value);
        const std::size_t faults = out.fault_count();
        d.step(fmt::format("{}, update cycle", c.label()), [&] { return host.update_cycle(*gauge); });
        if (out.fault_count() != faults) return std::nullopt;
        d.check_draw_flags(*gauge, c.label());
        auto tree = host.elements(*gauge);
        if (!tree) return std::nullopt;
        std::vector<Output> outputs;
        for (const panel::ElementView& e : tree->elements) outputs.push_back({e.last_result, e.draw_flags});
        return outputs;
    };

    // Forward, each case after the one before it; then backward, each case
    // after the one that followed it.
    std::vector<std::vector<Output>> forward;
    for (const Case& c : cases) {
        auto o = run(c);
        if (!o) return;   // the module's state is undefined after a fault
        forward.push_back(std::move(*o));
    }
    for (std::size_t i = cases.size(); i-- > 0;) {
        auto o = run(cases[i]);
        if (!o) return;
        const std::string before_forward = i == 0 ? "the first cycle" : cases[i - 1].label();
        const std::string before_backward = i + 1 == cases.size() ? "itself" : cases[i + 1].label();
        for (std::size_t e = 0; e < o->size() && e < forward[i].size(); ++e) {
            const Output& a = forward[i][e];
            const Output& b = (*o)[e];
            if (same(a.result, b.result) && a.draw_flags == b.draw_flags) continue;
            out.other.push_back({Severity::warning,
                                 fmt::format("{}: element {} gave result {} with draw flags {:#x} after {}, but result {} "
                                             "with draw flags {:#x} after {}: its output depends on earlier inputs "
                                             "(fine if the gauge keeps state on purpose)",
                                             cases[i].label(), e, show(a.result), a.draw_flags, before_forward,
                                             show(b.result), b.draw_flags, before_backward)});
        }
    }
    d.step("pre-kill", [&] { return host.send(*gauge, gauge::kServicePreKill); });
    d.unload();
}

const Observations& observe(Subject& s) { return s.observe("values", run_values); }

TestCase value_test(std::string name, std::string checks, void (*run)(Subject&, Check&)) {
    return TestCase{.level = 3, .group = "values", .name = "values/" + name, .checks = std::move(checks), .run = run};
}

}  // namespace

std::vector<TestCase> value_tests() {
    return {
        value_test("edge-values",
                   "every token read at 0, -0, +-1, +-huge, +-subnormal, +-inf and NaN: each call returns within "
                   "budget, with the stack, registers and x87 stack clean",
                   [](Subject& s, Check& c) { report_faults(observe(s), c); }),
        value_test("draw-flags", "after every update, draw flags hold only the known bits",
                   [](Subject& s, Check& c) { report(observe(s).draw_flags, c); }),
        value_test("determinism", "the same inputs give the same outputs whatever came before",
                   [](Subject& s, Check& c) { report(observe(s).other, c); }),
    };
}

}  // namespace panelhost::validate
