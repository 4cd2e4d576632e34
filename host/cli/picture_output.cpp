#include "cli/picture_output.h"

#include <CLI/CLI.hpp>

#include <fstream>
#include <iterator>

#include "pe/image.h"
#include "render/gauge_scene.h"
#include "render/module_bitmaps.h"
#include "render/painter.h"
#include "render/png_file.h"

namespace panelhost::cli {

void add_png_option(CLI::App& run_command, std::string& path) {
    run_command.add_option("--png", path,
                           "write what the pilot sees after the last update cycle to this PNG file (not with --script)");
}

std::optional<std::string> gauge_tooltip(const panel::Host& host, const panel::GaugeModule& module) {
    if (module.gauges().empty()) return std::nullopt;
    auto view = host.gauge_view(module.gauges().front());
    if (!view) return std::nullopt;
    return view->tooltip();
}

std::expected<void, PictureError> write_frame_png(const std::filesystem::path& module_file,
                                                  const panel::ElementTree& tree,
                                                  const std::filesystem::path& png) {
    const auto module_error = [&](std::string message) {
        return std::unexpected(PictureError{module_file, std::move(message)});
    };
    // The bitmaps come from the file itself: the life has unloaded the module
    // by the time its last tree is drawn.
    std::ifstream in(module_file, std::ios::binary);
    if (!in) return module_error("cannot read the module file for its bitmaps");
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
    auto image = pe::Image::parse(std::move(bytes));
    if (!image) return module_error(image.error().message);
    render::ModuleBitmaps bitmaps(*image);
    auto scene = render::scene_from_tree(tree, bitmaps);
    if (!scene) return module_error(scene.error().message);
    if (auto written = render::write_png(png, render::render(*scene)); !written)
        return std::unexpected(PictureError{png, written.error().message});
    return {};
}

}  // namespace panelhost::cli
