// What the renderer draws: a plain picture of a gauge's element tree after an
// update cycle. The session fills it from guest memory and the module's
// bitmap resources; the renderer never sees the emulator.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "render/pixels.h"

namespace panelhost::render {

enum class ElementKind { StaticImage, Needle, Icon };

struct Point {
    int x = 0;
    int y = 0;
};

// One row of a needle's table: the needle shows `value` when it points at
// `point` (background pixels).
struct TableRow {
    Point point;
    double value = 0.0;
};

struct Element {
    ElementKind kind = ElementKind::StaticImage;
    std::string name;                 // for messages and labels; may be empty
    std::uint32_t resource_id = 0;    // first picture
    Point position;                   // static image, icon: top-left corner; needle: turning point
    Point pivot;                      // needle: pixel of its bitmap placed on `position`
    std::uint32_t draw_flags = 0;     // gauge::DrawFlag bits
    // The last result of the element's update callback; empty when it has
    // none or has not been called yet (drawn as for NaN: see painter.h).
    std::optional<double> value;

    // Needle: the table rows in stored order.
    std::vector<TableRow> table;

    // Icon: how `value` picks one of `bitmaps` (see icon_picture.h).
    std::uint32_t switch_mode = 0;
    std::uint32_t picture_count = 0;
    double scale = 0.0;
    std::int32_t offset = 0;

    // Static image and needle: one bitmap. Icon: picture n is bitmaps[n]
    // (resource id + n). Shared, so that many scenes of one gauge (a sweep)
    // decode each bitmap once.
    std::vector<std::shared_ptr<const Bitmap>> bitmaps;
};

struct Scene {
    int width = 0;                    // the root (background) bitmap's size
    int height = 0;
    std::vector<Element> elements;    // drawing order: every parent before its children
};

}  // namespace panelhost::render
