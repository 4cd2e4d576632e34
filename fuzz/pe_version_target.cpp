#include "target.h"
#include "pe/version.h"

namespace panelhost::fuzz {

std::string pe_version(Input bytes) {
    const auto info = pe::detail::parse_version_info(bytes);
    if (!info) return "error: " + info.error().message;
    std::string out = "file version " + std::to_string(info->file_version_ms) + "." +
                      std::to_string(info->file_version_ls);
    for (const auto& table : info->string_tables) {
        out += ", table " + table.key + " (" + std::to_string(table.strings.size()) + " strings)";
    }
    return out + ", translations " + std::to_string(info->translations.size());
}

}  // namespace panelhost::fuzz
