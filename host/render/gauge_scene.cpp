#include "render/gauge_scene.h"

#include "render/painter.h"

namespace panelhost::render {
namespace {

ElementKind kind_of(std::uint32_t kind) {
    switch (kind) {
    case gauge::kElementNeedle: return ElementKind::Needle;
    case gauge::kElementIcon: return ElementKind::Icon;
    default: return ElementKind::StaticImage;
    }
}

}  // namespace

Result<Scene> scene_from_tree(const panel::ElementTree& tree, ModuleBitmaps& bitmaps) {
    Scene scene;
    for (const panel::ElementView& view : tree.elements) {
        if (view.kind != gauge::kElementStaticImage && view.kind != gauge::kElementNeedle &&
            view.kind != gauge::kElementIcon)
            return std::unexpected(Error{"element " + std::to_string(view.index) + ": kind " +
                                         std::to_string(view.kind) + " cannot be drawn"});
        Element e;
        e.kind = kind_of(view.kind);
        e.resource_id = view.resource_id;
        e.position = {view.position.x, view.position.y};
        e.pivot = {view.pivot.x, view.pivot.y};
        e.draw_flags = view.draw_flags;
        e.value = view.last_result;
        if (!e.value && view.update == 0 && view.has_source) e.value = view.source_value;

        std::uint64_t pictures = 1;
        if (e.kind == ElementKind::Icon) {
            e.switch_mode = view.switch_mode;
            e.picture_count = view.picture_count;
            e.scale = view.scale;
            e.offset = view.offset;
            pictures = view.picture_count;
        }
        for (std::uint64_t n = 0; n < pictures; ++n) {
            const std::uint64_t id = std::uint64_t(view.resource_id) + n;
            if (id > 0xFFFFFFFFu)
                return std::unexpected(Error{"element " + std::to_string(view.index) +
                                             ": picture ids run past 0xFFFFFFFF"});
            auto bitmap = bitmaps.get(static_cast<std::uint32_t>(id));
            if (!bitmap) return std::unexpected(bitmap.error());
            e.bitmaps.push_back(std::move(*bitmap));
        }
        for (const gauge::NonlinearityRow& row : view.table)
            e.table.push_back({{row.point.x, row.point.y}, row.value});
        scene.elements.push_back(std::move(e));
    }
    if (scene.elements.empty() || scene.elements.front().bitmaps.empty())
        return std::unexpected(Error{"the gauge has no root bitmap to draw on"});
    scene.width = scene.elements.front().bitmaps.front()->width;
    scene.height = scene.elements.front().bitmaps.front()->height;
    return scene;
}

Result<Frame> render_gauge(const panel::Host& host, const panel::GaugeInstance& gauge,
                           ModuleBitmaps& bitmaps) {
    auto tree = host.elements(gauge);
    if (!tree) return std::unexpected(Error{tree.error().message});
    auto scene = scene_from_tree(*tree, bitmaps);
    if (!scene) return std::unexpected(scene.error());
    return render(*scene);
}

}  // namespace panelhost::render
