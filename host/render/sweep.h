// A sweep: one gauge drawn over a range of one token's values, each frame
// labelled with the value, for a contact sheet.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "panel/session.h"
#include "render/contact_sheet.h"
#include "render/error.h"
#include "render/module_bitmaps.h"

namespace panelhost::render {

struct SweepRange {
    std::uint32_t token = 0;
    double from = 0.0;
    double to = 0.0;
    int steps = 2;          // frames, both ends included; 1: `from` only
};

// The value of step i: from + (to - from) * i / (steps - 1), exactly `to` at
// the last step.
double sweep_value(const SweepRange& range, int step);

// "752 = 20", "762 = -7.5": the token and the value in its shortest form.
std::string sweep_label(std::uint32_t token, double value);

// For each step: sets the token, runs one update cycle of the (initialised)
// gauge and draws it. Other tokens keep what the host's store holds.
Result<std::vector<SheetCell>> sweep(panel::Host& host, panel::GaugeInstance& gauge,
                                     ModuleBitmaps& bitmaps, const SweepRange& range);

}  // namespace panelhost::render
