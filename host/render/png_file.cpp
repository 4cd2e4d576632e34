#include "render/png_file.h"
#include "render/message.h"

#include <png.h>

#include <cstring>

namespace panelhost::render {

static_assert(sizeof(Rgba) == 4, "frames are handed to libpng as packed RGBA bytes");

Result<void> write_png(const std::filesystem::path& path, const Frame& frame) {
    if (frame.width <= 0 || frame.height <= 0 ||
        frame.pixels.size() != static_cast<std::size_t>(frame.width) * frame.height)
        return std::unexpected(Error{message(path.string(), ": empty or inconsistent frame ", frame.width, " x ", frame.height)});
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(frame.width);
    image.height = static_cast<png_uint_32>(frame.height);
    image.format = PNG_FORMAT_RGBA;
    if (!png_image_write_to_file(&image, path.c_str(), 0, frame.pixels.data(), 0, nullptr)) {
        std::string why = image.message;
        png_image_free(&image);
        return std::unexpected(Error{message(path.string(), ": cannot write PNG: ", why)});
    }
    return {};
}

Result<Frame> read_png(const std::filesystem::path& path) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str()))
        return std::unexpected(Error{message(path.string(), ": cannot read PNG: ", image.message)});
    image.format = PNG_FORMAT_RGBA;
    Frame frame(static_cast<int>(image.width), static_cast<int>(image.height));
    if (!png_image_finish_read(&image, nullptr, frame.pixels.data(), 0, nullptr)) {
        std::string why = image.message;
        png_image_free(&image);
        return std::unexpected(Error{message(path.string(), ": cannot read PNG: ", why)});
    }
    return frame;
}

}  // namespace panelhost::render
