// The module's two exports and the generic values of its gauge header.
#include <gauge/frame.h>

namespace {
// The host calls these through Linkage; a module needs no set-up of its own.
void __stdcall ModuleInit() {}
void __stdcall ModuleDeinit() {}
}  // namespace

// Every field not named here is zero, as the host expects.
constinit GaugeHeader Gauge{
    .header_version = gauge::kGaugeHeaderVersion,
    .name = GaugeName,
    .elements = GaugeElements,
    .callback = GaugeCallback,
    .mouse_rects = GaugeMouseArea,
    .default_size_mm = 100,
};

extern "C" {

constinit LinkageRecord Linkage{
    .module_id = gauge::kModuleId,
    .module_init = ModuleInit,
    .module_deinit = ModuleDeinit,
    .flags = 0,
    .priority = 0,
    .version = gauge::kModuleVersion,
    .gauges = {&Gauge, nullptr},
};

// The host writes its panel-services table into entry 0; module code only
// reads it.
constinit ImportTableRecord ImportTable{
    .entries = {
        {.id = gauge::kImportPanelServices, .ref = nullptr},
        {.id = 0, .ref = nullptr},
    },
};

}  // extern "C"
