// The one bounds-checked read every parser in this folder goes through.
//
// Offsets and sizes arrive as 64-bit values (sums of 32-bit file fields can
// not wrap there), and a read that does not fit is an error naming what was
// read, where, and how large the bytes are.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "pe/image.h"

namespace panelhost::pe::detail {

class Reader {
public:
    // `name` names the bytes in messages: "file", "version resource".
    Reader(std::span<const std::uint8_t> bytes, std::string_view name)
        : bytes_(bytes), name_(name) {}

    std::uint64_t size() const { return bytes_.size(); }

    // [offset, offset + size) or an error:
    // "truncated: optional header needs 224 bytes at offset 0x98, file has 300".
    Result<std::span<const std::uint8_t>> bytes(std::uint64_t offset, std::uint64_t size,
                                                std::string_view what) const;
    Result<std::uint16_t> u16(std::uint64_t offset, std::string_view what) const;
    Result<std::uint32_t> u32(std::uint64_t offset, std::string_view what) const;

private:
    std::span<const std::uint8_t> bytes_;
    std::string_view name_;
};

// Little-endian loads from bytes a Reader has already checked.
inline std::uint16_t load_u16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
inline std::uint32_t load_u32(const std::uint8_t* p) {
    return std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) |
           (std::uint32_t{p[3]} << 24);
}

}  // namespace panelhost::pe::detail
