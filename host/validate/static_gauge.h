// The module's gauge as its stored records describe it, read from the file
// without running anything: Linkage -> gauge header -> element tree and
// mouse-area list. Every problem met on the way is kept, bucketed by the
// record it concerns, so that each file test reports its own.
#pragma once

#include "validate/check.h"
#include "validate/image_memory.h"

#include <gauge/records.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace panelhost::validate {

struct StaticElement {
    std::uint32_t address = 0;
    std::uint32_t parent = 0;                 // 0 for the root
    gauge::guest::ElementHeader header{};
    std::uint32_t source_token = 0;           // needle and icon
    std::uint32_t update = 0;                 // needle and icon: update callback
    std::uint32_t picture_count = 1;          // icon
    std::uint32_t table = 0, table_rows = 0;  // needle

    // Bitmap resource ids the host loads for this element.
    std::vector<std::uint32_t> bitmaps() const;
};

struct StaticGauge {
    std::optional<std::uint32_t> linkage_va, import_table_va;
    std::optional<gauge::guest::Linkage> linkage;
    std::optional<gauge::guest::ImportTable> import_table;
    std::uint32_t header_va = 0;
    std::optional<gauge::guest::GaugeHeader> header;
    std::optional<std::string> name;
    std::vector<StaticElement> elements;      // drawing order: parents first
    std::vector<gauge::guest::MouseRect> mouse_rects;
    std::optional<std::string> tooltip;

    std::vector<Finding> export_problems, linkage_problems, import_table_problems,
        header_problems, tree_problems, mouse_problems;

    // The element tree could be walked to its end.
    bool tree_complete = false;
};

// `file_name` is the module's file name ("X.gau"): the export table's module
// name should equal it, and the gauge name equal it without the extension.
StaticGauge read_static_gauge(const pe::Image& image, const ImageMemory& memory, std::string_view file_name);

std::string element_kind_name(std::uint32_t kind);

}  // namespace panelhost::validate
