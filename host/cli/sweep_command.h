// `panelhost sweep`: a gauge drawn over a range of one token's values, as a
// labelled contact sheet.
#pragma once

#include "cli/context.h"

namespace panelhost::cli {

void set_sweep_command(CLI::App& app, Context& context);

}  // namespace panelhost::cli
