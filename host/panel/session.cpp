#include "panel/session.h"

#include <algorithm>
#include <cstring>

#include "emu/strprintf.h"
#include "win/names.h"

namespace panelhost::panel {

using trace::hex;
using trace::Json;
namespace guest = gauge::guest;

namespace {

constexpr std::uint32_t kSourceOffset = 64;   // needle and icon: ModuleVar source
constexpr std::uint32_t kSourceValueOffset = kSourceOffset + offsetof(guest::ModuleVar, value);
constexpr std::size_t kMaxImportEntries = 16;

static_assert(offsetof(guest::NeedleElement, source) == kSourceOffset);
static_assert(offsetof(guest::IconElement, source) == kSourceOffset);

const char* service_name(std::uint32_t code) {
    switch (code) {
    case gauge::kServicePreInitialize: return "pre_initialize";
    case gauge::kServicePreUpdate: return "pre_update";
    case gauge::kServicePreDraw: return "pre_draw";
    case gauge::kServicePreKill: return "pre_kill";
    }
    return "other";
}

bool has_source(std::uint32_t kind) { return kind == gauge::kElementNeedle || kind == gauge::kElementIcon; }

}  // namespace

// ------------------------------------------------------------ instances

std::optional<double> GaugeInstance::last_result(std::uint32_t element) const {
    for (const auto& [address, value] : results_)
        if (address == element) return value;
    return std::nullopt;
}

void GaugeInstance::set_result(std::uint32_t element, double value) {
    for (auto& r : results_)
        if (r.first == element) {
            r.second = value;
            return;
        }
    results_.emplace_back(element, value);
}

std::optional<std::string> GaugeView::tooltip() const {
    for (const auto& r : mouse_rects)
        if (r.tooltip) return r.tooltip;
    return std::nullopt;
}

// ------------------------------------------------------------ life of the host

Result<std::unique_ptr<Host>> Host::create(HostOptions options) {
    std::unique_ptr<Host> host(new Host(std::move(options)));
    if (auto r = host->init(); !r) return std::unexpected(r.error());
    return host;
}

Host::~Host() = default;

Result<void> Host::init() {
    auto machine = emu::Machine::create({.default_budget = options_.budget,
                                         .count_instructions = options_.count_instructions});
    if (!machine) return std::unexpected(machine.error());
    machine_ = std::move(*machine);
    modules_ = std::make_unique<win::ModuleTable>(
        *machine_, trace_, win::LoaderOptions{.library_dir = options_.library_dir, .relocate_all = options_.relocate_all});
    if (auto r = modules_->install(); !r) return r;
    modules_->on_map([this](const win::Module& m) { arm_watches(m); });
    modules_->on_unmap([this](const win::Module& m) { disarm_watches(m); });

    // The panel-services table: entry 40 is the variable look-up; every
    // other entry is a stub that ends the calling guest code with an error
    // naming the entry (its arguments are unknown, so it cannot return).
    std::uint32_t table[gauge::kPanelServiceCount] = {};
    for (std::uint32_t i = 0; i < gauge::kPanelServiceCount; ++i) {
        emu::StubSpec stub;
        if (i == gauge::kPanelServiceLookupVar) {
            stub = {.name = "lookup_var", .arg_count = 1, .handler = [this](emu::StubCall& c) -> std::uint32_t {
                        std::uint32_t var = c.arg(0);
                        auto token = machine_->read_as<std::uint32_t>(var + offsetof(guest::ModuleVar, token));
                        if (!token) {
                            c.fail(strprintf("cannot read the module variable at 0x%08x", var));
                            return 0;
                        }
                        double value = tokens_.get(*token);
                        if (!machine_->write_as(var + offsetof(guest::ModuleVar, value), value)) {
                            c.fail(strprintf("cannot write the module variable at 0x%08x", var));
                            return 0;
                        }
                        if (trace_.on())
                            trace_.emit("panel_service", {{"entry", gauge::kPanelServiceLookupVar}, {"name", "lookup_var"},
                                                          {"var", hex(var)}, {"token", *token},
                                                          {"value", trace::value(value)}});
                        return 0;
                    }};
        } else {
            stub = {.name = strprintf("panel service %u", i), .arg_count = 0,
                    .handler = [this, i](emu::StubCall& c) -> std::uint32_t {
                        if (trace_.on())
                            trace_.emit("error", {{"what", "unknown panel service"}, {"entry", i},
                                                  {"caller", hex(c.return_address())}});
                        c.fail(strprintf("call of panel-service entry %u, which the host does not provide", i));
                        return 0;
                    }};
        }
        auto address = machine_->add_stub(std::move(stub));
        if (!address) return std::unexpected(address.error());
        table[i] = *address;
    }
    auto at = machine_->allocate(sizeof table, 16);
    if (!at) return std::unexpected(at.error());
    panels_ = *at;
    return machine_->write_as(panels_, table);
}

Result<void> Host::fault(const emu::Fault& f) {
    if (trace_.on())
        trace_.emit("fault", {{"function", f.function}, {"kind", std::string(emu::to_string(f.kind))},
                              {"pc", hex(f.pc)}, {"address", hex(f.address)}, {"message", f.message()}});
    return fail(f.message());
}

// ------------------------------------------------------------ modules

Result<GaugeModule*> Host::load_module(const std::filesystem::path& path) {
    auto loaded = modules_->load_file(path);
    if (!loaded) return std::unexpected(loaded.error());
    auto gm = std::unique_ptr<GaugeModule>(new GaugeModule());
    gm->module_ = *loaded;
    const pe::Image& image = *gm->module_->image;
    auto address_of = [&](const char* name) -> std::uint32_t {
        const pe::Export* e = image.find_export(name);
        return e && !e->forwarder ? gm->module_->handle + e->rva : 0;
    };
    gm->linkage_ = address_of("Linkage");
    gm->import_table_ = address_of("ImportTable");
    auto give_back = [&](std::string why) -> Result<GaugeModule*> {
        modules_->free_library(gm->module_->handle);
        return fail(why);
    };
    if (!gm->linkage_) return give_back("it does not export Linkage");
    if (!gm->import_table_) return give_back("it does not export ImportTable");
    auto linkage = machine_->read_as<guest::Linkage>(gm->linkage_);
    if (!linkage) return give_back("cannot read Linkage: " + linkage.error().message);
    gm->linkage_record_ = *linkage;
    // The gauge table runs on to a null entry.
    for (std::uint32_t i = 0; i < 64; ++i) {
        auto header = machine_->read_as<std::uint32_t>(gm->linkage_ + offsetof(guest::Linkage, gauges) + 4 * i);
        if (!header) return give_back("the gauge table of Linkage has no null end");
        if (*header == 0) break;
        gm->gauges_.push_back(*header);
    }
    gauge_modules_.push_back(std::move(gm));
    return gauge_modules_.back().get();
}

Result<void> Host::write_import_table(GaugeModule& module) {
    if (!module.loaded_) return fail("the module is not loaded");
    bool written = false;
    for (std::size_t i = 0; i < kMaxImportEntries; ++i) {
        std::uint32_t entry = module.import_table_ + static_cast<std::uint32_t>(i * sizeof(gauge::ImportEntryT<gauge::GuestAbi>));
        auto id = machine_->read_as<std::uint32_t>(entry);
        if (!id) return fail("cannot read ImportTable: " + id.error().message);
        if (*id == 0) break;
        if (*id == gauge::kImportPanelServices) {
            if (auto r = machine_->write_as(entry + 4, panels_); !r) return fail("cannot write ImportTable: " + r.error().message);
            written = true;
        }
    }
    if (trace_.on())
        trace_.emit("import_table", {{"module", module.module().name}, {"address", hex(module.import_table_)},
                                     {"panels", written ? Json(hex(panels_)) : Json(nullptr)}});
    if (!written) return fail("ImportTable has no panel-services entry (id 0x0F)");
    return {};
}

namespace {

Result<void> call_hook(Host& host, GaugeModule& module, std::uint32_t address, const char* name,
                       const std::function<Result<void>(const emu::Fault&)>& on_fault) {
    if (!module.loaded()) return fail("the module is not loaded");
    Json e = {{"name", name}, {"module", module.module().name}, {"address", hex(address)}};
    if (!address) {
        if (host.trace().on()) host.trace().emit("hook", std::move(e));
        return {};
    }
    auto r = host.machine().call({.name = name, .address = address});
    if (!r) return on_fault(r.error());
    if (host.trace().on()) {
        if (host.machine().counting()) e["instructions"] = r->instructions;
        host.trace().emit("hook", std::move(e));
    }
    return {};
}

}  // namespace

Result<void> Host::module_init(GaugeModule& module) {
    return call_hook(*this, module, module.linkage_record_.module_init, "module_init",
                     [this](const emu::Fault& f) { return fault(f); });
}

Result<void> Host::module_deinit(GaugeModule& module) {
    return call_hook(*this, module, module.linkage_record_.module_deinit, "module_deinit",
                     [this](const emu::Fault& f) { return fault(f); });
}

Result<void> Host::unload_module(GaugeModule& module) {
    if (!module.loaded_) return fail("the module is not loaded");
    module.loaded_ = false;
    if (!modules_->free_library(module.handle())) return fail("the module was already unloaded");
    return {};
}

std::uint32_t Host::export_address(const GaugeModule& module, std::string_view name) const {
    return modules_->proc_address(module.handle(), name);
}

// ------------------------------------------------------------ instances

Result<GaugeInstance*> Host::add_instance(GaugeModule& module, std::size_t gauge_index) {
    if (!module.loaded_) return fail("the module is not loaded");
    if (gauge_index >= module.gauges_.size())
        return fail(strprintf("the module has no gauge %zu (it has %zu)", gauge_index, module.gauges_.size()));
    std::uint32_t header = module.gauges_[gauge_index];
    auto hdr = machine_->read_as<guest::GaugeHeader>(header);
    if (!hdr) return fail("cannot read the gauge header: " + hdr.error().message);
    auto tree = read_tree(header);
    if (!tree) return std::unexpected(tree.error());

    auto g = std::unique_ptr<GaugeInstance>(new GaugeInstance());
    g->id_ = static_cast<int>(instances_.size());
    g->module_ = &module;
    g->header_ = header;
    g->callback_ = hdr->callback;
    for (const auto& e : tree->elements)
        g->slots_.push_back({e.address, e.kind, e.update, strprintf("update callback of element %zu", e.index)});
    instances_.push_back(std::move(g));
    return instances_.back().get();
}

Result<void> Host::check_instance(const GaugeInstance& gauge) const {
    if (!gauge.module_->loaded_) return fail("the gauge's module is not loaded");
    return {};
}

std::size_t Host::element_count(const GaugeInstance& gauge) const { return gauge.slots_.size(); }

Result<void> Host::send(GaugeInstance& gauge, std::uint32_t code, std::uint32_t extra) {
    if (auto r = check_instance(gauge); !r) return r;
    if (trace_.on()) trace_.emit("service", {{"instance", gauge.id_}, {"code", code}, {"name", service_name(code)}});
    if (!gauge.callback_) return {};
    std::uint32_t args[] = {gauge.header_, code, extra};
    auto r = machine_->call({.name = "GaugeCallback", .address = gauge.callback_, .args = args});
    if (!r) return fault(r.error());
    return {};
}

Result<void> Host::refresh_source(GaugeInstance& gauge, std::size_t element) {
    if (auto r = check_instance(gauge); !r) return r;
    if (element >= gauge.slots_.size()) return fail(strprintf("there is no element %zu", element));
    const auto& slot = gauge.slots_[element];
    if (!has_source(slot.kind)) return {};
    auto token = machine_->read_as<std::uint32_t>(slot.address + kSourceOffset);
    if (!token) return fail(strprintf("element %zu: cannot read its source variable", element));
    double value = tokens_.get(*token);
    if (auto r = machine_->write_as(slot.address + kSourceValueOffset, value); !r)
        return fail(strprintf("element %zu: cannot write its source variable", element));
    if (trace_.on())
        trace_.emit("refresh", {{"instance", gauge.id_}, {"element", element}, {"token", *token},
                                {"value", trace::value(value)}});
    return {};
}

Result<void> Host::refresh_sources(GaugeInstance& gauge) {
    for (std::size_t i = 0; i < gauge.slots_.size(); ++i)
        if (auto r = refresh_source(gauge, i); !r) return r;
    return {};
}

namespace {

Json callback_event(Host& host, const GaugeInstance& gauge, std::size_t element, std::uint32_t address,
                    std::uint32_t update, double result, const emu::CallResult& r) {
    auto flags = host.machine().read_as<std::uint32_t>(address + offsetof(guest::ElementHeader, draw_flags));
    Json e = {{"instance", gauge.id()}, {"element", element}, {"address", hex(update)},
              {"result", trace::value(result)}, {"flags", flags ? Json(hex(*flags)) : Json(nullptr)}};
    if (host.machine().counting()) e["instructions"] = r.instructions;
    return e;
}

}  // namespace

Result<std::optional<double>> Host::call_update(GaugeInstance& gauge, std::size_t element) {
    if (auto r = check_instance(gauge); !r) return std::unexpected(r.error());
    if (element >= gauge.slots_.size()) return fail(strprintf("there is no element %zu", element));
    const auto& slot = gauge.slots_[element];
    if (!has_source(slot.kind) || !slot.update) return std::optional<double>{};
    std::uint32_t args[] = {slot.address};
    auto r = machine_->call({.name = slot.name, .address = slot.update, .args = args, .returns = emu::Returns::float64});
    if (!r) return std::unexpected(fault(r.error()).error());
    gauge.set_result(slot.address, r->st0);
    if (trace_.on()) trace_.emit("callback", callback_event(*this, gauge, element, slot.address, slot.update, r->st0, *r));
    return std::optional<double>(r->st0);
}

// One update cycle as one emulation run: pre-update, then (host work) the
// refresh of every source, each update callback, pre-draw.
class UpdateCycle final : public emu::CallSequence {
public:
    UpdateCycle(Host& host, GaugeInstance& gauge) : host_(host), gauge_(gauge) {
        for (std::size_t i = 0; i < gauge.slots_.size(); ++i)
            if (has_source(gauge.slots_[i].kind) && gauge.slots_[i].update) callbacks_.push_back(i);
    }
    std::size_t size() const override { return callbacks_.size() + 2; }

