// The gear position indicator's bitmaps: the instrument face (180 x 180,
// 24 bits per pixel) and the two lamp pictures (20 x 20, 8 bits per pixel),
// red and green. The module uses each lamp file for the two pictures of both
// windows' lamps of that colour.
//
// The lamp pictures share one palette layout and one set of pixel indices:
// entry 0 is pure black (the transparent corners), entry 1 the disc, and the
// rest the bezel. The green file is the red file with entry 1 changed.
#include "lib/bmp.h"
#include "lib/quantise.h"
#include "lib/registry.h"

namespace art::gear_lamps {

// Drawn in gear_lamps_lamp.cpp and gear_lamps_face.cpp.
constexpr int kLampSize = 20;
Canvas draw_lamp(Rgba lens);
bool lamp_disc(int x, int y);
std::expected<Canvas, std::string> draw_face(const IndexedImage& lamp);

constexpr Rgb8 kRed{238, 56, 0};
constexpr Rgb8 kGreen{105, 221, 1};

namespace {

constexpr std::uint8_t kDiscEntry = 1;

// The red lamp, indexed; the disc, and only the disc, uses kDiscEntry.
std::expected<IndexedImage, std::string> indexed_lamp() {
    auto lamp = quantise(draw_lamp(to_rgba(kRed)),
                         {.colours = 256, .pinned = {{0, pure_black}, {kDiscEntry, kRed}}});
    if (!lamp) return lamp;
    for (int y = 0; y < kLampSize; ++y)
        for (int x = 0; x < kLampSize; ++x)
            if ((lamp->index_at(x, y) == kDiscEntry) != lamp_disc(x, y))
                return std::unexpected("bezel and disc share a palette entry");
    return lamp;
}

std::expected<Files, std::string> draw_set() {
    auto red = indexed_lamp();
    if (!red) return std::unexpected("lamp: " + red.error());
    IndexedImage green = *red;
    green.palette[kDiscEntry] = kGreen;

    Files files;
    for (const auto& [image, path] : {std::pair{&*red, "gauges/gear_lamps/bitmaps/lamp_red.bmp"},
                                      std::pair{&green, "gauges/gear_lamps/bitmaps/lamp_green.bmp"}}) {
        auto bytes = encode_bmp8(*image);
        if (!bytes) return std::unexpected(std::string(path) + ": " + bytes.error());
        files.push_back({path, std::move(*bytes)});
    }
    auto face = draw_face(*red);
    if (!face) return std::unexpected("face: " + face.error());
    files.push_back({"gauges/gear_lamps/bitmaps/background.bmp", encode_bmp24(*face)});
    return files;
}

const Registrar registrar{"gear_lamps", draw_set};

}  // namespace

}  // namespace art::gear_lamps
