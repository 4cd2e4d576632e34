// Which of an icon's pictures the value shows.
//
// Switch mode 3 (the mode the gauges use) always picks one of the element's
// own pictures:
//   n = round(value * s + offset),  s = scale, or 1 when scale is 0,
// rounded to the nearest integer (halves away from zero), then clamped into
// [0, picture_count - 1]. So 0.0 picks the first picture and 1.0 the second
// (with the stored scale 0.0 and offset 0); 15001 picks the last, -1 and -inf
// the first, +inf the last; NaN picks the first.
// Any other mode is drawn by the same rule: a picture is always drawn, and
// the rule is what mode 3 relies on. An icon without pictures draws nothing
// (the result is then 0 and there is no picture to take).
#pragma once

#include <cstdint>

namespace panelhost::render {

std::uint32_t icon_picture(double value, std::uint32_t switch_mode, std::uint32_t picture_count,
                           double scale, std::int32_t offset);

}  // namespace panelhost::render
