#include "pe/relocations.h"

#include "pe/errors.h"

namespace panelhost::pe::detail {
namespace {

constexpr std::uint64_t kBlockHeaderSize = 8;
constexpr unsigned kTypeAbsolute = 0;
constexpr unsigned kTypeHighLow = 3;

std::string outside(std::uint64_t rva) {
    return "relocation at RVA " + hex(rva) + " lies outside the image";
}

}  // namespace

Result<std::vector<Relocation>> parse_relocations(const ImageView& view, DataDirectory directory) {
    std::vector<Relocation> relocations;
    if (!directory.present() || directory.size == 0) return relocations;
    PE_TRY(const auto bytes, view.bytes(directory.rva, directory.size, "relocation directory"));
    const Reader table(bytes, "relocation directory");

    // Blocks follow each other to the end of the directory: a page RVA, the
    // block size, then 16-bit entries (4 bits type, 12 bits page offset).
    for (std::uint64_t at = 0; at < table.size();) {
        PE_TRY(const auto header, table.bytes(at, kBlockHeaderSize, "relocation block header"));
        const std::uint32_t page = load_u32(header.data());
        const std::uint32_t block_size = load_u32(header.data() + 4);
        if (block_size < kBlockHeaderSize) {
            return fail("relocation block for page RVA " + hex(page) + " has size " +
                        std::to_string(block_size));
        }
        const auto block = table.bytes(at, block_size, "relocation block");
        if (!block) {
            return fail("relocation block for page RVA " + hex(page) + " (size " +
                        std::to_string(block_size) + ") runs past the relocation directory");
        }
        for (std::uint64_t e = kBlockHeaderSize; e + 2 <= block->size(); e += 2) {
            const std::uint16_t entry = load_u16(block->data() + e);
            const unsigned type = entry >> 12;
            const std::uint64_t rva = std::uint64_t{page} + (entry & 0xfff);
            if (type == kTypeAbsolute) continue;
            if (type != kTypeHighLow) {
                return fail("relocation type " + std::to_string(type) + " at RVA " + hex(rva) +
                            " is not supported");
            }
            if (rva + 4 > view.size_of_image()) return fail(outside(rva));
            relocations.push_back({static_cast<std::uint32_t>(rva)});
        }
        at += block_size;
    }
    return relocations;
}

Result<void> apply_relocations(std::span<const Relocation> relocations,
                               std::span<std::uint8_t> memory, std::uint32_t delta) {
    const Reader reader(memory, "image");
    for (const Relocation& r : relocations) {
        if (!reader.bytes(r.rva, 4, "relocation")) return fail(outside(r.rva));
        std::uint8_t* p = memory.data() + r.rva;
        const std::uint32_t value = load_u32(p) + delta;
        for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
    return {};
}

}  // namespace panelhost::pe::detail
