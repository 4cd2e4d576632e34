#include "pe/imports.h"

#include "pe/errors.h"

namespace panelhost::pe::detail {
namespace {

constexpr std::uint64_t kDescriptorSize = 20;
constexpr std::uint32_t kOrdinalFlag = 0x80000000u;

// The functions imported from one DLL. `lookup` is the import lookup table
// (or the address table itself when the linker wrote no separate one).
Result<void> parse_thunks(const ImageView& view, const std::string& dll, std::uint32_t lookup,
                          std::uint32_t iat, Budget& budget, std::vector<Import>& out) {
    for (std::uint64_t i = 0;; ++i) {
        PE_TRY(const std::uint32_t entry, view.u32(lookup + 4 * i, "import lookup table of " + dll));
        if (entry == 0) return {};
        PE_CHECK(budget.take(1, "imports"));

        Import import;
        import.dll = dll;
        const std::uint64_t slot = iat + 4 * i;
        if (slot + 4 > view.size_of_image()) {
            return fail("import address table of " + dll + " lies outside the image");
        }
        import.iat_rva = static_cast<std::uint32_t>(slot);
        if (entry & kOrdinalFlag) {
            import.by_ordinal = true;
            import.ordinal = static_cast<std::uint16_t>(entry & 0xffff);
        } else {
            const std::string what = "import name of " + dll;
            PE_TRY(import.ordinal, view.u16(entry, what));
            PE_TRY(import.name, view.c_string(std::uint64_t{entry} + 2, kMaxNameLength, what));
            PE_CHECK(budget.take(import.name.size(), "import names"));
        }
        out.push_back(std::move(import));
    }
}

}  // namespace

Result<std::vector<Import>> parse_imports(const ImageView& view, DataDirectory directory,
                                          Budget& budget) {
    std::vector<Import> imports;
    if (!directory.present()) return imports;
    // The table ends with a zeroed descriptor; its size field is not relied on.
    for (std::uint64_t i = 0;; ++i) {
        const std::uint64_t at = directory.rva + kDescriptorSize * i;
        PE_TRY(const auto d, view.bytes(at, kDescriptorSize, "import directory"));
        const std::uint32_t lookup = load_u32(d.data());
        const std::uint32_t name_rva = load_u32(d.data() + 12);
        const std::uint32_t iat = load_u32(d.data() + 16);
        if (name_rva == 0 && iat == 0) return imports;
        PE_CHECK(budget.take(1, "import descriptors"));
        if (name_rva == 0) return fail("import descriptor " + std::to_string(i) + " has no DLL name");
        PE_TRY(const std::string dll, view.c_string(name_rva, kMaxDllNameLength, "import DLL name"));
        if (iat == 0) return fail("import descriptor of " + dll + " has no address table");
        PE_CHECK(budget.take(dll.size(), "import DLL names"));
        PE_CHECK(parse_thunks(view, dll, lookup != 0 ? lookup : iat, iat, budget, imports));
    }
}

}  // namespace panelhost::pe::detail
