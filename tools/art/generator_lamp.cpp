// The generator warning lamp's bitmaps: the lamp dark (the gauge's background
// and the lamp's first picture, one file) and lit (the lamp's second picture).
//
// Both files have 256-entry palettes whose first and last entries are pure
// black. The palettes are laid out alike:
//   0                   pure black, the transparent colour
//   1 .. kHousingColours the housing, the same entries in both files
//   then                the glass, dark or lit
//   255                 pure black
// Pixels off the glass may only use the housing entries, so the two pictures
// are identical outside the lens, and the host's switch between them changes
// nothing else.
#include <algorithm>

#include "lib/bmp.h"
#include "lib/quantise.h"
#include "lib/registry.h"

namespace art::generator_lamp {

// Drawn in generator_lamp_draw.cpp.
Canvas draw(bool lit);
bool on_glass(int x, int y);

namespace {

constexpr int kHousingColours = 190;
constexpr int kGlassColours = 254 - kHousingColours;

// A copy of the picture with the pixels that `keep` rejects made transparent.
Canvas only(const Canvas& picture, bool keep_glass) {
    Canvas out = picture;
    for (int y = 0; y < out.height(); ++y)
        for (int x = 0; x < out.width(); ++x)
            if (on_glass(x, y) != keep_glass) out.at(x, y) = {0, 0, 0, 0};
    return out;
}

std::expected<std::vector<Rgb8>, std::string> palette_of(const Canvas& picture, int colours) {
    const Canvas* one[] = {&picture};
    return build_palette(one, {.colours = colours + 1, .pinned = {{0, pure_black}}});
}

// The picture indexed with the housing entries for every pixel off the glass
// and any entry for the glass.
std::expected<IndexedImage, std::string> index(const Canvas& picture, const std::vector<Rgb8>& housing,
                                               const std::vector<Rgb8>& glass) {
    std::vector<Rgb8> palette{pure_black};
    palette.insert(palette.end(), housing.begin() + 1, housing.end());
    palette.insert(palette.end(), glass.begin() + 1, glass.end());
    palette.resize(256, pure_black);
    // Pure-black entries are never chosen for opaque pixels, so blanking the
    // glass entries keeps the housing's pixels to the housing's entries.
    std::vector<Rgb8> housing_only = palette;
    std::fill(housing_only.begin() + 1 + kHousingColours, housing_only.end(), pure_black);

    auto off_glass = map_to_palette(only(picture, false), housing_only);
    if (!off_glass) return off_glass;
    auto on = map_to_palette(only(picture, true), palette);
    if (!on) return on;
    IndexedImage out = std::move(*off_glass);
    out.palette = palette;
    for (int y = 0; y < out.height; ++y)
        for (int x = 0; x < out.width; ++x)
            if (on_glass(x, y)) out.indices[std::size_t(y * out.width + x)] = on->index_at(x, y);
    return out;
}

std::expected<Files, std::string> draw_set() {
    const Canvas dark = draw(false), lit = draw(true);
    auto housing = palette_of(only(dark, false), kHousingColours);
    if (!housing) return std::unexpected("housing palette: " + housing.error());
    Files files;
    for (const auto& [picture, path] : {std::pair{&dark, "gauges/generator_lamp/bitmaps/lamp_dark.bmp"},
                                        std::pair{&lit, "gauges/generator_lamp/bitmaps/lamp_lit.bmp"}}) {
        auto glass = palette_of(only(*picture, true), kGlassColours);
        if (!glass) return std::unexpected(std::string(path) + ": glass palette: " + glass.error());
        auto indexed = index(*picture, *housing, *glass);
        if (!indexed) return std::unexpected(std::string(path) + ": " + indexed.error());
        auto bytes = encode_bmp8(*indexed);
        if (!bytes) return std::unexpected(std::string(path) + ": " + bytes.error());
        files.push_back({path, std::move(*bytes)});
    }
    return files;
}

const Registrar registrar{"generator_lamp", draw_set};

}  // namespace

}  // namespace art::generator_lamp
