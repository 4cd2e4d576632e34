// The panel host as a library: one emulated machine, its Windows module
// table, the panel-services table, the token store and the trace, and the
// gauge modules loaded into it. Every step of a gauge's life is a separate
// call, so tests and scripts can play any sequence:
//
//   auto host = Host::create({.library_dir = dir}).value();
//   auto* module = host->load_module("X.gau").value();   // process attach
//   host->write_import_table(*module);                    // panel services
//   host->module_init(*module);
//   auto* gauge = host->add_instance(*module).value();
//   host->send(*gauge, 4);                                 // pre-initialise
//   host->tokens().set(566, 1.0);
//   host->update_cycle(*gauge);      // 6, refresh sources, callbacks, 10
//   ElementTree tree = host->elements(*gauge).value();
//   host->send(*gauge, 12);                                // pre-kill
//   host->module_deinit(*module);
//   host->unload_module(*module);                          // process detach
//
// run_life() does exactly that list. Instances of a gauge share the module's
// records: the host writes draw flags and values into them in place, as the
// modules expect; each instance keeps only the host's own view (callback
// results, state).
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gauge/records.h>

#include "emu/error.h"
#include "emu/machine.h"
#include "panel/token_store.h"
#include "trace/trace.h"
#include "win/module_table.h"

namespace panelhost::panel {

struct HostOptions {
    // Where LoadLibraryA looks for libraries named without a path.
    std::filesystem::path library_dir = ".";
    std::uint64_t budget = 1'000'000;   // instructions per guest call
    bool relocate_all = false;          // load every image away from its preferred base
    bool count_instructions = false;    // put instruction counts into the trace
};

// One element of the tree after the host read it from guest memory.
struct ElementView {
    std::size_t index = 0;              // drawing order: parent before children
    std::uint32_t address = 0;
    std::optional<std::size_t> parent;  // index of the parent
    std::vector<std::size_t> children;  // indexes, in child-list order
    std::uint32_t depth = 0;

    std::uint32_t kind = 0;             // gauge::ElementKind
    std::uint32_t resource_id = 0;
    gauge::Point position{};
    gauge::Point pivot{};
    std::uint32_t draw_flags = 0;
    std::uint32_t failures = 0;         // failure-list address

    // needle and icon
    bool has_source = false;
    std::uint32_t source_token = 0;
    double source_value = 0.0;          // as the record holds it now
    std::uint32_t update = 0;           // update callback address, 0 when none
    std::optional<double> last_result;  // of this instance's latest callback call

    // needle
    std::vector<gauge::NonlinearityRow> table;

    // icon
    std::uint32_t switch_mode = 0;
    std::uint32_t picture_count = 0;
    std::int32_t offset = 0;
    double scale = 0.0;

    bool hidden() const { return draw_flags & gauge::kDrawHidden; }
};

struct ElementTree {
    std::vector<ElementView> elements;  // drawing order
};

struct MouseRectView {
    std::uint32_t address = 0;
    gauge::guest::MouseRect record{};
    std::optional<std::string> tooltip;   // type 4: the text its function slot names
};

// A gauge header and what hangs from it, read from guest memory.
struct GaugeView {
    std::uint32_t address = 0;
    gauge::guest::GaugeHeader header{};
    std::string name;
    std::vector<MouseRectView> mouse_rects;   // up to and including the end record
    // The first tooltip text of the mouse-area list, if any.
    std::optional<std::string> tooltip() const;
};

// A loaded gauge module (a .gau).
class GaugeModule {
public:
    const win::Module& module() const { return *module_; }
    std::uint32_t handle() const { return module_->handle; }
    const pe::Image& image() const { return *module_->image; }
    std::uint32_t linkage() const { return linkage_; }          // address of Linkage
    std::uint32_t import_table() const { return import_table_; } // address of ImportTable
    const gauge::guest::Linkage& linkage_record() const { return linkage_record_; }
    // Gauge header addresses from Linkage's table, up to the null end.
    const std::vector<std::uint32_t>& gauges() const { return gauges_; }
    bool loaded() const { return loaded_; }

private:
    friend class Host;
    const win::Module* module_ = nullptr;
    std::uint32_t linkage_ = 0, import_table_ = 0;
    gauge::guest::Linkage linkage_record_{};
    std::vector<std::uint32_t> gauges_;
    bool loaded_ = true;
};

// One registration of a gauge of a module.
class GaugeInstance {
public:
    int id() const { return id_; }
    GaugeModule& module() const { return *module_; }
    std::uint32_t header() const { return header_; }
    // The host's latest callback result per element address.
    std::optional<double> last_result(std::uint32_t element) const;

private:
    friend class Host;
    friend class UpdateCycle;
    int id_ = 0;
    GaugeModule* module_ = nullptr;
    std::uint32_t header_ = 0;
    std::vector<std::pair<std::uint32_t, double>> results_;
    // Read at add_instance(): the gauge callback and, per element in
    // drawing order, its address, kind and update callback.
    std::uint32_t callback_ = 0;
    struct Slot {
        std::uint32_t address;
        std::uint32_t kind;
        std::uint32_t update;
        std::string name;   // for faults: "update callback of element 2"
    };
    std::vector<Slot> slots_;
    void set_result(std::uint32_t element, double value);
};

class Host {
public:
    static Result<std::unique_ptr<Host>> create(HostOptions options = {});
    ~Host();
    Host(const Host&) = delete;
    Host& operator=(const Host&) = delete;

