#include "render/dib.h"

#include "render/message.h"

#include <cstdlib>

namespace panelhost::render {
namespace {

constexpr std::uint64_t kInfoHeaderSize = 40;

// Little-endian reads at offsets the caller has already checked.
std::uint32_t u32(std::span<const std::uint8_t> b, std::size_t at) {
    return std::uint32_t(b[at]) | std::uint32_t(b[at + 1]) << 8 |
           std::uint32_t(b[at + 2]) << 16 | std::uint32_t(b[at + 3]) << 24;
}
std::uint16_t u16(std::span<const std::uint8_t> b, std::size_t at) {
    return static_cast<std::uint16_t>(b[at] | b[at + 1] << 8);
}
std::int32_t i32(std::span<const std::uint8_t> b, std::size_t at) {
    return static_cast<std::int32_t>(u32(b, at));
}

Error fail(std::string message) { return Error{std::move(message)}; }

}  // namespace

Result<Bitmap> decode_dib(std::span<const std::uint8_t> bytes) {
    const std::uint64_t size = bytes.size();
    if (size < kInfoHeaderSize)
        return std::unexpected(fail(message("truncated header: ", size, " bytes, the information header needs ", kInfoHeaderSize)));

    const std::uint32_t header_size = u32(bytes, 0);
    const std::int64_t width = i32(bytes, 4);
    const std::int64_t height = i32(bytes, 8);
    const std::uint16_t planes = u16(bytes, 12);
    const std::uint16_t bit_count = u16(bytes, 14);
    const std::uint32_t compression = u32(bytes, 16);
    const std::uint32_t colours_used = u32(bytes, 32);

    if (header_size != kInfoHeaderSize)
        return std::unexpected(fail(message("information header of ", header_size, " bytes, expected ", kInfoHeaderSize)));
    if (width <= 0 || height == 0 || width > kMaxBitmapSide || std::llabs(height) > kMaxBitmapSide)
        return std::unexpected(fail(message("impossible dimensions ", width, " x ", height, " (each side 1 to ", kMaxBitmapSide, ")")));
    if (planes != 1)
        return std::unexpected(fail(message(planes, " planes, expected 1")));
    if (compression != 0)
        return std::unexpected(fail(message("compression type ", compression, " not supported, only uncompressed (0)")));
    if (bit_count != 8 && bit_count != 24)
        return std::unexpected(fail(message(bit_count, " bits per pixel not supported, only 8 or 24")));

    // 8 bpp: biClrUsed entries, 0 meaning all 256. 24 bpp: an optional
    // palette (biClrUsed entries) that the pixels do not use.
    std::uint64_t palette_entries = colours_used;
    if (bit_count == 8) {
        if (palette_entries == 0) palette_entries = 256;
        if (palette_entries > 256)
            return std::unexpected(fail(message("palette of ", palette_entries, " entries, at most 256 for 8 bits per pixel")));
    }
    const std::uint64_t palette_offset = kInfoHeaderSize;
    const std::uint64_t pixels_offset = palette_offset + palette_entries * 4;
    if (pixels_offset > size)
        return std::unexpected(fail(message("palette of ", palette_entries, " entries runs past the end (", pixels_offset, " bytes needed, ", size, " present)")));

    const std::uint64_t w = static_cast<std::uint64_t>(width);
    const std::uint64_t h = static_cast<std::uint64_t>(std::llabs(height));
    const std::uint64_t stride = (w * bit_count + 31) / 32 * 4;
    const std::uint64_t pixels_end = pixels_offset + stride * h;
    if (pixels_end > size)
        return std::unexpected(fail(message("pixel data runs past the end (", pixels_end, " bytes needed, ", size, " present)")));

    Bitmap out;
    out.width = static_cast<int>(w);
    out.height = static_cast<int>(h);
    out.pixels.resize(w * h);
    out.black.resize(w * h);
    const bool bottom_up = height > 0;
    for (std::uint64_t row = 0; row < h; ++row) {
        const std::uint64_t y = bottom_up ? h - 1 - row : row;
        const std::size_t line = pixels_offset + row * stride;
        for (std::uint64_t x = 0; x < w; ++x) {
            Rgb c;
            if (bit_count == 8) {
                const std::uint8_t index = bytes[line + x];
                if (index >= palette_entries)
                    return std::unexpected(fail(message("pixel (", x, ", ", y, ") uses palette entry ", int(index), ", the palette has ", palette_entries)));
                const std::size_t entry = palette_offset + std::size_t(index) * 4;
                c = {bytes[entry + 2], bytes[entry + 1], bytes[entry]};
            } else {
                const std::size_t at = line + x * 3;
                c = {bytes[at + 2], bytes[at + 1], bytes[at]};
            }
            out.pixels[y * w + x] = c;
            out.black[y * w + x] = (c.r | c.g | c.b) == 0;
        }
    }
    return out;
}

}  // namespace panelhost::render
