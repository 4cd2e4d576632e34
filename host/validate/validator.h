// `panelhost validate`: loads a gauge module, drives it through every state
// the host can reach and names what it does wrong.
#pragma once

#include "validate/options.h"

#include <iosfwd>

namespace panelhost::validate {

// Exit codes of the command.
inline constexpr int kAllPassed = 0;
inline constexpr int kModuleFailed = 1;
inline constexpr int kCouldNotRun = 2;

// Runs the tests of levels 1..options.level, options.repeat times, printing
// each test's outcome to `out`; the last line is "N passed, M failed".
// Returns one of the exit codes above; when the validator cannot run (the
// file cannot be read, options out of range) it says why on `err`.
int run(const Options& options, std::ostream& out, std::ostream& err);

}  // namespace panelhost::validate
