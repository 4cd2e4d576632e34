// From a gauge instance in the panel host to a scene: the element tree as
// the host read it from guest memory after an update cycle, with each
// element's bitmaps from the module's resources.
//
// - Static image and needle: the bitmap of the element's resource id; icon:
//   picture n is the bitmap of resource id + n, for every n below the
//   picture count. Every one must exist and decode (the host loads them
//   when it sets the gauge up): otherwise an error naming the id.
// - The value drawn is the element's latest update-callback result; an
//   element without an update callback shows its source variable as the
//   record holds it.
// - The scene has the size of the root (first) element's bitmap.
#pragma once

#include <string>

#include "panel/session.h"
#include "render/error.h"
#include "render/module_bitmaps.h"
#include "render/pixels.h"
#include "render/scene.h"

namespace panelhost::render {

Result<Scene> scene_from_tree(const panel::ElementTree& tree, ModuleBitmaps& bitmaps);

// The instance's elements as they stand now, drawn.
Result<Frame> render_gauge(const panel::Host& host, const panel::GaugeInstance& gauge,
                           ModuleBitmaps& bitmaps);

}  // namespace panelhost::render
