// Driving a module through the panel host for the validator: one host per
// scenario, its trace recorded with the step that produced each event, and
// every fault, refused step and stray write filed under the test that
// names it.
#pragma once

#include "panel/session.h"
#include "trace/trace.h"
#include "validate/check.h"
#include "validate/subject.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace panelhost::validate {

// Instructions a single guest call may take. The gauges this host drives
// need a few hundred; a call that takes this many is taken to loop.
inline constexpr std::uint64_t kCallBudget = 200'000;

// What a module did wrong, filed by kind. Each kind is reported by one
// test, so one fault is named once.
struct Observations {
    std::vector<Finding> budget;       // a call ran out of instructions
    std::vector<Finding> convention;   // stack, callee-saved registers, x87 stack
    std::vector<Finding> writes;       // writes outside the module's writable data and the stack
    std::vector<Finding> access;       // other invalid accesses and instructions
    std::vector<Finding> panel;        // panel-services entries the host does not implement
    std::vector<Finding> imports;      // imports the host does not provide (read from the file)
    std::vector<Finding> steps;        // host steps refused for another reason
    std::vector<Finding> references;   // library references or modules left behind
    std::vector<Finding> draw_flags;   // bits outside the known set
    std::vector<Finding> other;        // per-test findings
    std::vector<std::string> notes;    // context for the findings

    // Any fault or refused step so far.
    bool faulted() const;
    std::size_t fault_count() const;
};

// Reports `findings` into a check as they are.
void report(const std::vector<Finding>& findings, Check& check);
// Reports every fault and refused step (all kinds but references, draw flags
// and other).
void report_faults(const Observations& o, Check& check);

class Drive;

// The tokens a gauge reads: the sources of its elements and the module
// variables its callbacks had the host refresh (entry 40), in the order
// first seen, after the recorded steps so far.
std::vector<std::uint32_t> tokens_read(Drive& drive, panel::GaugeInstance& gauge);

// Records the host's trace, labelled with the step that caused each event.
class Recorder final : public trace::Sink {
public:
    void write(const trace::Json& event) override { events_.push_back({step_, event}); }
    void begin(std::string step) { step_ = std::move(step); }
    struct Entry {
        std::string step;
        trace::Json event;
    };
    const std::vector<Entry>& events() const { return events_; }
    std::size_t size() const { return events_.size(); }

private:
    std::string step_;
    std::vector<Entry> events_;
};

// One host with one module file, driven step by step.
class Drive {
public:
    // `scenario` prefixes every finding ("sound library absent").
    // `relocate`: load every image away from its preferred base.
    static Result<std::unique_ptr<Drive>> open(const Subject& subject, const std::filesystem::path& library_dir,
                                               std::string scenario, Observations& out, bool relocate = false);
    ~Drive();

    panel::Host& host() { return *host_; }
    panel::GaugeModule* module() { return module_; }

    // Runs one host step under a label; a failure is filed by the faults it
    // traced (or, without any, as a refused step). True when it succeeded.
    bool step(const std::string& label, const std::function<Result<void>()>& action);

    // Loads the module (process attach). False when refused.
    bool attach();
    // The standard beginning of a life: load (process attach), write
    // ImportTable, the module-initialise hook. False when any failed.
    bool load();
    // Adds an instance of the module's gauge; nullptr when refused.
    panel::GaugeInstance* add_instance();
    // The end: module-deinitialise hook, unload (process detach); then,
    // unless this drive met a fault, checks that nothing is left loaded.
    void unload();

    // Library reference counts, every loaded module but the gauge module.
    std::map<std::string, std::uint32_t> library_refs() const;
    // Files under `references` each library whose count differs from
    // `before` (unless this drive met a fault).
    void compare_refs(const std::map<std::string, std::uint32_t>& before, const std::string& when);
    // Files under `draw_flags` every element whose draw flags have bits
    // outside the known set.
    void check_draw_flags(panel::GaugeInstance& gauge, const std::string& when);

    const std::string& scenario() const { return scenario_; }
    const Recorder& recorder() const { return recorder_; }
    // Every step's label, in order.
    const std::vector<std::string>& steps() const { return steps_; }
    Observations& out() { return out_; }

private:
    Drive(const Subject& subject, std::string scenario, Observations& out)
        : subject_(subject), scenario_(std::move(scenario)), out_(out), faults_at_open_(out.fault_count()) {}
    // Reference accounting means something only for lives that ran cleanly:
    // after a fault the module never got to give its references back.
    bool faulted_here() const { return out_.fault_count() != faults_at_open_; }
    void file_events(std::size_t from, std::size_t strays_from, const std::string& label, const std::string* error);
    // Every guest write: code may write the stack and the writable sections
    // of its own module, nothing else.
    void on_write(std::uint32_t pc, std::uint32_t address, std::uint32_t size);
    struct StrayWrite {
        std::uint32_t pc, address, size;
    };
    // "faulty.gau .rdata, read-only", "host data", "unmapped".
    std::string place(std::uint32_t address) const;

    const Subject& subject_;
    std::string scenario_;
    Observations& out_;
    std::size_t faults_at_open_;
    Recorder recorder_;                      // outlives the host, which writes to it
    std::vector<std::string> steps_;
    std::vector<StrayWrite> strays_;
    std::unique_ptr<panel::Host> host_;
    panel::GaugeModule* module_ = nullptr;
};

// Text of a 64-bit float as the validator prints it: shortest round trip,
// "nan", "inf", "-inf", "-0".
std::string show(double v);

}  // namespace panelhost::validate
