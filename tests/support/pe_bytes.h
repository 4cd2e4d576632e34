// A PE32 file's bytes and where its headers and tables lie, read straight
// from the bytes (not through the parser under test), so that tests can
// damage one field at a time.
#pragma once

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace pe_bytes {

using Bytes = std::vector<std::uint8_t>;

inline Bytes read_file(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot open " + path.string());
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

inline void write_file(const std::filesystem::path& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline std::uint32_t get_u16(const Bytes& b, std::size_t at) { return b.at(at) | (b.at(at + 1) << 8); }
inline std::uint32_t get_u32(const Bytes& b, std::size_t at) {
    return get_u16(b, at) | (get_u16(b, at + 2) << 16);
}
inline void put_u16(Bytes& b, std::size_t at, std::uint32_t v) {
    b.at(at) = static_cast<std::uint8_t>(v);
    b.at(at + 1) = static_cast<std::uint8_t>(v >> 8);
}
inline void put_u32(Bytes& b, std::size_t at, std::uint32_t v) {
    put_u16(b, at, v & 0xffff);
    put_u16(b, at + 2, v >> 16);
}

// Offsets in a well-formed PE32 file.
struct Layout {
    explicit Layout(const Bytes& b) : bytes(b) {
        pe = get_u32(b, 0x3c);
        coff = pe + 4;
        opt = coff + 20;
        section_count = get_u16(b, coff + 2);
        section_table = opt + get_u16(b, coff + 16);
    }
    static constexpr std::size_t kExport = 0, kImport = 1, kResource = 2, kRelocation = 5;

    std::size_t directory(std::size_t index) const { return opt + 96 + 8 * index; }
    std::uint32_t directory_rva(std::size_t index) const { return get_u32(bytes, directory(index)); }

    std::size_t section_header(std::size_t i) const { return section_table + 40 * i; }
    std::size_t section_header(std::string_view name) const {
        for (std::size_t i = 0; i < section_count; ++i) {
            const std::size_t at = section_header(i);
            const std::string_view stored(reinterpret_cast<const char*>(&bytes.at(at)), 8);
            if (stored.substr(0, stored.find('\0')) == name) return at;
        }
        throw std::runtime_error("no section " + std::string(name));
    }
    std::size_t section_end(std::size_t i) const {
        return get_u32(bytes, section_header(i) + 20) + get_u32(bytes, section_header(i) + 16);
    }

    // The file offset of an RVA inside a section.
    std::size_t offset_of(std::uint32_t rva) const {
        for (std::size_t i = 0; i < section_count; ++i) {
            const std::size_t at = section_header(i);
            const std::uint32_t start = get_u32(bytes, at + 12), size = get_u32(bytes, at + 16);
            if (rva >= start && rva < start + size) return get_u32(bytes, at + 20) + (rva - start);
        }
        throw std::runtime_error("RVA not in a section");
    }
    std::size_t table(std::size_t directory_index) const { return offset_of(directory_rva(directory_index)); }

    // The resource directory entry `i` of the directory at `dir` (an offset
    // from the resource root), and the subdirectory it leads to.
    std::size_t resource_entry(std::uint32_t dir, std::size_t i) const { return table(kResource) + dir + 16 + 8 * i; }
    std::uint32_t subdirectory(std::size_t entry) const { return get_u32(bytes, entry + 4) & 0x7fffffff; }
    // The file offset of the data of resource type/id (first language).
    std::size_t resource_data(std::uint32_t type, std::uint32_t id) const {
        const auto find = [&](std::uint32_t dir, std::uint32_t name) {
            const std::size_t count = get_u16(bytes, table(kResource) + dir + 12) + get_u16(bytes, table(kResource) + dir + 14);
            for (std::size_t i = 0; i < count; ++i)
                if (get_u32(bytes, resource_entry(dir, i)) == name) return resource_entry(dir, i);
            throw std::runtime_error("no resource " + std::to_string(name));
        };
        const std::uint32_t names = subdirectory(find(0, type));
        const std::uint32_t languages = subdirectory(find(names, id));
        const std::uint32_t data_entry = get_u32(bytes, resource_entry(languages, 0) + 4);
        return offset_of(get_u32(bytes, table(kResource) + data_entry));
    }
    // Where `text` (with its terminating zero) first stands in the file.
    std::size_t find_text(std::string_view text) const {
        const std::string with_zero = std::string(text) + '\0';
        const auto it = std::search(bytes.begin(), bytes.end(), with_zero.begin(), with_zero.end());
        if (it == bytes.end()) throw std::runtime_error("no \"" + std::string(text) + "\" in the file");
        return static_cast<std::size_t>(it - bytes.begin());
    }

    const Bytes& bytes;
    std::size_t pe = 0, coff = 0, opt = 0, section_table = 0, section_count = 0;
};

}  // namespace pe_bytes
