// `panelhost sweep FILE.gau --token T --from A --to B [--steps N]
//  [--set TOKEN=VALUE]... --out SHEET.png`: one life of the gauge; after
// pre-initialise, one update cycle per value from A to B (N values, both
// ends included), each drawn and labelled "T = value" on one contact sheet.
#include "cli/sweep_command.h"

#include <CLI/CLI.hpp>

#include <memory>

#include "panel/session.h"
#include "panel/token_store.h"
#include "render/contact_sheet.h"
#include "render/module_bitmaps.h"
#include "render/png_file.h"
#include "render/sweep.h"

namespace panelhost::cli {
namespace {

struct SweepOptions {
    std::string file;
    std::uint32_t token = 0;
    std::string from, to;
    int steps = 9;
    int columns = 0;
    std::vector<std::string> sets;
    std::string library_dir;
    std::string out;
};

std::string check_value(const std::string& text) {
    auto v = panel::parse_value(text);
    return v ? std::string() : v.error().message;
}

// The gauge's life around the sweep; the sheet's frames, or why not.
Result<std::vector<render::SheetCell>> sweep_life(panel::Host& host, panel::GaugeModule& module,
                                                  const render::SweepRange& range) {
    if (auto r = host.write_import_table(module); !r) return std::unexpected(r.error());
    if (auto r = host.module_init(module); !r) return std::unexpected(r.error());
    auto gauge = host.add_instance(module);
    if (!gauge) return std::unexpected(gauge.error());
    if (auto r = host.send(**gauge, gauge::kServicePreInitialize); !r) return std::unexpected(r.error());
    render::ModuleBitmaps bitmaps(module.image());
    auto cells = render::sweep(host, **gauge, bitmaps, range);
    if (!cells) return std::unexpected(Error{cells.error().message});
    if (auto r = host.send(**gauge, gauge::kServicePreKill); !r) return std::unexpected(r.error());
    if (auto r = host.module_deinit(module); !r) return std::unexpected(r.error());
    if (auto r = host.unload_module(module); !r) return std::unexpected(r.error());
    return std::move(*cells);
}

void sweep(Context& context, const SweepOptions& o) {
    namespace fs = std::filesystem;
    const fs::path file = o.file;
    fs::path library_dir = o.library_dir.empty() ? file.parent_path() : fs::path(o.library_dir);
    if (library_dir.empty()) library_dir = ".";

    auto host = panel::Host::create({.library_dir = library_dir});
    if (!host) return context.failure(o.file, host.error().message);
    for (const auto& s : o.sets) {
        auto a = panel::parse_assignment(s);   // checked by the option
        (*host)->tokens().set(a->first, a->second);
    }
    auto module = (*host)->load_module(file);
    if (!module) return context.failure(o.file, module.error().message);

    const render::SweepRange range{o.token, *panel::parse_value(o.from), *panel::parse_value(o.to), o.steps};
    auto cells = sweep_life(**host, **module, range);
    if (!cells) return context.failure(o.file, cells.error().message);

    auto font = render::LabelFont::open(render::LabelFont::default_path(), 14);
    if (!font) return context.failure(render::LabelFont::default_path().string(), font.error().message);
    render::SheetLayout layout;
    layout.columns = o.columns;
    auto sheet = render::contact_sheet(*cells, *font, layout);
    if (!sheet) return context.failure(o.out, sheet.error().message);
    if (auto r = render::write_png(o.out, *sheet); !r) return context.failure(o.out, r.error().message);
    for (const auto& cell : *cells) context.out << cell.label << '\n';
}

}  // namespace

void set_sweep_command(CLI::App& app, Context& context) {
    auto* cmd = app.add_subcommand(
        "sweep", "Draw a gauge over a range of one token's values into a labelled contact sheet (PNG)");
    auto o = std::make_shared<SweepOptions>();
    cmd->add_option("FILE", o->file, "the gauge module (.gau)")->required();
    cmd->add_option("--token", o->token, "the token to sweep")->required();
    cmd->add_option("--from", o->from, "first value")->required()->check(check_value);
    cmd->add_option("--to", o->to, "last value")->required()->check(check_value);
    cmd->add_option("--steps", o->steps, "frames, both ends included (default 9)")
        ->check(CLI::Range(1, 1000));
    cmd->add_option("--columns", o->columns, "frames per row (default: about square)")
        ->check(CLI::Range(0, 1000));
    cmd->add_option("--set", o->sets, "set another token: TOKEN=VALUE (repeatable)")
        ->check([](const std::string& s) -> std::string {
            auto r = panel::parse_assignment(s);
            return r ? std::string() : r.error().message;
        });
    cmd->add_option("--library-dir", o->library_dir, "where LoadLibraryA looks (default: the module's folder)");
    cmd->add_option("--out", o->out, "the contact sheet to write (PNG)")->required();
    cmd->callback([&context, o] { sweep(context, *o); });
}

}  // namespace panelhost::cli
