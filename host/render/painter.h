// Drawing a scene into an RGBA frame: what the pilot sees.
//
// The frame has the scene's size (the root bitmap's) and is transparent
// (alpha 0) wherever nothing is drawn. Elements are drawn in the scene's
// order, each on top of what came before, so children land on their parents.
//
// Per element:
// - hidden (0x40000000): not drawn; its children are drawn as usual (a child
//   is hidden only by its own flag);
// - transparent (0x1): pure-black (0, 0, 0) pixels of its bitmap are not
//   drawn;
// - static image: its bitmap with the top-left corner at `position`;
// - icon: the picture icon_picture() picks, top-left corner at `position`;
// - needle: its bitmap points to +x from `pivot`; it is turned to the angle
//   needle_angle() gives for the value and drawn with the pivot on
//   `position`. Each frame pixel is mapped back into the bitmap (inverse
//   mapping, so no holes): nearest pixel, or with bilinear (0x80) a weighted
//   mix of the four nearest. Under bilinear, transparency is coverage: a
//   pure-black or outside tap adds nothing, and the partly covered edge is
//   blended over what is below, so no black fringe shows.
// - no value yet: drawn as for NaN (first table row, first picture).
// - erase (0x2) needs nothing: every frame is drawn afresh from an empty
//   one, so no stale picture is left to erase. Lit (0x4): drawn in the
//   bitmap's own colours (no night lighting).
// An element without the bitmap its kind needs draws nothing.
#pragma once

#include "render/pixels.h"
#include "render/scene.h"

namespace panelhost::render {

Frame render(const Scene& scene);

// The same into an existing frame (resized and cleared), so a caller that
// draws many frames reuses one buffer.
void render_into(const Scene& scene, Frame& frame);

// Draws one element on top of the frame's contents.
void draw_element(const Element& element, Frame& frame);

}  // namespace panelhost::render
