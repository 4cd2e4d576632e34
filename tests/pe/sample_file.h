// The fixture DLL's bytes and a small reader of its headers that does not
// use the parser under test, for locating the fields the tests change.
#pragma once

#include <cstdint>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace pe_test {

using Bytes = std::vector<std::uint8_t>;

inline Bytes read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot open " + path);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

inline Bytes sample_bytes() { return read_file(FIXTURE_DIR "/PeSample.dll"); }

inline std::uint32_t get_u16(const Bytes& b, std::size_t at) {
    return b.at(at) | (b.at(at + 1) << 8);
}
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

// Where things are in a PE32 file, read straight from the bytes.
struct Layout {
    explicit Layout(const Bytes& b) : bytes(b) {
        pe = get_u32(b, 0x3c);
        coff = pe + 4;
        opt = coff + 20;
        section_count = get_u16(b, coff + 2);
        section_table = opt + get_u16(b, coff + 16);
    }
    std::size_t directory(std::size_t index) const { return opt + 96 + 8 * index; }
    std::uint32_t directory_rva(std::size_t index) const { return get_u32(bytes, directory(index)); }
    std::size_t section_header(std::string_view name) const {
        for (std::size_t i = 0; i < section_count; ++i) {
            const std::size_t at = section_table + 40 * i;
            if (std::string_view(reinterpret_cast<const char*>(&bytes[at])).substr(0, 8) == name)
                return at;
        }
        throw std::runtime_error("no section " + std::string(name));
    }
    // The file offset of an RVA inside a section.
    std::size_t offset_of(std::uint32_t rva) const {
        for (std::size_t i = 0; i < section_count; ++i) {
            const std::size_t at = section_table + 40 * i;
            const std::uint32_t start = get_u32(bytes, at + 12), size = get_u32(bytes, at + 16);
            if (rva >= start && rva < start + size) return get_u32(bytes, at + 20) + (rva - start);
        }
        throw std::runtime_error("RVA not in a section");
    }

    const Bytes& bytes;
    std::size_t pe = 0, coff = 0, opt = 0, section_table = 0, section_count = 0;
};

}  // namespace pe_test
