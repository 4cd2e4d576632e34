#include "pe/headers.h"

#include <string>

#include "pe/errors.h"

namespace panelhost::pe::detail {
namespace {

constexpr std::uint16_t kMzSignature = 0x5a4d;          // "MZ"
constexpr std::uint32_t kPeSignature = 0x00004550;      // "PE\0\0"
constexpr std::uint16_t kMachineI386 = 0x14c;
constexpr std::uint16_t kMagicPe32 = 0x10b;
constexpr std::uint16_t kMagicPe32Plus = 0x20b;
constexpr std::uint64_t kDosHeaderSize = 64;
constexpr std::uint64_t kLfanewOffset = 0x3c;
constexpr std::uint64_t kCoffHeaderSize = 20;
constexpr std::uint64_t kOptionalHeaderFixedSize = 96;  // PE32, without directories
constexpr std::uint64_t kSectionHeaderSize = 40;

// The directories this parser reads, by name for messages.
constexpr std::pair<DirectoryIndex, const char*> kReadDirectories[] = {
    {kExportDirectory, "export"},
    {kImportDirectory, "import"},
    {kResourceDirectory, "resource"},
    {kRelocationDirectory, "relocation"},
};

std::string section_name(std::span<const std::uint8_t> raw) {
    std::string name;
    for (std::uint8_t c : raw) {
        if (c == 0) break;
        name.push_back(static_cast<char>(c));
    }
    return name;
}

Result<std::vector<Section>> parse_sections(const Reader& file, std::span<const std::uint8_t> table,
                                            const Headers& h) {
    const std::size_t count = table.size() / kSectionHeaderSize;
    std::vector<Section> sections;
    sections.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t* p = table.data() + i * kSectionHeaderSize;
        Section s;
        s.name = section_name(std::span(p, 8));
        s.virtual_size = load_u32(p + 8);
        s.rva = load_u32(p + 12);
        s.raw_size = load_u32(p + 16);
        s.raw_offset = load_u32(p + 20);
        s.characteristics = load_u32(p + 36);

        if (s.raw_size != 0 && !file.bytes(s.raw_offset, s.raw_size, "section")) {
            return fail("section " + s.name + " lies outside the file");
        }
        if (std::uint64_t{s.rva} + mapped_size(s) > h.size_of_image) {
            return fail("section " + s.name + " lies outside the image");
        }
        // The loader lays sections out in ascending order; overlapping
        // sections would make the memory image depend on copy order.
        if (s.rva < h.size_of_headers) {
            return fail("section " + s.name + " overlaps the headers");
        }
        if (!sections.empty()) {
            const Section& prev = sections.back();
            if (s.rva < std::uint64_t{prev.rva} + mapped_size(prev)) {
                return fail("section " + s.name + " overlaps section " + prev.name);
            }
        }
        sections.push_back(std::move(s));
    }
    return sections;
}

}  // namespace

Result<Headers> parse_headers(const Reader& file) {
    PE_TRY(const auto dos, file.bytes(0, kDosHeaderSize, "DOS header"));
    if (load_u16(dos.data()) != kMzSignature) return fail("not a PE file (no MZ signature)");
    const std::uint64_t pe = load_u32(dos.data() + kLfanewOffset);

    PE_TRY(const std::uint32_t signature, file.u32(pe, "PE signature"));
    if (signature != kPeSignature) {
        return fail("not a PE file (no PE signature at offset " + hex(pe) + ")");
    }
    const std::uint64_t coff_offset = pe + 4;
    PE_TRY(const auto coff, file.bytes(coff_offset, kCoffHeaderSize, "COFF header"));
    const std::uint16_t machine = load_u16(coff.data());
    const std::uint16_t section_count = load_u16(coff.data() + 2);
    const std::uint16_t optional_size = load_u16(coff.data() + 16);

    Headers h;
    h.characteristics = load_u16(coff.data() + 18);

    // The magic says what kind of image this is, so it is checked before the
    // machine: a 64-bit DLL is reported as such.
    const std::uint64_t opt_offset = coff_offset + kCoffHeaderSize;
    PE_TRY(const std::uint16_t magic, file.u16(opt_offset, "optional header magic"));
    if (magic == kMagicPe32Plus) return fail("PE32+ (64-bit) images are not supported");
    if (magic != kMagicPe32) return fail("optional header magic " + hex(magic) + " is not PE32");
    if (machine != kMachineI386) return fail("machine " + hex(machine) + " is not i386");
    if (optional_size < kOptionalHeaderFixedSize) {
        return fail("optional header is " + std::to_string(optional_size) + " bytes, needs " +
                    std::to_string(kOptionalHeaderFixedSize));
    }
    PE_TRY(const auto opt, file.bytes(opt_offset, optional_size, "optional header"));
    h.entry_point_rva = load_u32(opt.data() + 16);
    h.image_base = load_u32(opt.data() + 28);
    h.section_alignment = load_u32(opt.data() + 32);
    h.size_of_image = load_u32(opt.data() + 56);
    h.size_of_headers = load_u32(opt.data() + 60);
    const std::uint32_t directory_count = load_u32(opt.data() + 92);

    if (h.size_of_image > kMaxImageSize) {
        return fail("image size " + hex(h.size_of_image) + " exceeds the limit of " +
                    hex(kMaxImageSize));
    }
    if (h.size_of_headers > h.size_of_image) {
        return fail("headers (" + hex(h.size_of_headers) + " bytes) are larger than the image (" +
                    hex(h.size_of_image) + " bytes)");
    }
    PE_TRY(const auto section_table, file.bytes(opt_offset + optional_size,
                                                std::uint64_t{section_count} * kSectionHeaderSize,
                                                "section table"));
    // The loader maps the headers from the file, so they must be there.
    PE_CHECK(file.bytes(0, h.size_of_headers, "header area"));
    if (h.entry_point_rva >= h.size_of_image && h.entry_point_rva != 0) {
        return fail("entry point at RVA " + hex(h.entry_point_rva) + " lies outside the image");
    }

    // Entries beyond 16 have no meaning; the loader ignores them too.
    const std::uint64_t used = directory_count < kMaxDataDirectories ? directory_count
                                                                     : kMaxDataDirectories;
    if (kOptionalHeaderFixedSize + 8 * used > optional_size) {
        return fail("optional header is " + std::to_string(optional_size) +
                    " bytes, too small for its " + std::to_string(used) + " data directories");
    }
    for (std::size_t i = 0; i < used; ++i) {
        const std::uint8_t* d = opt.data() + kOptionalHeaderFixedSize + 8 * i;
        h.directories[i] = {load_u32(d), load_u32(d + 4)};
    }
    for (const auto& [index, name] : kReadDirectories) {
        const DataDirectory& d = h.directories[index];
        if (d.present() && std::uint64_t{d.rva} + d.size > h.size_of_image) {
            return fail(std::string(name) + " directory lies outside the image");
        }
    }

    PE_TRY(h.sections, parse_sections(file, section_table, h));
    return h;
}

}  // namespace panelhost::pe::detail
