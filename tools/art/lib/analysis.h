// Pixel-grid questions that the bitmap checks ask: which pixels match a
// condition, and whether all of them are reachable from the picture's edge
// (transparent areas must not form see-through holes).
#pragma once

#include <cstddef>
#include <functional>

namespace art {

using PixelTest = std::function<bool(int x, int y)>;

std::size_t count_pixels(int width, int height, const PixelTest& test);
// Whether every pixel that passes the test is 4-connected, through such
// pixels, to a pixel on the picture's border.
bool all_connected_to_edge(int width, int height, const PixelTest& test);

}  // namespace art
