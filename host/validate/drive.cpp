#include "validate/drive.h"

#include <gauge/records.h>

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <optional>

namespace panelhost::validate {
namespace {

void add(std::vector<Finding>& to, std::string what) { to.push_back({Severity::error, std::move(what)}); }

std::string str(const trace::Json& event, const char* field) {
    auto it = event.find(field);
    if (it == event.end()) return {};
    return it->is_string() ? it->get<std::string>() : it->dump();
}

std::uint32_t address(const trace::Json& event, const char* field) {
    auto it = event.find(field);
    if (it == event.end()) return 0;
    if (it->is_number_unsigned()) return it->get<std::uint32_t>();
    if (it->is_string()) return static_cast<std::uint32_t>(std::strtoul(it->get<std::string>().c_str(), nullptr, 0));
    return 0;
}

}  // namespace

bool Observations::faulted() const { return fault_count() > 0; }

std::size_t Observations::fault_count() const {
    return budget.size() + convention.size() + writes.size() + access.size() + panel.size() + imports.size() +
           steps.size();
}

void report(const std::vector<Finding>& findings, Check& check) {
    for (const Finding& f : findings) {
        if (f.severity == Severity::error)
            check.error(f.what);
        else
            check.warn(f.what);
    }
}

void report_faults(const Observations& o, Check& check) {
    for (const auto* bucket : {&o.steps, &o.budget, &o.convention, &o.writes, &o.access, &o.panel, &o.imports})
        report(*bucket, check);
}

std::vector<std::uint32_t> tokens_read(Drive& drive, panel::GaugeInstance& gauge) {
    std::vector<std::uint32_t> tokens;
    auto note = [&](std::uint32_t t) {
        if (t != 0 && std::find(tokens.begin(), tokens.end(), t) == tokens.end()) tokens.push_back(t);
    };
    if (auto tree = drive.host().elements(gauge))
        for (const panel::ElementView& e : tree->elements)
            if (e.has_source) note(e.source_token);
    for (const auto& [step, e] : drive.recorder().events())
        if (e.value("event", "") == "panel_service" && e.contains("token") && e["token"].is_number())
            note(e["token"].get<std::uint32_t>());
    return tokens;
}

std::string show(double v) {
    if (std::isnan(v)) return "nan";
    if (v == 0.0) return std::signbit(v) ? "-0" : "0";
    return fmt::format("{}", v);
}

Result<std::unique_ptr<Drive>> Drive::open(const Subject& subject, const std::filesystem::path& library_dir,
                                           std::string scenario, Observations& out, bool relocate) {
    std::unique_ptr<Drive> d(new Drive(subject, std::move(scenario), out));
    auto host = panel::Host::create({.library_dir = library_dir, .budget = kCallBudget, .relocate_all = relocate});
    if (!host) return fail("cannot start the panel host: " + host.error().message);
    d->host_ = std::move(*host);
    d->host_->trace().attach(&d->recorder_);
    // Stricter than the host's own write check, which lets any module write
    // any module's data: here a module's code may write only its own.
    Drive* self = d.get();
    d->host_->machine().set_write_watch(
        [self](std::uint32_t pc, std::uint32_t address, std::uint32_t size) { self->on_write(pc, address, size); });
    return d;
}

Drive::~Drive() {
    if (!host_) return;
    host_->machine().set_write_watch({});
    host_->trace().detach(&recorder_);
}

void Drive::on_write(std::uint32_t pc, std::uint32_t address, std::uint32_t size) {
    const std::uint64_t end = std::uint64_t{address} + size;
    if (address >= emu::kStackBase && end <= std::uint64_t{emu::kStackBase} + emu::kStackSize) return;
    if (const win::Module* writer = host_->modules().containing(pc)) {
        for (const pe::Section& s : writer->image->sections()) {
            if (!s.writable()) continue;
            const std::uint64_t lo = std::uint64_t{writer->handle} + s.rva;
            if (address >= lo && end <= lo + std::max(s.virtual_size, s.raw_size)) return;
        }
    }
    strays_.push_back({pc, address, size});
}

bool Drive::step(const std::string& label, const std::function<Result<void>()>& action) {
    const std::size_t from = recorder_.size(), strays_from = strays_.size();
    recorder_.begin(label);
    steps_.push_back(label);
    Result<void> r = action();
    const std::string message = r ? std::string() : r.error().message;
    file_events(from, strays_from, label, r ? nullptr : &message);
    return r.has_value();
}

void Drive::file_events(std::size_t from, std::size_t strays_from, const std::string& label, const std::string* error) {
    using emu::FaultKind;
    auto is = [](const std::string& kind, FaultKind k) { return kind == emu::to_string(k); };
    const std::string where = fmt::format("{}, {}", scenario_, label);
    bool explained = false;
    bool panel_error = false;            // a host stop that follows it says the same
    // A write fault at a stray write's address says the same as the stray.
    auto stray_at = [&](std::uint32_t a) {
        for (std::size_t i = strays_from; i < strays_.size(); ++i)
            if (strays_[i].address == a) return true;
        return false;
    };
    for (std::size_t i = strays_from; i < strays_.size(); ++i) {
        const StrayWrite& w = strays_[i];
        add(out_.writes, fmt::format("{}: the instruction at {:#x} ({}) wrote {} bytes at {:#x} ({}), outside its "
                                     "module's writable data and the stack",
                                     where, w.pc, place(w.pc), w.size, w.address, place(w.address)));
    }
    const auto& events = recorder_.events();
    for (std::size_t i = from; i < events.size(); ++i) {
        const trace::Json& e = events[i].event;
        const std::string name = str(e, "event");
        if (name == "fault") {
            explained = true;
            const std::string kind = str(e, "kind");
            const std::string what = fmt::format("{}: {}", where, str(e, "message"));
            if (is(kind, FaultKind::budget_exceeded))
                add(out_.budget, what);
            else if (is(kind, FaultKind::stack_unbalanced) || is(kind, FaultKind::register_clobbered) ||
                     is(kind, FaultKind::fpu_stack))
                add(out_.convention, what);
            else if (is(kind, FaultKind::write_unmapped) || is(kind, FaultKind::write_protected)) {
                if (!stray_at(address(e, "address"))) add(out_.writes, what);
            }
            else if (is(kind, FaultKind::host_stop)) {
                if (!panel_error) add(out_.steps, what);
            } else
                add(out_.access, what);
        } else if (name == "error" && e.contains("entry")) {
            explained = panel_error = true;
            add(out_.panel, fmt::format("{}: the module called entry {} of the panel-services table from {}; the host "
                                        "implements only entry {}, the variable look-up",
                                        where, str(e, "entry"), str(e, "caller"), gauge::kPanelServiceLookupVar));
        } else if (name == "error" && str(e, "what") == "unsupported import") {
            // Named by life/imports from the file; here it says why nothing ran.
            explained = true;
            add(out_.steps, fmt::format("{}: the host cannot load the module: it imports {}!{}, which the host does "
                                        "not provide",
                                        where, str(e, "dll"), str(e, "name")));
        }
        // Other error events (a library that cannot be loaded, say) are the
        // host's news, not the module's fault.
    }
    if (error != nullptr && !explained) add(out_.steps, fmt::format("{}: {}", where, *error));
}

std::string Drive::place(std::uint32_t address) const {
    if (const win::Module* m = host_->modules().containing(address)) {
        const std::uint32_t rva = address - m->handle;
        for (const pe::Section& s : m->image->sections())
            if (rva >= s.rva && rva < s.rva + std::max(s.virtual_size, s.raw_size))
                return fmt::format("{} {}{}", m->name, s.name, s.writable() || s.executable() ? "" : ", read-only");
        return m->name + " headers";
    }
    const std::string region = host_->machine().region_name(address);
    return region.empty() ? "unmapped" : region;
}

bool Drive::attach() {
    return step("loading the module (process attach)", [&]() -> Result<void> {
        auto loaded = host_->load_module(subject_.options.module);
        if (!loaded) return std::unexpected(loaded.error());
        module_ = *loaded;
        return {};
    });
}

bool Drive::load() {
    return attach() && step("writing ImportTable", [&] { return host_->write_import_table(*module_); }) &&
           step("module-initialise hook", [&] { return host_->module_init(*module_); });
}

panel::GaugeInstance* Drive::add_instance() {
    panel::GaugeInstance* gauge = nullptr;
    step("registering a gauge instance", [&]() -> Result<void> {
        auto g = host_->add_instance(*module_);
        if (!g) return std::unexpected(g.error());
        gauge = *g;
        return {};
    });
    return gauge;
}

void Drive::unload() {
    if (module_ == nullptr) return;
    step("module-deinitialise hook", [&] { return host_->module_deinit(*module_); });
    step("unloading the module (process detach)", [&] { return host_->unload_module(*module_); });
    module_ = nullptr;
    if (faulted_here()) return;
    for (const win::Module* m : host_->modules().modules())
        add(out_.references, fmt::format("{}: after the module was unloaded, {} is still loaded with {} reference(s)",
                                         scenario_, m->name, m->refs));
}

std::map<std::string, std::uint32_t> Drive::library_refs() const {
    std::map<std::string, std::uint32_t> refs;
    for (const win::Module* m : host_->modules().modules())
        if (module_ == nullptr || m->handle != module_->handle()) refs[m->name] = m->refs;
    return refs;
}

void Drive::compare_refs(const std::map<std::string, std::uint32_t>& before, const std::string& when) {
    if (faulted_here()) return;
    const auto after = library_refs();
    auto count = [](const std::map<std::string, std::uint32_t>& m, const std::string& name) -> std::uint32_t {
        auto it = m.find(name);
        return it == m.end() ? 0 : it->second;
    };
    std::map<std::string, bool> names;
    for (const auto& [n, r] : before) names[n] = true;
    for (const auto& [n, r] : after) names[n] = true;
    for (const auto& [name, unused] : names) {
        const std::uint32_t b = count(before, name), a = count(after, name);
        if (a > b)
            add(out_.references, fmt::format("{}, {}: {} holds {} reference(s), {} before the life began: the module "
                                             "took {} it did not give back",
                                             scenario_, when, name, a, b, a - b));
        else if (a < b)
            add(out_.references, fmt::format("{}, {}: {} holds {} reference(s), {} before the life began: the module "
                                             "gave back {} it never took, which can unload the library from under "
                                             "its other holders",
                                             scenario_, when, name, a, b, b - a));
    }
}

void Drive::check_draw_flags(panel::GaugeInstance& gauge, const std::string& when) {
    auto tree = host_->elements(gauge);
    if (!tree) {
        add(out_.steps, fmt::format("{}, {}: the element tree cannot be read: {}", scenario_, when, tree.error().message));
        return;
    }
    for (const panel::ElementView& e : tree->elements) {
        const std::uint32_t unknown = e.draw_flags & ~gauge::kKnownDrawFlags;
        if (unknown != 0)
            add(out_.draw_flags, fmt::format("{}, {}: element {} ({:#x}) has draw flags {:#x}: bits {:#x} are none of "
                                             "the known 0x1, 0x2, 0x4, 0x80, 0x40000000",
                                             scenario_, when, e.index, e.address, e.draw_flags, unknown));
    }
}

}  // namespace panelhost::validate
