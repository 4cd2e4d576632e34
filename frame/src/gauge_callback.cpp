// GaugeCallback: the host's calls at the stages of the gauge's life.
#include <gauge/frame.h>

#include "sound_library.h"

extern "C" {
constinit ElementHeader* RootElement = nullptr;
}

namespace {

// Has the host store each variable's current value, in list order. The
// panel-services table is read from ImportTable afresh for every call.
void RefreshModuleVars() {
    for (ModuleVar* const* var = ModuleVars; *var != nullptr; ++var) {
        ImportTable.entries[0].ref->lookup_var(*var);
    }
}

}  // namespace

void __stdcall GaugeCallback(GaugeHeader* gauge, std::int32_t service, std::uint32_t /*extra*/) {
    // Compared unsigned: a negative code is just another code without action.
    switch (static_cast<std::uint32_t>(service)) {
    case gauge::kServicePreInitialize: {
        void* const handle = frame::BindLoadIfNone();
        RootElement = gauge->elements[0];
        frame::Resolve(handle);
        break;
    }
    case gauge::kServicePreUpdate:
        // Nothing is cached: every cycle binds and resolves anew, so a
        // library loaded or unloaded by someone else is noticed at once.
        frame::Resolve(frame::BindLookUpOrLoad());
        RefreshModuleVars();
        break;
    case gauge::kServicePreKill:
        frame::Resolve(frame::BindLookUpOrLoad());
        frame::TerminateAndRelease();
        break;
    default:
        break;
    }
}
