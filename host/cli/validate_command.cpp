// `panelhost validate FILE.gau`: the conformance validator. Loads the module,
// drives it through every state the host can reach and names what it does
// wrong; the exit code is the validator's own (0 all passed, 1 the module
// failed, 2 the validator could not run).
#include <CLI/CLI.hpp>

#include <memory>

#include "cli/context.h"
#include "validate/validator.h"

namespace panelhost::cli {

void set_validate_command(CLI::App& app, Context& context) {
    struct Arguments {
        std::string file;
        int level = validate::kMaxLevel;
        std::uint64_t seed = 0;
        int repeat = 1;
        std::string library_dir;
    };
    auto a = std::make_shared<Arguments>();
    auto* cmd = app.add_subcommand("validate", "Check that a gauge module does what the panel host relies on");
    cmd->add_option("FILE", a->file, "the gauge module (.gau)")->required();
    cmd->add_option("--level", a->level,
                    "run the tests of levels 1 to N (1 file, 2 life, 3 values, 4 fuzz, 5 endurance; default 5)")
        ->check(CLI::Range(validate::kMinLevel, validate::kMaxLevel));
    auto* seed = cmd->add_option("--seed", a->seed, "seed of the random tests (default: drawn; always printed)");
    cmd->add_option("--repeat", a->repeat, "run the tests N times, each pass with the next seed (default 1)")
        ->check(CLI::PositiveNumber);
    cmd->add_option("--library-dir", a->library_dir,
                    "a folder with your own GaugeSound.dll for the library-present tests (default: a stand-in)");
    cmd->callback([&context, a, seed] {
        validate::Options options{.module = a->file, .level = a->level, .repeat = a->repeat};
        if (seed->count() > 0) options.seed = a->seed;
        if (!a->library_dir.empty()) options.library_dir = a->library_dir;
        context.exit_code = validate::run(options, context.out, context.err);
    });
}

}  // namespace panelhost::cli
