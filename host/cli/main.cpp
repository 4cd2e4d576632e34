// panelhost: loads 32-bit gauge modules into an emulated machine and plays
// the simulator's panel host. main() only builds the context, parses the
// command line and maps errors to exit codes.
#include <CLI/CLI.hpp>

#include "cli/context.h"
#include "cli/sweep_command.h"

int main(int argc, char** argv) {
    panelhost::cli::Context context;
    CLI::App app{"panelhost: runs Flight Simulator gauge modules (.gau) in an emulated 32-bit machine"};
    app.require_subcommand(1);
    // A usage error is one line on stderr, like every other failure.
    app.failure_message([](const CLI::App*, const CLI::Error& e) {
        return "panelhost: " + std::string(e.what()) + "\n";
    });
    panelhost::cli::set_inspect_command(app, context);
    panelhost::cli::set_run_command(app, context);
    panelhost::cli::set_validate_command(app, context);
    panelhost::cli::set_sweep_command(app, context);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        int code = app.exit(e);
        return code == 0 ? panelhost::cli::kExitOk : panelhost::cli::kExitUsage;
    }
    return context.exit_code;
}
