// `panelhost inspect FILE.gau [--json]`: everything the file and its
// records say, without running a life.
#include <CLI/CLI.hpp>

#include <cstring>
#include <filesystem>

#include "cli/context.h"
#include "cli/report.h"
#include "emu/strprintf.h"
#include "panel/session.h"
#include "trace/trace.h"

namespace panelhost::cli {

namespace {

using trace::hex;
using trace::Json;

const char* kind_name(std::uint32_t kind) {
    switch (kind) {
    case gauge::kElementStaticImage: return "static_image";
    case gauge::kElementNeedle: return "needle";
    case gauge::kElementIcon: return "icon";
    }
    return "unknown";
}

const char* mouse_type_name(std::uint32_t type) {
    switch (type) {
    case gauge::kMouseEnd: return "end";
    case gauge::kMouseParent: return "parent";
    case gauge::kMouseChild: return "child";
    case gauge::kMouseEndParent: return "end_parent";
    case gauge::kMouseTooltip: return "tooltip";
    }
    return "unknown";
}

Json element_json(const panel::ElementView& e) {
    Json j = {{"index", e.index}, {"depth", e.depth}, {"address", hex(e.address)},
              {"parent", e.parent ? Json(*e.parent) : Json(nullptr)}, {"kind", e.kind},
              {"kind_name", kind_name(e.kind)}, {"resource_id", hex(e.resource_id)},
              {"position", {e.position.x, e.position.y}}, {"pivot", {e.pivot.x, e.pivot.y}},
              {"draw_flags", hex(e.draw_flags)}, {"failures", hex(e.failures)}, {"children", e.children}};
    if (e.has_source) {
        j["source_token"] = e.source_token;
        j["callback"] = hex(e.update);
    }
    if (e.kind == gauge::kElementNeedle) {
        Json rows = Json::array();
        for (const auto& r : e.table) rows.push_back({{"point", {r.point.x, r.point.y}}, {"value", trace::value(r.value)}});
        j["table"] = rows;
    }
    if (e.kind == gauge::kElementIcon) {
        j["switch_mode"] = e.switch_mode;
        j["picture_count"] = e.picture_count;
        j["scale"] = trace::value(e.scale);
        j["offset"] = e.offset;
    }
    return j;
}

Json bitmaps_json(const pe::Image& image) {
    Json list = Json::array();
    for (const auto& r : image.resources()) {
        if (r.type.number != pe::kResourceBitmap) continue;
        Json b = {{"id", r.id.number ? Json(hex(*r.id.number)) : Json(r.id.name)}, {"language", r.language},
                  {"size", r.size}};
        // BITMAPINFOHEADER: size, width, height, planes, bits per pixel.
        if (r.bytes.size() >= 16) {
            std::int32_t w = 0, h = 0;
            std::uint16_t bpp = 0;
            std::memcpy(&w, r.bytes.data() + 4, 4);
            std::memcpy(&h, r.bytes.data() + 8, 4);
            std::memcpy(&bpp, r.bytes.data() + 14, 2);
            b["width"] = w;
            b["height"] = h;
            b["bits_per_pixel"] = bpp;
        }
        list.push_back(b);
    }
    return list;
}

Json version_json(const pe::Image& image) {
    auto v = image.version_info();
    if (!v) return nullptr;
    auto ver = [](std::uint32_t ms, std::uint32_t ls) {
        return strprintf("%u.%u.%u.%u", ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF);
    };
    Json tables = Json::array();
    for (const auto& t : v->string_tables) {
        Json strings = Json::object();
        for (const auto& [k, s] : t.strings) strings[k] = s;
        tables.push_back({{"key", t.key}, {"strings", strings}});
    }
    Json translations = Json::array();
    for (const auto& [lang, cp] : v->translations) translations.push_back({hex(lang), hex(cp)});
    return {{"file_version", ver(v->file_version_ms, v->file_version_ls)},
            {"product_version", ver(v->product_version_ms, v->product_version_ls)},
            {"flags_mask", hex(v->flags_mask)}, {"flags", hex(v->flags)}, {"file_os", hex(v->file_os)},
            {"file_type", v->file_type}, {"file_subtype", v->file_subtype},
            {"file_date", {v->file_date_ms, v->file_date_ls}}, {"string_tables", tables},
            {"translations", translations}};
}

Result<Json> inspect(const std::filesystem::path& file) {
    // No library directory: the sound library stays absent, so one
    // pre-update shows the module-variable look-ups and nothing else.
    auto host = panel::Host::create({.library_dir = "/nonexistent"});
    if (!host) return std::unexpected(host.error());
    trace::MemorySink events;
    (*host)->trace().attach(&events);
    auto module = (*host)->load_module(file);
    if (!module) return std::unexpected(module.error());
    auto& m = **module;
    const auto& image = m.image();

    Json out = Json::object();
    out["file"] = file.filename().string();
    out["export_name"] = image.export_module_name();
    Json exports = Json::array();
    for (const auto& e : image.exports())
        exports.push_back({{"name", e.name}, {"ordinal", e.ordinal}, {"rva", hex(e.rva)},
                           {"forwarder", e.forwarder ? Json(*e.forwarder) : Json(nullptr)}});
    out["exports"] = exports;
    Json imports = Json::array();
    for (const auto& i : image.imports())
        imports.push_back({{"dll", i.dll}, {"name", i.by_ordinal ? Json(i.ordinal) : Json(i.name)}});
    out["imports"] = imports;

    const auto& l = m.linkage_record();
    Json gauges_list = Json::array();
    for (auto g : m.gauges()) gauges_list.push_back(hex(g));
    out["linkage"] = {{"address", hex(m.linkage())}, {"module_id", hex(l.module_id)},
                      {"module_init", hex(l.module_init)}, {"module_deinit", hex(l.module_deinit)},
                      {"flags", l.flags}, {"priority", l.priority}, {"version", hex(l.version)},
                      {"gauges", gauges_list}};
    auto table = (*host)->machine().read_as<gauge::guest::ImportTable>(m.import_table());
    if (!table) return std::unexpected(table.error());
    Json entries = Json::array();
    for (const auto& e : table->entries) entries.push_back({{"id", hex(e.id)}, {"ref", hex(e.ref)}});
    out["import_table"] = {{"address", hex(m.import_table())}, {"entries", entries}};

    Json gauges = Json::array();
    for (auto address : m.gauges()) {
        auto view = (*host)->gauge_view(address);
        if (!view) return std::unexpected(view.error());
        auto tree = (*host)->read_tree(address);
        if (!tree) return std::unexpected(tree.error());
        const auto& h = view->header;
        Json g = {{"address", hex(address)}, {"header_version", h.header_version}, {"name", view->name},
                  {"element_list", hex(h.elements)}, {"callback", hex(h.callback)}, {"user_data", h.user_data},
                  {"mouse_rect_list", hex(h.mouse_rects)}, {"default_size_mm", h.default_size_mm},
                  {"flags", h.flags}, {"size", {h.size_x, h.size_y}}};
        Json elements = Json::array();
        for (const auto& e : tree->elements) elements.push_back(element_json(e));
        g["elements"] = elements;
        Json rects = Json::array();
        for (const auto& r : view->mouse_rects) {
            const auto& rec = r.record;
            rects.push_back({{"type", rec.type}, {"type_name", mouse_type_name(rec.type)},
                             {"box", {rec.box.x, rec.box.y, rec.box.width, rec.box.height}}, {"cursor", rec.cursor},
                             {"help_id", rec.help_id}, {"mouse_flags", rec.mouse_flags}, {"event_id", rec.event_id},
                             {"function", hex(rec.function)}, {"data", hex(rec.data)},
                             {"tooltip", r.tooltip ? Json(*r.tooltip) : Json(nullptr)}});
        }
        g["mouse_rects"] = rects;
        gauges.push_back(g);
    }
    out["gauges"] = gauges;

    // ModuleVars: no record points at them. One pre-update (after the
    // panel-services table is in place) makes the module look each one up.
    Json vars = Json::array();
    if (!m.gauges().empty()) {
        events.events.clear();
        auto& h = **host;
        auto g = h.add_instance(m);
        if (g && h.write_import_table(m) && h.send(**g, gauge::kServicePreUpdate)) {
            for (const auto& e : events.named("panel_service")) vars.push_back(e["token"]);
        } else {
            out["module_vars_error"] = "the pre-update did not complete";
        }
    }
    out["module_vars"] = vars;
    out["bitmaps"] = bitmaps_json(image);
    out["version"] = version_json(image);
    return out;
}

}  // namespace

void set_inspect_command(CLI::App& app, Context& context) {
    auto* cmd = app.add_subcommand("inspect", "Show a module's exports, records, element tree, resources");
    struct Options {
        std::string file;
        bool json = false;
    };
    auto options = std::make_shared<Options>();
    cmd->add_option("FILE", options->file, "the gauge module (.gau)")->required();
    cmd->add_flag("--json", options->json, "JSON instead of text");
    cmd->callback([&context, options] {
        auto report = inspect(options->file);
        if (!report) {
            context.failure(options->file, report.error().message);
            return;
        }
        if (options->json)
            context.out << report->dump(2) << '\n';
        else
            print_report(*report, context.out);
    });
}

}  // namespace panelhost::cli