    emu::Machine& machine() { return *machine_; }
    win::ModuleTable& modules() { return *modules_; }
    const win::ModuleTable& modules() const { return *modules_; }
    TokenStore& tokens() { return tokens_; }
    trace::Trace& trace() { return trace_; }
    const HostOptions& options() const { return options_; }
    // The panel-services table in guest memory.
    std::uint32_t panel_services() const { return panels_; }

    // ---- module life
    // Maps the file and runs its entry point with process attach; finds
    // Linkage and ImportTable and reads the gauge table.
    Result<GaugeModule*> load_module(const std::filesystem::path& path);
    // Writes the panel-services table address into ImportTable entry 0.
    Result<void> write_import_table(GaugeModule& module);
    Result<void> module_init(GaugeModule& module);
    Result<void> module_deinit(GaugeModule& module);
    // Gives back the host's reference (process detach and unmap at zero).
    Result<void> unload_module(GaugeModule& module);

    // ---- gauge instances
    Result<GaugeInstance*> add_instance(GaugeModule& module, std::size_t gauge_index = 0);
    // Calls the gauge callback with (header, code, extra).
    Result<void> send(GaugeInstance& gauge, std::uint32_t code, std::uint32_t extra = 0);
    // Stores each element's source token value into its record.
    Result<void> refresh_sources(GaugeInstance& gauge);
    Result<void> refresh_source(GaugeInstance& gauge, std::size_t element);
    // Calls one element's update callback (index in drawing order); the
    // element's result, or nullopt when it has none.
    Result<std::optional<double>> call_update(GaugeInstance& gauge, std::size_t element);
    // One update cycle: pre-update (6), refresh every source, every update
    // callback in drawing order, pre-draw (10).
    Result<void> update_cycle(GaugeInstance& gauge);
    // Number of elements in drawing order.
    std::size_t element_count(const GaugeInstance& gauge) const;

    // ---- reading guest records
    Result<ElementTree> elements(const GaugeInstance& gauge) const;
    Result<GaugeView> gauge_view(std::uint32_t header) const;
    // The element tree below a gauge header, in drawing order (no instance:
    // no callback results).
    Result<ElementTree> read_tree(std::uint32_t header) const;
    Result<double> read_double(std::uint32_t address) const;
    Result<std::uint32_t> read_u32(std::uint32_t address) const;
    // The address of a module's export (by name), 0 when missing.
    std::uint32_t export_address(const GaugeModule& module, std::string_view name) const;

    // ---- another holder of a library, as a second module would
    std::uint32_t load_library(std::string_view name) { return modules_->load_library(name); }
    bool free_library(std::uint32_t handle) { return modules_->free_library(handle); }
    Result<void> thread_attach() { return modules_->notify_threads(win::kDllThreadAttach); }
    Result<void> thread_detach() { return modules_->notify_threads(win::kDllThreadDetach); }

    // Traces an "entry" event whenever guest code reaches this export of the
    // library, now and whenever the library is loaded later.
    void watch_export(std::string library, std::string name);
    // Traces a "write_outside" event for every guest write that is not to
    // the stack or a writable section of a loaded module. Slows emulation.
    void check_writes(bool on);

    // The whole life of gauge 0 of a loaded module, as the list at the top
    // of this file: import table, init hook, pre-initialise, `cycles`
    // update cycles, pre-kill, deinit hook, unload. Returns the element tree
    // as it stood after the last update cycle.
    Result<ElementTree> run_life(GaugeModule& module, int cycles);


private:
    explicit Host(HostOptions options) : options_(std::move(options)) {}
    Result<void> init();
    Result<void> check_instance(const GaugeInstance& gauge) const;
    Result<void> fault(const emu::Fault& fault);
    void arm_watches(const win::Module& module);
    void disarm_watches(const win::Module& module);
    void on_write(std::uint32_t pc, std::uint32_t address, std::uint32_t size);
    Result<void> refresh_all_once(GaugeInstance& gauge, bool& done);
    friend class UpdateCycle;

    HostOptions options_;
    std::unique_ptr<emu::Machine> machine_;
    trace::Trace trace_;
    std::unique_ptr<win::ModuleTable> modules_;
    TokenStore tokens_;
    std::uint32_t panels_ = 0;
    std::vector<std::unique_ptr<GaugeModule>> gauge_modules_;
    std::vector<std::unique_ptr<GaugeInstance>> instances_;
    struct Watch {
        std::string library, name;
        std::uint32_t base = 0;    // where the watch is set, 0 when not
        int id = 0;
    };
    std::vector<Watch> watches_;
    bool check_writes_ = false;
};

}  // namespace panelhost::panel
