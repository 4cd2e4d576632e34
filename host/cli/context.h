// What the verbs share: where output goes and the exit code they leave.
// main() builds it, parses, and maps errors to exit codes:
//   0 ok, 1 failure of the module or file, 2 usage.
#pragma once

#include <iostream>
#include <string>

namespace CLI {
class App;
}

namespace panelhost::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

struct Context {
    std::ostream& out = std::cout;
    std::ostream& err = std::cerr;
    int exit_code = kExitOk;

    // One line on stderr, and the exit code for a failed module or file.
    void failure(const std::string& what, const std::string& message) {
        err << "panelhost: " << what << ": " << message << '\n';
        exit_code = kExitFailure;
    }
};

void set_inspect_command(CLI::App& app, Context& context);
void set_run_command(CLI::App& app, Context& context);
void set_validate_command(CLI::App& app, Context& context);

}  // namespace panelhost::cli
