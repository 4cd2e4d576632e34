// The needle of the volts-amperes meter (70 x 14, two colours).
//
// One picture serves both needles; it points to the right of its pivot
// (column 2) and its shape is fixed pixel for pixel: the needles' pivot rows
// (7 for volts, 6 for amps) put its centre line, row 5, where the dial's
// calibration expects it, and the 28 clear columns after the pivot leave the
// letters V and A uncovered. Two flat colours, no anti-aliasing: pure black
// is transparent to the host, and a blended edge pixel would be an opaque
// dark fringe.
#include "lib/quantise.h"

namespace art::va_meter {

namespace {

constexpr int width = 70, height = 14;
constexpr Rgb8 needle_grey{227, 227, 227};

// The painted runs: rows first..last over columns x0..x1, all inclusive.
struct Run {
    int first_row, last_row, x0, x1;
};
constexpr Run shape[] = {
    {3, 7, 31, 67},  // the bar
    {2, 8, 44, 64},  // its widened middle
    {4, 6, 68, 69},  // the point
};

}  // namespace

IndexedImage draw_needle() {
    IndexedImage img{width, height, {pure_black, needle_grey}, {}};
    img.indices.assign(std::size_t(width * height), 0);
    for (const Run& r : shape)
        for (int y = r.first_row; y <= r.last_row; ++y)
            for (int x = r.x0; x <= r.x1; ++x) img.indices[std::size_t(y * width + x)] = 1;
    return img;
}

}  // namespace art::va_meter
