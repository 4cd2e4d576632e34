#include "validate/static_gauge.h"

#include <fmt/format.h>
#include <set>

namespace panelhost::validate {
namespace {

namespace g = gauge;
namespace gg = gauge::guest;

// Bounds on walks over records the module controls, so that a list without
// its end marker or a tree with a loop is a finding, not a hang.
constexpr std::size_t kMaxElements = 256;
constexpr std::size_t kMaxChildren = 64;
constexpr std::size_t kMaxFailureRecords = 64;
constexpr std::size_t kMaxMouseRects = 256;

void error(std::vector<Finding>& to, std::string what) { to.push_back({Severity::error, std::move(what)}); }
void warn(std::vector<Finding>& to, std::string what) { to.push_back({Severity::warning, std::move(what)}); }

void read_exports(const pe::Image& image, StaticGauge& out, std::string_view file_name) {
    if (!image.export_module_name().empty() && image.export_module_name() != file_name)
        warn(out.export_problems, fmt::format("the export table names the module \"{}\", the file is \"{}\"",
                                              image.export_module_name(), file_name));
    for (const char* name : {"Linkage", "ImportTable"}) {
        const pe::Export* e = image.find_export(name);
        if (e == nullptr) {
            error(out.export_problems, fmt::format("no export named \"{}\"", name));
            continue;
        }
        if (e->forwarder) {
            error(out.export_problems, fmt::format("\"{}\" is forwarded to {}, not a record of the module", name, *e->forwarder));
            continue;
        }
        const std::uint32_t va = image.image_base() + e->rva;
        (std::string_view(name) == "Linkage" ? out.linkage_va : out.import_table_va) = va;
    }
    for (const pe::Export& e : image.exports()) {
        if (e.name == "Linkage" || e.name == "ImportTable") continue;
        warn(out.export_problems, fmt::format("further export {} (ordinal {}): the host reaches a module only through Linkage and ImportTable",
                                              e.name.empty() ? "by ordinal" : "\"" + e.name + "\"", e.ordinal));
    }
}

void check_data_export(const ImageMemory& memory, std::string_view name, std::uint32_t va, std::size_t size,
                       std::vector<Finding>& problems) {
    const pe::Section* s = memory.section_at(va);
    if (s == nullptr || !memory.contains(va, size)) {
        error(problems, fmt::format("{} at {} does not lie wholly inside a section of the image", name, memory.describe(va)));
    } else if (s->executable()) {
        error(problems, fmt::format("{} at {} lies in executable code; it must be exported as data", name, memory.describe(va)));
    }
}

void read_linkage(const ImageMemory& memory, StaticGauge& out) {
    if (!out.linkage_va) return;
    const std::uint32_t va = *out.linkage_va;
    auto& p = out.linkage_problems;
    check_data_export(memory, "Linkage", va, sizeof(gg::Linkage), p);
    out.linkage = memory.read<gg::Linkage>(va);
    if (!out.linkage) return;
    const gg::Linkage& l = *out.linkage;
    if (l.module_id != g::kModuleId)
        error(p, fmt::format("module id {:#x}, expected {:#x}", l.module_id, g::kModuleId));
    if (l.version != g::kModuleVersion)
        error(p, fmt::format("module version {:#x}, expected {:#x}", l.version, g::kModuleVersion));
    for (auto [hook, addr] : {std::pair{"module-initialise hook", l.module_init}, {"module-deinitialise hook", l.module_deinit}}) {
        if (!memory.in_code(addr))
            error(p, fmt::format("{} {} is not in the module's executable code", hook, memory.describe(addr)));
    }
    if (l.gauges[0] == 0) {
        error(p, "the gauge table's first entry is null: no gauge is registered");
    } else if (l.gauges[1] != 0) {
        error(p, fmt::format("the gauge table's second entry is {}, expected the null end after exactly one gauge header",
                             memory.describe(l.gauges[1])));
    }
}

void read_import_table(const ImageMemory& memory, StaticGauge& out) {
    if (!out.import_table_va) return;
    auto& p = out.import_table_problems;
    check_data_export(memory, "ImportTable", *out.import_table_va, sizeof(gg::ImportTable), p);
    out.import_table = memory.read<gg::ImportTable>(*out.import_table_va);
    if (!out.import_table) return;
    const gg::ImportTable& t = *out.import_table;
    if (t.entries[0].id != g::kImportPanelServices)
        error(p, fmt::format("first entry's id {:#x}, expected {:#x} (the panel-services table)", t.entries[0].id, g::kImportPanelServices));
    if (t.entries[0].ref != 0)
        warn(p, fmt::format("first entry's reference is {:#x} as stored, expected null until the host writes it", t.entries[0].ref));
    if (t.entries[1].id != 0 || t.entries[1].ref != 0)
        error(p, fmt::format("second entry is {{{:#x}, {:#x}}}, expected the end marker {{0, null}}", t.entries[1].id, t.entries[1].ref));
    if (!memory.in_writable(*out.import_table_va))
        error(p, fmt::format("ImportTable at {} is not writable, but the host writes its table address there",
                             memory.describe(*out.import_table_va)));
}

void read_header(const ImageMemory& memory, StaticGauge& out, std::string_view file_stem) {
    if (!out.linkage || out.linkage->gauges[0] == 0) return;
    auto& p = out.header_problems;
    out.header_va = out.linkage->gauges[0];
    out.header = memory.read<gg::GaugeHeader>(out.header_va);
    if (!out.header) {
        error(p, fmt::format("the gauge header at {} does not lie inside the image", memory.describe(out.header_va)));
        return;
    }
    const gg::GaugeHeader& h = *out.header;
    if (h.header_version != g::kGaugeHeaderVersion)
        error(p, fmt::format("header version {}, expected {}", h.header_version, g::kGaugeHeaderVersion));
    out.name = h.name == 0 ? std::nullopt : memory.c_string(h.name);
    if (!out.name) {
        error(p, fmt::format("the gauge name at {} is not a zero-terminated string inside the image", memory.describe(h.name)));
    } else if (out.name->empty()) {
        error(p, "the gauge name is empty");
    } else if (*out.name != file_stem) {
        warn(p, fmt::format("gauge name \"{}\" differs from the file name \"{}\"", *out.name, file_stem));
    }
    if (!memory.in_code(h.callback))
        error(p, fmt::format("gauge callback {} is not in the module's executable code", memory.describe(h.callback)));
    if (h.elements == 0 || !memory.read<std::uint32_t>(h.elements))
        error(p, fmt::format("the element list at {} cannot be read", memory.describe(h.elements)));
    if (!memory.in_writable(out.header_va))
        warn(p, fmt::format("the gauge header at {} is not writable; the host keeps its own fields there",
                            memory.describe(out.header_va)));
}

void check_failure_list(const ImageMemory& memory, const std::string& who, std::uint32_t va, std::vector<Finding>& p) {
    if (va == 0) {
        warn(p, fmt::format("{} has no failure list", who));
        return;
    }
    for (std::size_t i = 0; i < kMaxFailureRecords; ++i) {
        auto r = memory.read<g::FailureRecord>(va + static_cast<std::uint32_t>(i * sizeof(g::FailureRecord)));
        if (!r) {
            error(p, fmt::format("{}'s failure list at {} runs outside the image before its end record", who, memory.describe(va)));
            return;
        }
        if (r->key == 0 && r->action == 0) return;
    }
    error(p, fmt::format("{}'s failure list at {} has no end record within {} records", who, memory.describe(va), kMaxFailureRecords));
}

// Reads one element and its kind-specific fields; false when it cannot be read.
bool read_element(const ImageMemory& memory, std::uint32_t va, std::uint32_t header_va, StaticElement& e,
                  std::vector<Finding>& p) {
    auto h = memory.read<gg::ElementHeader>(va);
    if (!h) {
        error(p, fmt::format("element at {} does not lie inside the image", memory.describe(va)));
        return false;
    }
    e.address = va;
    e.header = *h;
    const std::string who = fmt::format("{} element at {:#x}", element_kind_name(h->kind), va);
    if (!memory.in_writable(va))
        error(p, fmt::format("{} lies in read-only memory ({}); the host writes its draw flags and values in place",
                             who, memory.describe(va)));
    if ((h->draw_flags & ~g::kKnownDrawFlags) != 0)
        error(p, fmt::format("{} is stored with draw flags {:#x}: bits {:#x} are none of the known 0x1, 0x2, 0x4, 0x80, 0x40000000",
                             who, h->draw_flags, h->draw_flags & ~g::kKnownDrawFlags));
    if (h->gauge != header_va)
        warn(p, fmt::format("{} refers to gauge header {:#x}, not its own {:#x}", who, h->gauge, header_va));
    check_failure_list(memory, who, h->failures, p);

    auto check_update = [&](std::uint32_t update) {
        if (update == 0)
            warn(p, fmt::format("{} has no update callback; the host shows its unrefreshed source value", who));
        else if (!memory.in_code(update))
            error(p, fmt::format("{}'s update callback {} is not in the module's executable code", who, memory.describe(update)));
    };
    switch (h->kind) {
    case g::kElementStaticImage:
        break;
    case g::kElementNeedle: {
        auto n = memory.read<gg::NeedleElement>(va);
        if (!n) {
            error(p, fmt::format("{} is cut off by the end of the image", who));
            return false;
        }
        e.source_token = n->source.token;
        e.update = n->update;
        e.table = n->table;
        e.table_rows = n->table_rows;
        check_update(n->update);
        if (n->table_rows == 0 || n->table_rows > 4096)
            error(p, fmt::format("{} has a non-linearity table of {} rows", who, n->table_rows));
        else if (!memory.contains(n->table, std::uint64_t(n->table_rows) * sizeof(g::NonlinearityRow)))
            error(p, fmt::format("{}'s non-linearity table of {} rows at {} runs outside the image", who, n->table_rows,
                                 memory.describe(n->table)));
        break;
    }
    case g::kElementIcon: {
        auto i = memory.read<gg::IconElement>(va);
        if (!i) {
            error(p, fmt::format("{} is cut off by the end of the image", who));
            return false;
        }
        e.source_token = i->source.token;
        e.update = i->update;
        e.picture_count = i->picture_count;
        check_update(i->update);
        if (i->picture_count == 0 || i->picture_count > 256) {
            error(p, fmt::format("{} has {} pictures", who, i->picture_count));
            e.picture_count = 0;
        }
        break;
    }
    default:
        error(p, fmt::format("element at {:#x} has unknown kind {} (known: 0 static image, 1 needle, 4 icon)", va, h->kind));
        return false;
    }
    return true;
}

void read_tree(const ImageMemory& memory, StaticGauge& out) {
    if (!out.header) return;
    auto& p = out.tree_problems;
    auto root = memory.read<std::uint32_t>(out.header->elements);
    if (!root) return;  // reported with the header
    if (*root == 0) {
        error(p, "the element list's entry is null: the gauge has no root element");
        return;
    }
    std::set<std::uint32_t> seen;
    bool complete = true;
    // Depth-first in drawing order: an element, then each child's subtree.
    auto walk = [&](auto&& self, std::uint32_t va, std::uint32_t parent) -> void {
        if (out.elements.size() >= kMaxElements) {
            if (complete) error(p, fmt::format("more than {} elements: the tree is not plausible", kMaxElements));
            complete = false;
            return;
        }
        if (!seen.insert(va).second) {
            error(p, fmt::format("element {:#x} is reached twice: the tree has a loop or a shared child", va));
            complete = false;
            return;
        }
        StaticElement e;
        e.parent = parent;
        if (!read_element(memory, va, out.header_va, e, p)) {
            complete = false;
            return;
        }
        out.elements.push_back(e);
        if (e.header.children == 0) return;
        for (std::size_t i = 0;; ++i) {
            if (i == kMaxChildren) {
                error(p, fmt::format("element {:#x}'s child list has no null end within {} entries", va, kMaxChildren));
                complete = false;
                return;
            }
            auto child = memory.read<std::uint32_t>(e.header.children + static_cast<std::uint32_t>(4 * i));
            if (!child) {
                error(p, fmt::format("element {:#x}'s child list at {} runs outside the image", va, memory.describe(e.header.children)));
                complete = false;
                return;
            }
            if (*child == 0) break;
            self(self, *child, va);
        }
    };
    walk(walk, *root, 0);
    if (!out.elements.empty() && out.elements.front().header.kind != g::kElementStaticImage)
        warn(p, fmt::format("the root element is a {}, not a static image", element_kind_name(out.elements.front().header.kind)));
    out.tree_complete = complete;
}

void read_mouse_rects(const ImageMemory& memory, StaticGauge& out) {
    if (!out.header || out.header->mouse_rects == 0) return;
    auto& p = out.mouse_problems;
    const std::uint32_t va = out.header->mouse_rects;
    for (std::size_t i = 0; i < kMaxMouseRects; ++i) {
        auto r = memory.read<gg::MouseRect>(va + static_cast<std::uint32_t>(i * sizeof(gg::MouseRect)));
        if (!r) {
            error(p, fmt::format("the mouse-area list at {} runs outside the image before its end record", memory.describe(va)));
            return;
        }
        out.mouse_rects.push_back(*r);
        switch (r->type) {
        case g::kMouseEnd:
            return;
        case g::kMouseParent:
        case g::kMouseChild:
        case g::kMouseEndParent:
            break;
        case g::kMouseTooltip: {
            auto text = memory.c_string(r->function, 1024);
            if (!text)
                error(p, fmt::format("record {}: the tooltip text at {} is not a zero-terminated string inside the image", i,
                                     memory.describe(r->function)));
            else
                out.tooltip = *text;
            break;
        }
        default:
            error(p, fmt::format("record {} has unknown type {} (known: 0 end, 1 parent, 2 child, 3 end of parent, 4 tooltip)",
                                 i, r->type));
            return;
        }
    }
    error(p, fmt::format("the mouse-area list at {} has no end record within {} records", memory.describe(va), kMaxMouseRects));
}

}  // namespace

std::vector<std::uint32_t> StaticElement::bitmaps() const {
    std::vector<std::uint32_t> ids;
    const std::uint32_t count = header.kind == gauge::kElementIcon ? picture_count : 1;
    for (std::uint32_t n = 0; n < count; ++n) ids.push_back(header.resource_id + n);
    return ids;
}

std::string element_kind_name(std::uint32_t kind) {
    switch (kind) {
    case gauge::kElementStaticImage: return "static image";
    case gauge::kElementNeedle: return "needle";
    case gauge::kElementIcon: return "icon";
    default: return fmt::format("kind-{}", kind);
    }
}

StaticGauge read_static_gauge(const pe::Image& image, const ImageMemory& memory, std::string_view file_name) {
    StaticGauge out;
    const std::string_view file_stem = file_name.substr(0, file_name.rfind('.'));
    read_exports(image, out, file_name);
    read_linkage(memory, out);
    read_import_table(memory, out);
    read_header(memory, out, file_stem);
    read_tree(memory, out);
    read_mouse_rects(memory, out);
    return out;
}

}  // namespace panelhost::validate
