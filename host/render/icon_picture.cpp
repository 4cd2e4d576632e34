#include "render/icon_picture.h"

#include <cmath>

namespace panelhost::render {

std::uint32_t icon_picture(double value, std::uint32_t /*switch_mode*/, std::uint32_t picture_count,
                           double scale, std::int32_t offset) {
    if (picture_count == 0 || std::isnan(value)) return 0;
    const double n = std::round(value * (scale == 0.0 ? 1.0 : scale) + offset);
    if (std::isnan(n) || n <= 0.0) return 0;   // NaN here: a NaN scale from the record
    const double last = double(picture_count - 1);
    return n >= last ? picture_count - 1 : static_cast<std::uint32_t>(n);
}

}  // namespace panelhost::render