    Result<emu::CallSpec> before(std::size_t i) override {
        if (i == 0 || i == size() - 1) {
            std::uint32_t code = i == 0 ? gauge::kServicePreUpdate : gauge::kServicePreDraw;
            if (i == size() - 1)
                if (auto r = host_.refresh_all_once(gauge_, refreshed_); !r) return std::unexpected(r.error());
            if (host_.trace_.on())
                host_.trace_.emit("service", {{"instance", gauge_.id_}, {"code", code}, {"name", service_name(code)}});
            args_[0] = gauge_.header_;
            args_[1] = code;
            args_[2] = 0;
            return emu::CallSpec{.name = "GaugeCallback", .address = gauge_.callback_, .args = std::span(args_, 3)};
        }
        if (auto r = host_.refresh_all_once(gauge_, refreshed_); !r) return std::unexpected(r.error());
        const auto& slot = gauge_.slots_[callbacks_[i - 1]];
        args_[0] = slot.address;
        return emu::CallSpec{.name = slot.name, .address = slot.update, .args = std::span(args_, 1),
                             .returns = emu::Returns::float64};
    }

    void after(std::size_t i, const emu::CallResult& r) override {
        if (i == 0 || i == size() - 1) return;
        std::size_t element = callbacks_[i - 1];
        const auto& slot = gauge_.slots_[element];
        gauge_.set_result(slot.address, r.st0);
        if (host_.trace_.on())
            host_.trace_.emit("callback", callback_event(host_, gauge_, element, slot.address, slot.update, r.st0, r));
    }

private:
    Host& host_;
    GaugeInstance& gauge_;
    std::vector<std::size_t> callbacks_;
    std::uint32_t args_[3] = {};
    bool refreshed_ = false;
};

Result<void> Host::refresh_all_once(GaugeInstance& gauge, bool& done) {
    if (done) return {};
    done = true;
    return refresh_sources(gauge);
}

Result<void> Host::update_cycle(GaugeInstance& gauge) {
    if (auto r = check_instance(gauge); !r) return r;
    if (!gauge.callback_) {
        // No gauge callback: only the host's own part of the cycle.
        if (auto r = refresh_sources(gauge); !r) return r;
        for (std::size_t i = 0; i < gauge.slots_.size(); ++i)
            if (auto r = call_update(gauge, i); !r) return std::unexpected(r.error());
        return {};
    }
    UpdateCycle cycle(*this, gauge);
    if (auto r = machine_->run(cycle); !r) return fault(r.error());
    return {};
}

Result<ElementTree> Host::elements(const GaugeInstance& gauge) const {
    if (auto r = check_instance(gauge); !r) return std::unexpected(r.error());
    auto tree = read_tree(gauge.header_);
    if (!tree) return tree;
    for (auto& e : tree->elements) e.last_result = gauge.last_result(e.address);
    return tree;
}

Result<double> Host::read_double(std::uint32_t address) const { return machine_->read_as<double>(address); }
Result<std::uint32_t> Host::read_u32(std::uint32_t address) const { return machine_->read_as<std::uint32_t>(address); }

// ------------------------------------------------------------ observation

void Host::watch_export(std::string library, std::string name) {
    watches_.push_back(Watch{std::move(library), std::move(name)});
    for (const win::Module* m : modules_->modules()) arm_watches(*m);
}

void Host::arm_watches(const win::Module& module) {
    for (auto& w : watches_) {
        if (w.base || !win::same_name(win::ModuleTable::library_file_name(w.library), module.name)) continue;
        const pe::Export* e = module.image->find_export(w.name);
        if (!e || e->forwarder) continue;
        auto id = machine_->add_code_watch(module.handle + e->rva, [this, lib = module.name, name = w.name](std::uint32_t) {
            if (trace_.on()) trace_.emit("entry", {{"library", lib}, {"name", name}});
        });
        if (!id) continue;
        w.base = module.handle;
        w.id = *id;
    }
}

void Host::disarm_watches(const win::Module& module) {
    for (auto& w : watches_)
        if (w.base == module.handle) {
            machine_->remove_code_watch(w.id);
            w.base = 0;
            w.id = 0;
        }
}

void Host::check_writes(bool on) {
    check_writes_ = on;
    if (!on) {
        machine_->set_write_watch({});
        return;
    }
    machine_->set_write_watch([this](std::uint32_t pc, std::uint32_t address, std::uint32_t size) { on_write(pc, address, size); });
}

void Host::on_write(std::uint32_t pc, std::uint32_t address, std::uint32_t size) {
    std::uint64_t end = std::uint64_t{address} + size;
    if (address >= emu::kStackBase && end <= emu::kStackBase + emu::kStackSize) return;
    for (const win::Module* m : modules_->modules()) {
        for (const auto& s : m->image->sections()) {
            if (!s.writable()) continue;
            std::uint64_t lo = std::uint64_t{m->handle} + s.rva;
            std::uint64_t hi = lo + std::max(s.virtual_size, s.raw_size);
            if (address >= lo && end <= hi) return;
        }
    }
    if (trace_.on()) trace_.emit("write_outside", {{"pc", hex(pc)}, {"address", hex(address)}, {"size", size},
                                                   {"region", machine_->region_name(address)}});
}

}  // namespace panelhost::panel
