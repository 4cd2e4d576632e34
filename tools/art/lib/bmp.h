// Windows BMP files as the gauge modules embed them: BITMAPFILEHEADER, the
// 40-byte BITMAPINFOHEADER, no compression, rows bottom-up and padded to four
// bytes; 8 bits per pixel with a 256-entry palette, or 24 bits per pixel.
//
// The reader is strict and bounds-checked: it accepts exactly these forms
// (plus top-down rows, which it reports) and says what is wrong otherwise.
#pragma once

#include <cstdint>
#include <expected>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "lib/color.h"
#include "lib/quantise.h"

namespace art {

using Bytes = std::vector<std::uint8_t>;

// An 8-bit picture; the palette is padded with pure black to 256 entries.
std::expected<Bytes, std::string> encode_bmp8(const IndexedImage& image);
// A 24-bit picture from row-major pixels, top row first.
std::expected<Bytes, std::string> encode_bmp24(int width, int height, std::span<const Rgb8> pixels);
// A 24-bit picture of a canvas seen over pure black.
Bytes encode_bmp24(const Canvas& canvas);

struct Bitmap {
    int width = 0, height = 0;
    int bits_per_pixel = 0;       // 8 or 24
    bool bottom_up = true;        // rows stored bottom row first
    std::uint32_t colours_used = 0;  // the header's biClrUsed as stored
    std::vector<Rgb8> palette;    // 8-bit only: the stored entries (256 when biClrUsed is 0)
    std::vector<std::uint8_t> indices;  // 8-bit only: row-major, top row first
    std::vector<Rgb8> pixels;     // both: the colour of every pixel, top row first

    Rgb8 at(int x, int y) const { return pixels[std::size_t(y) * std::size_t(width) + std::size_t(x)]; }
    std::uint8_t index_at(int x, int y) const { return indices[std::size_t(y) * std::size_t(width) + std::size_t(x)]; }
};

std::expected<Bitmap, std::string> decode_bmp(std::span<const std::uint8_t> file);

std::expected<Bytes, std::string> read_file(const std::filesystem::path& path);
std::expected<void, std::string> write_file(const std::filesystem::path& path, std::span<const std::uint8_t> bytes);
std::expected<Bitmap, std::string> read_bmp(const std::filesystem::path& path);

}  // namespace art
