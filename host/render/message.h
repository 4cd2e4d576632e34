// Building error messages from pieces (this compiler has no <format>).
#pragma once

#include <sstream>
#include <string>

namespace panelhost::render {

template <class... Parts> std::string message(const Parts&... parts) {
    std::ostringstream out;
    (out << ... << parts);
    return out.str();
}

}  // namespace panelhost::render
