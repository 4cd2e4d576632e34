#include "win/names.h"

#include <algorithm>

namespace panelhost::win {

std::string lower(std::string_view s) {
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c); });
    return out;
}

bool same_name(std::string_view a, std::string_view b) { return lower(a) == lower(b); }

std::string_view base_name(std::string_view path) {
    auto cut = path.find_last_of("/\\");
    return cut == std::string_view::npos ? path : path.substr(cut + 1);
}

bool has_directory(std::string_view name) { return name.find_first_of("/\\") != std::string_view::npos; }

}  // namespace panelhost::win
