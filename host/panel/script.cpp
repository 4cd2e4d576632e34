#include "panel/script.h"

#include <charconv>
#include <cmath>
#include <map>
#include <sstream>

#include "emu/strprintf.h"

namespace panelhost::panel {

namespace {

struct VerbRule {
    std::size_t min_args, max_args;
};

const std::map<std::string, VerbRule, std::less<>> kVerbs = {
    {"set", {1, 1}},          {"imports", {0, 0}},       {"module-init", {0, 0}},  {"module-deinit", {0, 0}},
    {"instance", {0, 0}},     {"send", {1, 1}},          {"cycle", {0, 1}},        {"refresh", {0, 1}},
    {"callback", {1, 1}},     {"load", {1, 1}},          {"free", {1, 1}},         {"thread-attach", {0, 0}},
    {"thread-detach", {0, 0}}, {"print", {0, 0}},        {"unload", {0, 0}},
};

Result<std::uint32_t> number(const std::string& s, int line) {
    std::uint32_t v = 0;
    std::int32_t sv = 0;
    const char* end = s.data() + s.size();
    if (auto [p, ec] = std::from_chars(s.data(), end, v, 10); ec == std::errc() && p == end) return v;
    // Negative service codes are sent as their 32-bit pattern.
    if (auto [p, ec] = std::from_chars(s.data(), end, sv, 10); ec == std::errc() && p == end)
        return static_cast<std::uint32_t>(sv);
    if (s.size() > 2 && (s[1] == 'x' || s[1] == 'X'))
        if (auto [p, ec] = std::from_chars(s.data() + 2, end, v, 16); ec == std::errc() && p == end) return v;
    return fail(strprintf("line %d: \"%s\" is not a number", line, s.c_str()));
}

const char* kind_name(std::uint32_t kind) {
    switch (kind) {
    case gauge::kElementStaticImage: return "static";
    case gauge::kElementNeedle: return "needle";
    case gauge::kElementIcon: return "icon";
    }
    return "unknown";
}

}  // namespace

std::string format_value(double v) {
    if (std::isnan(v)) return "nan";
    if (std::isinf(v)) return v > 0 ? "inf" : "-inf";
    if (v == 0.0) return std::signbit(v) ? "-0" : "0";
    char buf[64];
    auto [p, ec] = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, p);
}

void print_elements(const ElementTree& tree, std::ostream& out) {
    for (const auto& e : tree.elements) {
        out << strprintf("element %zu %s 0x%x result=%s flags=0x%08x\n", e.index, kind_name(e.kind), e.resource_id,
                         e.last_result ? format_value(*e.last_result).c_str() : "-", e.draw_flags);
    }
}

Result<std::vector<Step>> parse_script(std::string_view text) {
    std::vector<Step> steps;
    std::istringstream in{std::string(text)};
    std::string raw;
    int line = 0;
    while (std::getline(in, raw)) {
        ++line;
        if (auto hash = raw.find('#'); hash != std::string::npos) raw.resize(hash);
        std::istringstream words(raw);
        Step step;
        step.line = line;
        std::string w;
        while (words >> w) {
            if (step.verb.empty()) {
                step.verb = w;
            } else if (w[0] == '@') {
                auto n = number(w.substr(1), line);
                if (!n) return std::unexpected(n.error());
                step.instance = static_cast<int>(*n);
            } else {
                step.args.push_back(w);
            }
        }
        if (step.verb.empty()) continue;
        auto rule = kVerbs.find(step.verb);
        if (rule == kVerbs.end()) return fail(strprintf("line %d: unknown step \"%s\"", line, step.verb.c_str()));
        if (step.args.size() < rule->second.min_args || step.args.size() > rule->second.max_args)
            return fail(strprintf("line %d: wrong number of arguments for \"%s\"", line, step.verb.c_str()));
        if (step.verb == "set")
            if (auto a = parse_assignment(step.args[0]); !a)
                return fail(strprintf("line %d: %s", line, a.error().message.c_str()));
        for (const auto& a : step.args)
            if (step.verb != "set" && step.verb != "load" && step.verb != "free")
                if (auto n = number(a, line); !n) return std::unexpected(n.error());
        steps.push_back(std::move(step));
    }
    return steps;
}

Result<void> run_script(Host& host, GaugeModule& module, const std::vector<Step>& steps, std::ostream& out) {
    std::vector<GaugeInstance*> instances;
    std::map<std::string, std::vector<std::uint32_t>> held;   // library name -> handles taken by `load`
    for (const auto& s : steps) {
        auto at = [&](const std::string& why) { return fail(strprintf("line %d (%s): %s", s.line, s.verb.c_str(), why.c_str())); };
        auto instance = [&]() -> GaugeInstance* {
            return s.instance >= 0 && static_cast<std::size_t>(s.instance) < instances.size() ? instances[s.instance] : nullptr;
        };
        auto arg = [&](std::size_t i) { return *number(s.args[i], s.line); };
        Result<void> r;
        if (s.verb == "set") {
            auto a = parse_assignment(s.args[0]);
            host.tokens().set(a->first, a->second);
        } else if (s.verb == "imports") {
            r = host.write_import_table(module);
        } else if (s.verb == "module-init") {
            r = host.module_init(module);
        } else if (s.verb == "module-deinit") {
            r = host.module_deinit(module);
        } else if (s.verb == "instance") {
            auto g = host.add_instance(module);
            if (!g) return at(g.error().message);
            instances.push_back(*g);
        } else if (s.verb == "load") {
            std::uint32_t h = host.load_library(s.args[0]);
            if (!h) return at("cannot load " + s.args[0]);
            held[s.args[0]].push_back(h);
        } else if (s.verb == "free") {
            auto& handles = held[s.args[0]];
            if (handles.empty()) return at("no reference to " + s.args[0] + " is held by the script");
            host.free_library(handles.back());
            handles.pop_back();
        } else if (s.verb == "thread-attach") {
            r = host.thread_attach();
        } else if (s.verb == "thread-detach") {
            r = host.thread_detach();
        } else if (s.verb == "unload") {
            r = host.unload_module(module);
        } else {
            GaugeInstance* g = instance();
            if (!g) return at(strprintf("there is no instance %d (add one with \"instance\")", s.instance));
            if (s.verb == "send") {
                r = host.send(*g, arg(0));
            } else if (s.verb == "cycle") {
                std::uint32_t n = s.args.empty() ? 1 : arg(0);
                for (std::uint32_t i = 0; i < n && r; ++i) r = host.update_cycle(*g);
            } else if (s.verb == "refresh") {
                r = s.args.empty() ? host.refresh_sources(*g) : host.refresh_source(*g, arg(0));
            } else if (s.verb == "callback") {
                auto c = host.call_update(*g, arg(0));
                if (!c) return at(c.error().message);
            } else if (s.verb == "print") {
                auto tree = host.elements(*g);
                if (!tree) return at(tree.error().message);
                print_elements(*tree, out);
            }
        }
        if (!r) return at(r.error().message);
    }
    return {};
}

}  // namespace panelhost::panel
