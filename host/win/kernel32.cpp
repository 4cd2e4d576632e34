// The KERNEL32 functions a gauge module may import, as stubs on the stub
// page. Each reads its arguments from the guest stack, asks the module
// table, traces the call with its argument and result, and returns EAX.
#include "win/module_table.h"

#include "win/names.h"

namespace panelhost::win {

using trace::hex;
using trace::Json;

namespace {

constexpr std::size_t kMaxPath = 260;

// The caller's module, from the return address.
std::string caller_of(const ModuleTable& table, emu::StubCall& call) {
    const Module* m = table.containing(call.return_address());
    return m ? m->name : hex(call.return_address());
}

// An 8-bit name argument; nullopt when the pointer cannot be read.
std::optional<std::string> name_arg(emu::StubCall& call, std::size_t i) {
    std::uint32_t p = call.arg(i);
    if (p == 0) return std::nullopt;
    auto s = call.machine().read_string(p, kMaxPath);
    if (!s) return std::nullopt;
    return *s;
}

}  // namespace

Result<void> ModuleTable::install() {
    struct Entry {
        const char* name;
        std::uint16_t args;
        std::uint32_t (*handler)(ModuleTable&, emu::StubCall&);
    };
    static constexpr Entry kEntries[] = {
        {"LoadLibraryA", 1,
         [](ModuleTable& t, emu::StubCall& c) -> std::uint32_t {
             std::string caller = caller_of(t, c);
             auto name = name_arg(c, 0);
             std::uint32_t h = name ? t.load_library(*name) : 0;
             if (t.trace_.on())
                 t.trace_.emit("syscall", {{"name", "LoadLibraryA"}, {"caller", caller},
                                           {"arg", name ? Json(*name) : Json(hex(c.arg(0)))}, {"result", hex(h)}});
             return h;
         }},
        {"GetModuleHandleA", 1,
         [](ModuleTable& t, emu::StubCall& c) -> std::uint32_t {
             auto name = name_arg(c, 0);
             std::uint32_t h = name ? t.module_handle(*name) : 0;
             if (t.trace_.on())
                 t.trace_.emit("syscall", {{"name", "GetModuleHandleA"}, {"caller", caller_of(t, c)},
                                           {"arg", name ? Json(*name) : Json(hex(c.arg(0)))}, {"result", hex(h)}});
             return h;
         }},
        {"GetProcAddress", 2,
         [](ModuleTable& t, emu::StubCall& c) -> std::uint32_t {
             std::uint32_t handle = c.arg(0), p = c.arg(1);
             Json arg;
             std::uint32_t a = 0;
             if (p < 0x10000) {   // an ordinal, in the low word
                 arg = p;
                 a = t.proc_address(handle, static_cast<std::uint16_t>(p));
             } else if (auto name = name_arg(c, 1)) {
                 arg = *name;
                 a = t.proc_address(handle, *name);
             } else {
                 arg = hex(p);
             }
             if (t.trace_.on())
                 t.trace_.emit("syscall", {{"name", "GetProcAddress"}, {"caller", caller_of(t, c)},
                                           {"handle", hex(handle)}, {"arg", arg}, {"result", hex(a)}});
             return a;
         }},
        {"FreeLibrary", 1,
         [](ModuleTable& t, emu::StubCall& c) -> std::uint32_t {
             std::string caller = caller_of(t, c);
             std::uint32_t handle = c.arg(0);
             bool ok = t.free_library(handle);
             if (t.trace_.on())
                 t.trace_.emit("syscall", {{"name", "FreeLibrary"}, {"caller", caller},
                                           {"arg", hex(handle)}, {"result", ok ? 1 : 0}});
             return ok ? 1 : 0;
         }},
    };
    if (!kernel32_.empty()) return {};
    for (const auto& e : kEntries) {
        auto handler = e.handler;
        auto address = machine_.add_stub({.name = e.name, .arg_count = e.args,
                                          .handler = [this, handler](emu::StubCall& c) { return handler(*this, c); }});
        if (!address) return std::unexpected(address.error());
        kernel32_.push_back(Provided{e.name, *address});
    }
    return {};
}

}  // namespace panelhost::win
