// Level 1: the module file and its stored records, read without running it.
#include "render/dib.h"
#include "validate/subject.h"
#include "validate/suite.h"

#include <fmt/format.h>
#include <set>

namespace panelhost::validate {
namespace {

void report(const std::vector<Finding>& findings, Check& check) {
    for (const Finding& f : findings) {
        if (f.severity == Severity::error)
            check.error(f.what);
        else
            check.warn(f.what);
    }
}

void pe_image(Subject& s, Check& check) {
    if (!s.image) {
        check.error(fmt::format("not a loadable module: {}", s.image_error));
        return;
    }
    if (!s.image->is_dll())
        check.error(fmt::format("the COFF header's characteristics {:#x} lack the DLL bit 0x2000", s.image->characteristics()));
    if (s.image->entry_point_rva() == 0)
        check.warn("the module has no entry point; the host calls none");
}

void exports(Subject& s, Check& check) { report(s.gauge->export_problems, check); }

void linkage(Subject& s, Check& check) {
    if (!s.gauge->linkage_va) return check.error("cannot be checked: the module exports no \"Linkage\"");
    if (!s.gauge->linkage) return check.error("\"Linkage\" is cut off by the end of the image");
    report(s.gauge->linkage_problems, check);
}

void import_table(Subject& s, Check& check) {
    if (!s.gauge->import_table_va) return check.error("cannot be checked: the module exports no \"ImportTable\"");
    if (!s.gauge->import_table) return check.error("\"ImportTable\" is cut off by the end of the image");
    report(s.gauge->import_table_problems, check);
}

void gauge_header(Subject& s, Check& check) {
    if (!s.gauge->linkage || s.gauge->linkage->gauges[0] == 0)
        return check.error("cannot be checked: \"Linkage\" names no gauge header");
    report(s.gauge->header_problems, check);
}

void element_tree(Subject& s, Check& check) {
    if (!s.gauge->header) return check.error("cannot be checked: no gauge header could be read");
    report(s.gauge->tree_problems, check);
    if (s.gauge->elements.empty() && s.gauge->tree_problems.empty())
        check.error("the element tree could not be read");
}

void mouse_areas(Subject& s, Check& check) {
    if (!s.gauge->header) return check.error("cannot be checked: no gauge header could be read");
    report(s.gauge->mouse_problems, check);
}

void bitmaps(Subject& s, Check& check) {
    if (s.gauge->elements.empty()) return check.error("cannot be checked: no element could be read");
    if (!s.gauge->tree_complete) check.error("only part of the element tree could be read; its other bitmaps are unchecked");
    std::set<std::uint32_t> done;
    for (const StaticElement& e : s.gauge->elements) {
        for (std::uint32_t id : e.bitmaps()) {
            if (!done.insert(id).second) continue;
            const pe::Resource* r = s.image->find_resource(pe::kResourceBitmap, id);
            if (r == nullptr) {
                check.error(fmt::format("bitmap {:#x}, named by the {} element at {:#x}, is not among the module's resources",
                                        id, element_kind_name(e.header.kind), e.address));
                continue;
            }
            if (auto bitmap = render::decode_dib(r->bytes); !bitmap)
                check.error(fmt::format("bitmap {:#x} cannot be decoded: {}", id, bitmap.error().message));
        }
    }
}

void version_resource(Subject& s, Check& check) {
    auto v = s.image->version_info();
    if (!v) return check.error(fmt::format("no readable version resource: {}", v.error().message));
    if (v->file_version_ms == 0 && v->file_version_ls == 0) check.warn("the file version is 0.0.0.0");
    if (v->string_tables.empty()) check.warn("the version resource has no string table");
    if (v->translations.empty()) check.warn("the version resource has no translation entry");
    bool has_file_version = false;
    for (const auto& table : v->string_tables)
        for (const auto& [key, value] : table.strings) has_file_version |= key == "FileVersion";
    if (!v->string_tables.empty() && !has_file_version) check.warn("no string table holds \"FileVersion\"");
}

TestCase file_test(std::string name, std::string checks, void (*run)(Subject&, Check&), bool needs_image = true) {
    return TestCase{.level = 1, .group = "file", .name = "file/" + name, .checks = std::move(checks),
                    .needs_image = needs_image, .run = run};
}

}  // namespace

std::vector<TestCase> file_tests() {
    return {
        file_test("pe-image", "a PE32 i386 DLL", pe_image, false),
        file_test("exports", "\"Linkage\" and \"ImportTable\" exported by name, nothing else", exports),
        file_test("linkage", "Linkage: module id, version, hooks, exactly one gauge header", linkage),
        file_test("import-table", "ImportTable: the panel-services entry, then the end marker; data, writable", import_table),
        file_test("gauge-header", "the gauge header: version 800, name, element list, callback", gauge_header),
        file_test("element-tree", "every element readable and well formed, the tree finite", element_tree),
        file_test("mouse-areas", "the mouse-area list: known types, an end record, tooltip text", mouse_areas),
        file_test("bitmaps", "every bitmap an element names present and decodable", bitmaps),
        file_test("version-resource", "a readable version resource", version_resource),
    };
}

}  // namespace panelhost::validate
