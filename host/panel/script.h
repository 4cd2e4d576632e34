// Scripts of host steps, one per line, for `panelhost run --script FILE`
// and for tests. '#' starts a comment; "@N" names instance N (default 0).
//
//   set TOKEN=VALUE        change a token between steps
//   imports                write the panel-services address into ImportTable
//   module-init            call the module-initialise hook
//   module-deinit          call the module-deinitialise hook
//   instance               add an instance of the gauge (numbered from 0)
//   send CODE [@N]         send a service code (4, 6, 10, 12 or any other)
//   cycle [COUNT] [@N]     update cycles: 6, refresh sources, callbacks, 10
//   refresh [ELEMENT] [@N] refresh one element's source, or all
//   callback ELEMENT [@N]  call one element's update callback
//   load NAME              take a reference to a library, as another module would
//   free NAME              give one such reference back
//   thread-attach          thread attach to every loaded module
//   thread-detach          thread detach to every loaded module
//   print [@N]             print each element's result and draw flags
//   unload                 give back the host's reference to the gauge module
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "panel/session.h"

namespace panelhost::panel {

struct Step {
    int line = 0;
    std::string verb;
    std::vector<std::string> args;   // without the "@N"
    int instance = 0;
};

// Syntax errors name the line: "line 3: unknown step \"sned\"".
Result<std::vector<Step>> parse_script(std::string_view text);

// Runs the steps on a loaded module; the first failing step ends the run
// with an error naming its line.
Result<void> run_script(Host& host, GaugeModule& module, const std::vector<Step>& steps, std::ostream& out);

// One line per element: index, kind, resource id, last result, draw flags.
void print_elements(const ElementTree& tree, std::ostream& out);

// A double as text that reads back exactly: shortest form, "nan", "inf",
// "-inf", and "-0" for negative zero.
std::string format_value(double v);

}  // namespace panelhost::panel
