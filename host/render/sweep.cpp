#include "render/sweep.h"

#include <charconv>

#include "render/gauge_scene.h"

namespace panelhost::render {

double sweep_value(const SweepRange& range, int step) {
    if (range.steps <= 1 || step <= 0) return range.from;
    if (step >= range.steps - 1) return range.to;
    return range.from + (range.to - range.from) * step / (range.steps - 1);
}

std::string sweep_label(std::uint32_t token, double value) {
    char text[64];
    const auto end = std::to_chars(text, text + sizeof text, value).ptr;
    return std::to_string(token) + " = " + std::string(text, end);
}

Result<std::vector<SheetCell>> sweep(panel::Host& host, panel::GaugeInstance& gauge,
                                     ModuleBitmaps& bitmaps, const SweepRange& range) {
    if (range.steps < 1 || range.steps > 1000)
        return std::unexpected(Error{"a sweep takes 1 to 1000 steps"});
    std::vector<SheetCell> cells;
    for (int i = 0; i < range.steps; ++i) {
        const double value = sweep_value(range, i);
        host.tokens().set(range.token, value);
        if (auto cycle = host.update_cycle(gauge); !cycle)
            return std::unexpected(Error{cycle.error().message});
        auto frame = render_gauge(host, gauge, bitmaps);
        if (!frame) return std::unexpected(frame.error());
        cells.push_back({std::move(*frame), sweep_label(range.token, value)});
    }
    return cells;
}

}  // namespace panelhost::render
