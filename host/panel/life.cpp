// One whole life of a gauge, in the order the simulator's panel host keeps.
#include "panel/session.h"

namespace panelhost::panel {

Result<ElementTree> Host::run_life(GaugeModule& module, int cycles) {
    if (auto r = write_import_table(module); !r) return std::unexpected(r.error());
    if (auto r = module_init(module); !r) return std::unexpected(r.error());
    auto gauge = add_instance(module);
    if (!gauge) return std::unexpected(gauge.error());
    if (auto r = send(**gauge, gauge::kServicePreInitialize); !r) return std::unexpected(r.error());
    for (int i = 0; i < cycles; ++i)
        if (auto r = update_cycle(**gauge); !r) return std::unexpected(r.error());
    auto tree = elements(**gauge);
    if (!tree) return tree;
    if (auto r = send(**gauge, gauge::kServicePreKill); !r) return std::unexpected(r.error());
    if (auto r = module_deinit(module); !r) return std::unexpected(r.error());
    if (auto r = unload_module(module); !r) return std::unexpected(r.error());
    return tree;
}

}  // namespace panelhost::panel
