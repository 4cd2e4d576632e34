// Windows' rules for module names: case-insensitive, ".dll" by default.
#pragma once

#include <string>
#include <string_view>

namespace panelhost::win {

// ASCII lower case (Windows module names compare case-insensitively).
std::string lower(std::string_view s);
bool same_name(std::string_view a, std::string_view b);
// The last path component, after '/' or '\'.
std::string_view base_name(std::string_view path);
bool has_directory(std::string_view name);

}  // namespace panelhost::win
