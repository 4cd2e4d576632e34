// The trace: every event the host sees, one JSON object per line, in order.
//
// Events are built only when a sink is attached (Trace::on()), so a run
// without a trace pays nothing for them. Each event gets a "seq" number and
// an "event" name; the builders in events.h fix every event's fields.
//
// Values JSON cannot hold stay exact and distinguishable (value()): NaN and
// the infinities become the strings "nan", "inf" and "-inf"; -0.0 keeps its
// sign. Guest addresses and draw flags are hex strings ("0x6a400000").
//
// Events (fields after "seq" and "event"); "instructions" is present on
// every host-made guest call when instruction counting is on:
//   syscall       name (LoadLibraryA, GetModuleHandleA, GetProcAddress,
//                 FreeLibrary), caller (module of the return address), arg
//                 (name or handle), [handle], result
//   library       action: load | attach | detach | thread_attach |
//                 thread_detach | unload | reference | release; name, base,
//                 refs, [result of the entry point], [relocated]
//   import_table  module, address, panels (what the host wrote)
//   hook          name (module_init | module_deinit), module, address
//   service       instance, code, name (pre_initialize, pre_update,
//                 pre_draw, pre_kill, or "other")
//   panel_service entry, name, var, token, value (entry 40)
//   refresh       instance, element, token, value (an element's own source)
//   callback      instance, element, address, result, flags (draw flags
//                 after the call)
//   entry         library, name: guest code reached a watched export
//   error         what, and what it concerns (entry of an unknown panel
//                 service, an import we do not provide, ...)
//   fault         function, kind, pc, address, message: a guest call failed
//   write_outside pc, address, size: a guest write outside the allowed regions
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace panelhost::trace {

using Json = nlohmann::ordered_json;

// A 64-bit float as a JSON value that round-trips exactly.
Json value(double v);
// Reads back what value() wrote (a number, or "nan", "inf", "-inf").
double to_double(const Json& j);
// "0x%08x"
std::string hex(std::uint32_t v);

class Sink {
public:
    virtual ~Sink() = default;
    virtual void write(const Json& event) = 0;
};

// One JSON object per line.
class JsonLinesSink final : public Sink {
public:
    explicit JsonLinesSink(std::ostream& out) : out_(out) {}
    void write(const Json& event) override;

private:
    std::ostream& out_;
};

// Keeps the events, for tests and the validator.
class MemorySink final : public Sink {
public:
    void write(const Json& event) override { events.push_back(event); }
    // The events named `name`, in order.
    std::vector<Json> named(std::string_view name) const;
    std::vector<Json> events;
};

// Sends each event to every attached sink.
class Trace {
public:
    bool on() const { return !sinks_.empty(); }
    void attach(Sink* sink) { sinks_.push_back(sink); }
    void detach(Sink* sink);
    // Adds "seq" and "event" in front of `fields` and writes the event.
    void emit(std::string_view event, Json fields = Json::object());

private:
    std::vector<Sink*> sinks_;
    std::uint64_t seq_ = 0;
};

}  // namespace panelhost::trace
