// A parsed PE32 (i386) DLL: everything panelhost reads from a module file.
//
// Parsing never trusts the file: every offset and size is checked before it
// is used (sums widened to 64 bits), and a malformed or unsupported file is an
// error value that says what is wrong and where, never a crash. The caller
// prefixes the file name.
#pragma once

#include <cstdint>
#include <expected>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace panelhost::pe {

struct Section {
    std::string name;
    std::uint32_t rva = 0;
    std::uint32_t virtual_size = 0;
    std::uint32_t raw_offset = 0;
    std::uint32_t raw_size = 0;
    std::uint32_t characteristics = 0;   // IMAGE_SCN_* bits
    bool readable() const { return characteristics & 0x40000000u; }
    bool writable() const { return characteristics & 0x80000000u; }
    bool executable() const { return characteristics & 0x20000000u; }
};

struct Import {
    std::string dll;                  // as written in the file
    std::string name;                 // empty when imported by ordinal
    std::uint16_t ordinal = 0;        // hint, or the ordinal when by_ordinal
    bool by_ordinal = false;
    std::uint32_t iat_rva = 0;        // where the loader writes the address
};

struct Export {
    std::string name;                 // empty for an export by ordinal only
    std::uint32_t ordinal = 0;        // biased (as a program would ask for it)
    std::uint32_t rva = 0;
    std::optional<std::string> forwarder;  // "DLL.Name" when forwarded
};

// A base relocation the loader must apply (HIGHLOW; ABSOLUTE entries are
// dropped while parsing, any other type is an error).
struct Relocation {
    std::uint32_t rva = 0;
};

// A leaf of the resource tree: type / name / language. Named (string) ids
// are kept as strings; integer ids as numbers.
struct ResourceId {
    std::optional<std::uint32_t> number;
    std::string name;                 // when not a number
    bool operator==(const ResourceId&) const = default;
};

struct Resource {
    ResourceId type;                  // 2 = bitmap, 16 = version
    ResourceId id;
    std::uint32_t language = 0;
    std::uint32_t data_rva = 0;
    std::uint32_t size = 0;
    std::span<const std::uint8_t> bytes;   // into Image::file()
};

// The version resource's fixed part and its strings.
struct VersionInfo {
    std::uint32_t file_version_ms = 0, file_version_ls = 0;
    std::uint32_t product_version_ms = 0, product_version_ls = 0;
    std::uint32_t flags_mask = 0, flags = 0, file_os = 0, file_type = 0, file_subtype = 0;
    std::uint32_t file_date_ms = 0, file_date_ls = 0;
    // One entry per string table block: key such as "040904b0", then its
    // strings in file order (UTF-16 converted to UTF-8).
    struct StringTable {
        std::string key;
        std::vector<std::pair<std::string, std::string>> strings;
    };
    std::vector<StringTable> string_tables;
    // Translation pairs (language, code page).
    std::vector<std::pair<std::uint16_t, std::uint16_t>> translations;
};

struct Error {
    std::string message;              // e.g. "section .text lies outside the file"
};

template <class T> using Result = std::expected<T, Error>;

// Move-only: resources hold views into the file bytes the image owns.
class Image {
public:
    Image(Image&&) = default;
    Image& operator=(Image&&) = default;
    Image(const Image&) = delete;
    Image& operator=(const Image&) = delete;

    // Parses the whole file. Takes ownership of the bytes.
    static Result<Image> parse(std::vector<std::uint8_t> file);

    std::span<const std::uint8_t> file() const { return file_; }

    std::uint32_t image_base() const { return image_base_; }
    std::uint32_t size_of_image() const { return size_of_image_; }
    std::uint32_t size_of_headers() const { return size_of_headers_; }
    std::uint32_t entry_point_rva() const { return entry_point_rva_; }   // 0: none
    std::uint32_t section_alignment() const { return section_alignment_; }
    std::uint16_t characteristics() const { return characteristics_; }  // COFF header
    bool is_dll() const { return characteristics_ & 0x2000u; }

    const std::vector<Section>& sections() const { return sections_; }
    const std::vector<Import>& imports() const { return imports_; }
    const std::vector<Export>& exports() const { return exports_; }
    const std::string& export_module_name() const { return export_name_; }
    const std::vector<Relocation>& relocations() const { return relocations_; }
    const std::vector<Resource>& resources() const { return resources_; }

    // The image as the loader lays it out in memory at its preferred base:
    // size_of_image() bytes, headers and section contents copied, the rest
    // zero. Relocations are not applied.
    std::vector<std::uint8_t> memory_image() const;

    // Applies the base relocations to a memory_image() for loading at
    // `new_base`. Errors when a relocation lies outside the image.
    Result<void> relocate(std::span<std::uint8_t> memory, std::uint32_t new_base) const;

    // The export with this name (exact, case-sensitive) or ordinal.
    const Export* find_export(std::string_view name) const;
    const Export* find_export(std::uint32_t ordinal) const;

    // A resource by type and integer id (any language when language is empty).
    const Resource* find_resource(std::uint32_t type, std::uint32_t id,
                                  std::optional<std::uint32_t> language = std::nullopt) const;

    // The version resource (type 16), parsed. Errors when absent or malformed.
    Result<VersionInfo> version_info() const;

private:
    Image() = default;

    std::vector<std::uint8_t> file_;
    std::uint32_t image_base_ = 0, size_of_image_ = 0, size_of_headers_ = 0;
    std::uint32_t entry_point_rva_ = 0, section_alignment_ = 0;
    std::uint16_t characteristics_ = 0;
    std::vector<Section> sections_;
    std::vector<Import> imports_;
    std::vector<Export> exports_;
    std::string export_name_;
    std::vector<Relocation> relocations_;
    std::vector<Resource> resources_;
};

// The largest image the parser accepts (size of image in the optional
// header). The loader allocates this much for memory_image(), so a corrupt
// header must not be able to ask for gigabytes.
inline constexpr std::uint32_t kMaxImageSize = 256u << 20;

// Resource types panelhost reads.
inline constexpr std::uint32_t kResourceBitmap = 2;
inline constexpr std::uint32_t kResourceVersion = 16;

}  // namespace panelhost::pe
