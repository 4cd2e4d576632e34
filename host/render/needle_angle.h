// Turning a needle's value into its angle through the element's table.
//
// Angles are in degrees clockwise from +x on screen (y grows downwards), in
// [0, 360): 0 points right, 90 down, 180 left, 270 up.
//
// - Each row's direction is the direction from the needle's position to the
//   row's point.
// - The rows are taken in their stored order, whichever way the values run
//   (ascending and descending tables alike). The first pair of neighbouring
//   rows whose values enclose the value decides: the angle turns linearly in
//   value from one row's direction to the other's along the shorter arc
//   between them (half a turn exactly goes clockwise). So an amps table of
//   60 at 276.24 and 0 at 40.71 turns 124.47 degrees anticlockwise from 0 to
//   60, never 235.53 clockwise, and 20 lands at 359.22.
// - Neighbouring rows of equal value: the earlier row's direction.
// - A value outside the table's range (infinities included) takes the
//   direction of the end row it lies beyond: above the largest value, the
//   row holding the largest value; below the smallest, the row holding the
//   smallest (the first such row when several hold it). The needle stops at
//   the end of its scale like a mechanical pointer on its stop.
// - NaN (and a needle without a value) takes the first row's direction: the
//   start of the scale as stored.
// - A table of one row always gives that row's direction; an empty table
//   gives 0 (the bitmap as drawn, pointing right).
#pragma once

#include <span>

#include "render/scene.h"

namespace panelhost::render {

double row_direction(Point position, Point row_point);

double needle_angle(std::span<const TableRow> table, Point position, double value);

}  // namespace panelhost::render
