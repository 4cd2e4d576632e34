// Reading a gauge's records out of guest memory: the element tree in
// drawing order and the gauge header with its mouse-area list. Guest
// memory is untrusted: every read is checked, and cycles and absurd sizes
// end the walk with an error instead of looping.
#include <set>

#include "emu/strprintf.h"
#include "panel/session.h"

namespace panelhost::panel {

namespace guest = gauge::guest;

namespace {

constexpr std::size_t kMaxElements = 256;
constexpr std::uint32_t kMaxDepth = 32;
constexpr std::size_t kMaxChildren = 64;
constexpr std::uint32_t kMaxTableRows = 1024;
constexpr std::size_t kMaxMouseRects = 256;
constexpr std::size_t kMaxText = 1024;

class TreeReader {
public:
    explicit TreeReader(const emu::Machine& m) : m_(m) {}

    Result<void> visit(std::uint32_t address, std::optional<std::size_t> parent, std::uint32_t depth) {
        if (tree.elements.size() >= kMaxElements) return fail(strprintf("more than %zu elements", kMaxElements));
        if (depth > kMaxDepth) return fail(strprintf("elements nested deeper than %u", kMaxDepth));
        if (!seen_.insert(address).second) return fail(strprintf("element 0x%08x appears twice in the tree", address));
        auto h = m_.read_as<guest::ElementHeader>(address);
        if (!h) return fail(strprintf("cannot read the element at 0x%08x", address));

        ElementView e;
        e.index = tree.elements.size();
        e.address = address;
        e.parent = parent;
        e.depth = depth;
        e.kind = h->kind;
        e.resource_id = h->resource_id;
        e.position = h->position;
        e.pivot = h->pivot;
        e.draw_flags = h->draw_flags;
        e.failures = h->failures;
        if (h->kind == gauge::kElementNeedle) {
            auto n = m_.read_as<guest::NeedleElement>(address);
            if (!n) return fail(strprintf("cannot read the needle element at 0x%08x", address));
            e.has_source = true;
            e.source_token = n->source.token;
            e.source_value = n->source.value;
            e.update = n->update;
            if (n->table_rows > kMaxTableRows)
                return fail(strprintf("the needle at 0x%08x claims %u table rows", address, n->table_rows));
            if (n->table_rows && n->table) {
                e.table.resize(n->table_rows);
                auto r = m_.read(n->table, std::span(reinterpret_cast<std::uint8_t*>(e.table.data()),
                                                      e.table.size() * sizeof(gauge::NonlinearityRow)));
                if (!r) return fail(strprintf("cannot read the table of the needle at 0x%08x", address));
            }
        } else if (h->kind == gauge::kElementIcon) {
            auto i = m_.read_as<guest::IconElement>(address);
            if (!i) return fail(strprintf("cannot read the icon element at 0x%08x", address));
            e.has_source = true;
            e.source_token = i->source.token;
            e.source_value = i->source.value;
            e.update = i->update;
            e.switch_mode = i->switch_mode;
            e.picture_count = i->picture_count;
            e.offset = i->offset;
            e.scale = i->scale;
        }
        std::size_t index = e.index;
        tree.elements.push_back(std::move(e));
        if (parent) tree.elements[*parent].children.push_back(index);

        if (!h->children) return {};
        for (std::size_t c = 0;; ++c) {
            if (c >= kMaxChildren) return fail(strprintf("the child list at 0x%08x has no null end", h->children));
            auto child = m_.read_as<std::uint32_t>(h->children + static_cast<std::uint32_t>(4 * c));
            if (!child) return fail(strprintf("cannot read the child list at 0x%08x", h->children));
            if (*child == 0) break;
            if (auto r = visit(*child, index, depth + 1); !r) return r;
        }
        return {};
    }

    ElementTree tree;

private:
    const emu::Machine& m_;
    std::set<std::uint32_t> seen_;
};

}  // namespace

Result<ElementTree> Host::read_tree(std::uint32_t header) const {
    auto h = machine_->read_as<guest::GaugeHeader>(header);
    if (!h) return fail(strprintf("cannot read the gauge header at 0x%08x", header));
    if (!h->elements) return ElementTree{};
    // The element list has one entry, the root; the host takes entry 0.
    auto root = machine_->read_as<std::uint32_t>(h->elements);
    if (!root) return fail(strprintf("cannot read the element list at 0x%08x", h->elements));
    TreeReader reader(*machine_);
    if (*root)
        if (auto r = reader.visit(*root, std::nullopt, 0); !r) return std::unexpected(r.error());
    return std::move(reader.tree);
}

Result<GaugeView> Host::gauge_view(std::uint32_t header) const {
    GaugeView v;
    v.address = header;
    auto h = machine_->read_as<guest::GaugeHeader>(header);
    if (!h) return fail(strprintf("cannot read the gauge header at 0x%08x", header));
    v.header = *h;
    if (h->name) {
        auto name = machine_->read_string(h->name, kMaxText);
        if (!name) return fail("cannot read the gauge name: " + name.error().message);
        v.name = *name;
    }
    if (h->mouse_rects) {
        for (std::size_t i = 0;; ++i) {
            if (i >= kMaxMouseRects) return fail("the mouse-area list has no end record");
            std::uint32_t at = h->mouse_rects + static_cast<std::uint32_t>(i * sizeof(guest::MouseRect));
            auto r = machine_->read_as<guest::MouseRect>(at);
            if (!r) return fail(strprintf("cannot read the mouse-area record at 0x%08x", at));
            MouseRectView mv{at, *r, std::nullopt};
            if (r->type == gauge::kMouseTooltip && r->function) {
                auto text = machine_->read_string(r->function, kMaxText);
                if (!text) return fail(strprintf("cannot read the tooltip text at 0x%08x", r->function));
                mv.tooltip = *text;
            }
            v.mouse_rects.push_back(std::move(mv));
            if (r->type == gauge::kMouseEnd) break;
        }
    }
    return v;
}

}  // namespace panelhost::panel
