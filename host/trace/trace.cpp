#include "trace/trace.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace panelhost::trace {

Json value(double v) {
    if (std::isnan(v)) return "nan";
    if (std::isinf(v)) return v > 0 ? "inf" : "-inf";
    return v;   // nlohmann writes -0.0 as "-0.0" and round-trips every finite double
}

double to_double(const Json& j) {
    if (j.is_string()) {
        const auto& s = j.get_ref<const std::string&>();
        if (s == "nan") return std::nan("");
        if (s == "inf") return INFINITY;
        if (s == "-inf") return -INFINITY;
        return std::nan("");
    }
    return j.get<double>();
}

std::string hex(std::uint32_t v) { char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08x", v);
    return buf; }

void JsonLinesSink::write(const Json& event) { out_ << event.dump() << '\n'; }

std::vector<Json> MemorySink::named(std::string_view name) const {
    std::vector<Json> out;
    for (const auto& e : events)
        if (e.value("event", "") == name) out.push_back(e);
    return out;
}

void Trace::detach(Sink* sink) { std::erase(sinks_, sink); }

void Trace::emit(std::string_view event, Json fields) {
    Json e = Json::object();
    e["seq"] = seq_++;
    e["event"] = event;
    for (auto& [k, v] : fields.items()) e[k] = std::move(v);
    for (Sink* s : sinks_) s->write(e);
}

}  // namespace panelhost::trace
