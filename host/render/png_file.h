// PNG files of frames (libpng): 8-bit RGBA, straight alpha, so the area where
// nothing is drawn stays transparent (alpha 0) in the file.
#pragma once

#include <filesystem>

#include "render/error.h"
#include "render/pixels.h"

namespace panelhost::render {

Result<void> write_png(const std::filesystem::path& path, const Frame& frame);

// Any PNG, converted to 8-bit RGBA.
Result<Frame> read_png(const std::filesystem::path& path);

}  // namespace panelhost::render
