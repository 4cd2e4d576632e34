#include "cli/report.h"

#include <string>

namespace panelhost::cli {

namespace {

bool scalar(const trace::Json& j) { return !j.is_object() && !j.is_array(); }

bool flat_array(const trace::Json& j) {
    if (!j.is_array()) return false;
    for (const auto& e : j)
        if (!scalar(e) && !(e.is_array() && flat_array(e))) return false;
    return true;
}

std::string text(const trace::Json& j) {
    if (j.is_string()) return j.get<std::string>();
    if (j.is_null()) return "-";
    if (j.is_array()) {
        std::string s = "[";
        for (std::size_t i = 0; i < j.size(); ++i) s += (i ? ", " : "") + text(j[i]);
        return s + "]";
    }
    return j.dump();
}

}  // namespace

void print_report(const trace::Json& report, std::ostream& out, int indent) {
    std::string pad(static_cast<std::size_t>(indent), ' ');
    if (report.is_object()) {
        for (const auto& [key, value] : report.items()) {
            if (scalar(value) || flat_array(value)) {
                out << pad << key << ": " << text(value) << '\n';
            } else {
                out << pad << key << ":\n";
                print_report(value, out, indent + 2);
            }
        }
    } else if (report.is_array()) {
        for (std::size_t i = 0; i < report.size(); ++i) {
            if (scalar(report[i]) || flat_array(report[i])) {
                out << pad << "- " << text(report[i]) << '\n';
            } else {
                out << pad << "- [" << i << "]\n";
                print_report(report[i], out, indent + 2);
            }
        }
    } else {
        out << pad << text(report) << '\n';
    }
}

}  // namespace panelhost::cli
