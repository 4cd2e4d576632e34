#include "pe/exports.h"

#include "pe/errors.h"

namespace panelhost::pe::detail {
namespace {

constexpr std::uint64_t kDirectorySize = 40;
// Name ordinals are 16-bit indexes into the address table, so no more
// addresses than this can be reached.
constexpr std::uint32_t kMaxFunctions = 65536;

}  // namespace

Result<ExportTable> parse_exports(const ImageView& view, DataDirectory directory, Budget& budget) {
    ExportTable table;
    if (!directory.present()) return table;
    PE_TRY(const auto d, view.bytes(directory.rva, kDirectorySize, "export directory"));
    const std::uint32_t name_rva = load_u32(d.data() + 12);
    const std::uint32_t base = load_u32(d.data() + 16);
    const std::uint32_t function_count = load_u32(d.data() + 20);
    const std::uint32_t name_count = load_u32(d.data() + 24);
    const std::uint32_t functions_rva = load_u32(d.data() + 28);
    const std::uint32_t names_rva = load_u32(d.data() + 32);
    const std::uint32_t ordinals_rva = load_u32(d.data() + 36);

    if (name_rva != 0) {
        PE_TRY(table.module_name, view.c_string(name_rva, kMaxDllNameLength, "export module name"));
    }
    if (function_count > kMaxFunctions) {
        return fail("export table lists " + std::to_string(function_count) +
                    " functions, more than " + std::to_string(kMaxFunctions));
    }
    if (function_count != 0 && std::uint64_t{base} + function_count - 1 > 0xffffffffu) {
        return fail("export ordinals from base " + std::to_string(base) + " run past 2^32");
    }
    // An empty table may have any address, 0 included.
    const auto array = [&](std::uint32_t rva, std::uint64_t bytes, std::string_view what)
        -> Result<std::span<const std::uint8_t>> {
        if (bytes == 0) return std::span<const std::uint8_t>{};
        return view.bytes(rva, bytes, what);
    };
    PE_TRY(const auto functions,
           array(functions_rva, 4ull * function_count, "export address table"));
    PE_TRY(const auto names, array(names_rva, 4ull * name_count, "export name table"));
    PE_TRY(const auto ordinals, array(ordinals_rva, 2ull * name_count, "export ordinal table"));
    PE_CHECK(budget.take(std::uint64_t{function_count} + name_count, "export tables"));

    // Names per address-table index, in name-table order.
    std::vector<std::vector<std::string>> names_of(function_count);
    for (std::size_t i = 0; i < name_count; ++i) {
        const std::uint32_t rva = load_u32(names.data() + 4 * i);
        PE_TRY(std::string name, view.c_string(rva, kMaxNameLength, "export name"));
        PE_CHECK(budget.take(name.size(), "export names"));
        const std::uint16_t index = load_u16(ordinals.data() + 2 * i);
        if (index >= function_count) {
            return fail("export " + name + " has ordinal index " + std::to_string(index) +
                        ", past the " + std::to_string(function_count) + " addresses");
        }
        names_of[index].push_back(std::move(name));
    }

    const std::uint64_t directory_end = std::uint64_t{directory.rva} + directory.size;
    for (std::uint32_t i = 0; i < function_count; ++i) {
        const std::uint32_t rva = load_u32(functions.data() + 4 * i);
        const std::uint32_t ordinal = base + i;
        if (rva == 0) {
            // An unused ordinal between used ones; nothing may name it.
            if (!names_of[i].empty()) {
                return fail("export " + names_of[i].front() + " names ordinal " +
                            std::to_string(ordinal) + ", which has no address");
            }
            continue;
        }
        Export e;
        e.ordinal = ordinal;
        e.rva = rva;
        // An address inside the export directory is a "DLL.Name" string.
        if (rva >= directory.rva && rva < directory_end) {
            PE_TRY(e.forwarder, view.c_string(rva, kMaxNameLength, "export forwarder"));
            // Charged once per copy: every name of the address gets one.
            const std::uint64_t copies = names_of[i].empty() ? 1 : names_of[i].size();
            PE_CHECK(budget.take(copies * e.forwarder->size(), "export forwarders"));
        } else if (rva >= view.size_of_image()) {
            return fail("export ordinal " + std::to_string(ordinal) + " at RVA " + hex(rva) +
                        " lies outside the image");
        }
        if (names_of[i].empty()) {
            table.exports.push_back(std::move(e));
            continue;
        }
        for (std::string& name : names_of[i]) {
            Export named = e;
            named.name = std::move(name);
            table.exports.push_back(std::move(named));
        }
    }
    return table;
}

}  // namespace panelhost::pe::detail
