// A JSON report written for a person: nested keys as indented lines,
// arrays of scalars on one line.
#pragma once

#include <ostream>

#include "trace/trace.h"

namespace panelhost::cli {

void print_report(const trace::Json& report, std::ostream& out, int indent = 0);

}  // namespace panelhost::cli
