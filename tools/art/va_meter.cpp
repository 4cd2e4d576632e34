// The volts-amperes meter's bitmaps: the dial on its plate (256 x 256) and
// the needle (70 x 14), written where the module's resource script expects
// them. The module embeds the one needle file for both needles.
#include "lib/bmp.h"
#include "lib/registry.h"

namespace art::va_meter {

// Drawn in va_meter_needle.cpp and va_meter_dial.cpp.
IndexedImage draw_needle();
std::expected<IndexedImage, std::string> draw_dial();

namespace {

std::expected<Files, std::string> draw_set() {
    Files files;
    auto dial = draw_dial();
    if (!dial) return std::unexpected("background: " + dial.error());
    auto background = encode_bmp8(*dial);
    if (!background) return std::unexpected("background: " + background.error());
    files.push_back({"gauges/va_meter/bitmaps/background.bmp", std::move(*background)});
    auto needle = encode_bmp8(draw_needle());
    if (!needle) return std::unexpected("needle: " + needle.error());
    files.push_back({"gauges/va_meter/bitmaps/needle.bmp", std::move(*needle)});
    return files;
}

const Registrar registrar{"va_meter", draw_set};

}  // namespace

}  // namespace art::va_meter
