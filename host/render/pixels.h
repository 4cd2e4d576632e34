// The two pixel buffers of the renderer: a decoded bitmap (opaque colours,
// plus which pixels are pure black, the colour the transparent draw flag
// leaves undrawn) and a frame (straight, not premultiplied, RGBA).
// Both are stored row by row from the top-left corner.
#pragma once

#include <cstdint>
#include <vector>

namespace panelhost::render {

struct Rgb {
    std::uint8_t r = 0, g = 0, b = 0;
    bool operator==(const Rgb&) const = default;
};

struct Rgba {
    std::uint8_t r = 0, g = 0, b = 0, a = 0;
    bool operator==(const Rgba&) const = default;
};

struct Bitmap {
    int width = 0;
    int height = 0;
    std::vector<Rgb> pixels;            // width * height
    std::vector<std::uint8_t> black;    // 1 where the pixel is (0, 0, 0)

    const Rgb& at(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
    bool is_black(int x, int y) const { return black[static_cast<std::size_t>(y) * width + x] != 0; }
};

// What is drawn; alpha 0 where nothing is.
struct Frame {
    int width = 0;
    int height = 0;
    std::vector<Rgba> pixels;           // width * height

    Frame() = default;
    Frame(int w, int h, Rgba fill = {})
        : width(w), height(h), pixels(static_cast<std::size_t>(w) * h, fill) {}

    Rgba& at(int x, int y) { return pixels[static_cast<std::size_t>(y) * width + x]; }
    const Rgba& at(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
};

}  // namespace panelhost::render
