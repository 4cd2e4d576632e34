// DOS header, PE signature, COFF header, PE32 optional header, data
// directories and the section table.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "pe/image.h"
#include "pe/reader.h"

namespace panelhost::pe::detail {

struct DataDirectory {
    std::uint32_t rva = 0;
    std::uint32_t size = 0;
    // An RVA of 0 means the table is absent, whatever the size says.
    bool present() const { return rva != 0; }
};

enum DirectoryIndex : std::size_t {
    kExportDirectory = 0,
    kImportDirectory = 1,
    kResourceDirectory = 2,
    kRelocationDirectory = 5,
};

inline constexpr std::size_t kMaxDataDirectories = 16;

struct Headers {
    std::uint16_t characteristics = 0;
    std::uint32_t entry_point_rva = 0;
    std::uint32_t image_base = 0;
    std::uint32_t section_alignment = 0;
    std::uint32_t size_of_image = 0;
    std::uint32_t size_of_headers = 0;
    std::array<DataDirectory, kMaxDataDirectories> directories{};
    std::vector<Section> sections;
};

// Reads and checks every header: the image fits the size limit, headers and
// section contents lie inside the file, sections lie inside the image in
// ascending order without overlap, and the directories the parser reads lie
// inside the image.
Result<Headers> parse_headers(const Reader& file);

// The in-memory length of a section: its virtual size, or its raw size when
// an old linker left the virtual size 0.
inline std::uint32_t mapped_size(const Section& s) {
    return s.virtual_size != 0 ? s.virtual_size : s.raw_size;
}

// The part of a section the file supplies; the rest of it is zero in memory.
inline std::uint32_t file_backed_size(const Section& s) {
    return s.raw_size < mapped_size(s) ? s.raw_size : mapped_size(s);
}

}  // namespace panelhost::pe::detail
