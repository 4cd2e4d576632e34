// `panelhost run FILE.gau`: one life of the gauge (or the steps of a
// script), with the trace on request and each element's last callback
// result and draw flags at the end.
#include <CLI/CLI.hpp>

#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>

#include "cli/context.h"
#include "cli/picture_output.h"
#include "panel/script.h"
#include "panel/session.h"
#include "panel/token_store.h"

namespace panelhost::cli {

namespace {

struct RunOptions {
    std::string file;
    std::vector<std::string> sets;
    int cycles = 1;
    std::string library_dir;
    std::string script;
    bool trace = false;
    bool relocate = false;
    std::uint64_t budget = 1'000'000;
    std::string png;
};

void run(Context& context, const RunOptions& o) {
    namespace fs = std::filesystem;
    fs::path file = o.file;
    fs::path library_dir = o.library_dir.empty() ? file.parent_path() : fs::path(o.library_dir);
    if (library_dir.empty()) library_dir = ".";

    std::vector<panel::Step> steps;
    if (!o.script.empty()) {
        std::ifstream in(o.script);
        if (!in) {
            context.failure(o.script, "cannot open the script");
            return;
        }
        std::stringstream text;
        text << in.rdbuf();
        auto parsed = panel::parse_script(text.str());
        if (!parsed) {
            context.err << "panelhost: " << o.script << ": " << parsed.error().message << '\n';
            context.exit_code = kExitUsage;
            return;
        }
        steps = std::move(*parsed);
    }

    auto host = panel::Host::create({.library_dir = library_dir, .budget = o.budget, .relocate_all = o.relocate});
    if (!host) {
        context.failure(o.file, host.error().message);
        return;
    }
    trace::JsonLinesSink sink(context.out);
    if (o.trace) (*host)->trace().attach(&sink);
    for (const auto& s : o.sets) {
        auto a = panel::parse_assignment(s);   // already checked by the option
        (*host)->tokens().set(a->first, a->second);
    }
    auto module = (*host)->load_module(file);
    if (!module) {
        context.failure(o.file, module.error().message);
        return;
    }
    if (!steps.empty() || !o.script.empty()) {
        if (auto r = panel::run_script(**host, **module, steps, context.out); !r) context.failure(o.file, r.error().message);
        context.out.flush();
        return;
    }
    const auto tooltip = gauge_tooltip(**host, **module);
    auto tree = (*host)->run_life(**module, o.cycles);
    if (!tree) {
        context.failure(o.file, tree.error().message);
        return;
    }
    panel::print_elements(*tree, context.out);
    if (tooltip) context.out << "tooltip: " << *tooltip << '\n';
    if (!o.png.empty())
        if (auto r = write_frame_png(file, *tree, o.png); !r) context.failure(r.error().file.string(), r.error().message);
}

}  // namespace

void set_run_command(CLI::App& app, Context& context) {
    auto* cmd = app.add_subcommand("run", "Run one life of a gauge (or a script of steps) and print its elements");
    auto o = std::make_shared<RunOptions>();
    cmd->add_option("FILE", o->file, "the gauge module (.gau)")->required();
    cmd->add_option("--set", o->sets, "set a token: TOKEN=VALUE (repeatable)")
        ->check([](const std::string& s) -> std::string {
            auto r = panel::parse_assignment(s);
            return r ? std::string() : r.error().message;
        });
    cmd->add_option("--cycles", o->cycles, "update cycles in the life (default 1)")
        ->check(CLI::Range(0, std::numeric_limits<int>::max()));
    // A folder that is not there is a typing error, not a library the gauge
    // may do without.
    cmd->add_option("--library-dir", o->library_dir, "where LoadLibraryA looks (default: the module's folder)")
        ->check(CLI::ExistingDirectory);
    cmd->add_option("--script", o->script, "run these steps instead of the standard life (see README)");
    cmd->add_flag("--trace", o->trace, "write every event as a JSON line to stdout");
    cmd->add_flag("--relocate", o->relocate, "load every image away from its preferred base");
    cmd->add_option("--budget", o->budget, "instructions allowed per guest call (default 1000000)")
        ->check(CLI::Range(std::uint64_t{1}, std::numeric_limits<std::uint64_t>::max()));
    add_png_option(*cmd, o->png);
    cmd->callback([&context, o] { run(context, *o); });
}

}  // namespace panelhost::cli
