// Reducing a drawing to an indexed picture with a palette of N colours.
//
// Pure black is the transparent colour of gauge bitmaps, so the quantiser
// keeps it apart from the picture's colours: transparent pixels (alpha below
// one half) map to a pure-black entry, which must be pinned; opaque pixels
// never map to a pure-black entry, and no free entry is ever pure black.
//
// The palette comes from median cut over the opaque colours, refined by a few
// rounds of k-means (Lloyd). Everything is ordered and integer-keyed, so the
// same drawing gives the same bytes on every run.
#pragma once

#include <cstdint>
#include <expected>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "lib/canvas.h"
#include "lib/color.h"

namespace art {

struct IndexedImage {
    int width = 0, height = 0;
    std::vector<Rgb8> palette;          // at most 256 entries
    std::vector<std::uint8_t> indices;  // row-major, top row first
    std::uint8_t index_at(int x, int y) const { return indices[std::size_t(y) * std::size_t(width) + std::size_t(x)]; }
    Rgb8 colour_at(int x, int y) const { return palette[index_at(x, y)]; }
};

struct QuantiseOptions {
    int colours = 256;
    // Entries with a fixed colour, e.g. {{0, pure_black}}. A transparent
    // pixel needs a pinned pure-black entry; a pinned non-black colour is
    // also offered to opaque pixels (so an exact colour can be kept).
    std::vector<std::pair<int, Rgb8>> pinned{{0, pure_black}};
    // Require every entry to be used by some pixel: unused entries are moved
    // to the worst-matched colours until all are used (fails when the
    // pictures have too few distinct colours).
    bool all_used = false;
    int refinements = 10;  // k-means rounds after median cut
};

// One palette for several pictures (e.g. the pictures of one lamp).
std::expected<std::vector<Rgb8>, std::string> build_palette(std::span<const Canvas* const> pictures,
                                                             const QuantiseOptions& options);
// Each pixel to its nearest entry: transparent -> the first pure-black entry;
// opaque -> the nearest entry that is not pure black.
std::expected<IndexedImage, std::string> map_to_palette(const Canvas& picture,
                                                         std::span<const Rgb8> palette);
// build_palette + map_to_palette for one picture.
std::expected<IndexedImage, std::string> quantise(const Canvas& picture, const QuantiseOptions& options);

// Whether a pixel of a drawing counts as transparent.
constexpr bool is_transparent(const Rgba& c) { return c.a < 0.5f; }

}  // namespace art
