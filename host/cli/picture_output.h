// What `panelhost run` shows of the picture: the frame after the last update
// cycle as a PNG (--png), and the gauge's tooltip text, where it has one.
#pragma once

#include <expected>
#include <filesystem>
#include <optional>
#include <string>

#include "emu/error.h"
#include "panel/session.h"

namespace CLI {
class App;
}

namespace panelhost::cli {

// Adds `--png OUT.png` to the run command; the path lands in `path`.
void add_png_option(CLI::App& run_command, std::string& path);

// The tooltip text of the module's gauge, read from its mouse-area list;
// empty when it has none. Call while the module is loaded.
std::optional<std::string> gauge_tooltip(const panel::Host& host, const panel::GaugeModule& module);

// A failure to draw or write the picture, and the file it lies with: the
// module (a bitmap it lacks or holds malformed) or the PNG (cannot write).
struct PictureError {
    std::filesystem::path file;
    std::string message;
};

// Draws `tree` (the element tree as the life's last cycle left it) with the
// bitmaps of `module_file` and writes it to `png`.
std::expected<void, PictureError> write_frame_png(const std::filesystem::path& module_file,
                                                  const panel::ElementTree& tree,
                                                  const std::filesystem::path& png);

}  // namespace panelhost::cli
