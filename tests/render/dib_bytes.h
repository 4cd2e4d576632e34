// Builds bitmap resources (DIBs without file header) for the tests.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include "render/pixels.h"

namespace panelhost::render::test {

struct DibHeader {
    std::uint32_t size = 40;
    std::int32_t width = 0, height = 0;
    std::uint16_t planes = 1, bit_count = 8;
    std::uint32_t compression = 0, size_image = 0;
    std::int32_t x_ppm = 0, y_ppm = 0;
    std::uint32_t colours_used = 0, colours_important = 0;
};

inline void put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}
inline void put16(std::vector<std::uint8_t>& out, std::uint16_t v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}

inline std::vector<std::uint8_t> header_bytes(const DibHeader& h) {
    std::vector<std::uint8_t> out;
    put32(out, h.size); put32(out, std::uint32_t(h.width)); put32(out, std::uint32_t(h.height));
    put16(out, h.planes); put16(out, h.bit_count); put32(out, h.compression);
    put32(out, h.size_image); put32(out, std::uint32_t(h.x_ppm)); put32(out, std::uint32_t(h.y_ppm));
    put32(out, h.colours_used); put32(out, h.colours_important);
    return out;
}

// An 8 bpp DIB: `rows` top-down palette indexes, stored bottom-up (or
// top-down with `top_down`), rows padded to 4 bytes.
inline std::vector<std::uint8_t> dib8(const std::vector<Rgb>& palette,
                                      const std::vector<std::vector<std::uint8_t>>& rows,
                                      bool top_down = false) {
    DibHeader h;
    h.width = static_cast<std::int32_t>(rows.at(0).size());
    h.height = static_cast<std::int32_t>(rows.size()) * (top_down ? -1 : 1);
    h.colours_used = palette.size() == 256 ? 0 : static_cast<std::uint32_t>(palette.size());
    auto out = header_bytes(h);
    for (const Rgb& c : palette) { out.push_back(c.b); out.push_back(c.g); out.push_back(c.r); out.push_back(0); }
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const auto& row = rows[top_down ? i : rows.size() - 1 - i];
        out.insert(out.end(), row.begin(), row.end());
        while ((out.size() - 40 - palette.size() * 4) % 4) out.push_back(0xEE);
    }
    return out;
}

// A 24 bpp DIB from top-down colour rows, with `palette_entries` unused
// palette entries before the pixels.
inline std::vector<std::uint8_t> dib24(const std::vector<std::vector<Rgb>>& rows,
                                       bool top_down = false, std::uint32_t palette_entries = 0) {
    DibHeader h;
    h.bit_count = 24;
    h.width = static_cast<std::int32_t>(rows.at(0).size());
    h.height = static_cast<std::int32_t>(rows.size()) * (top_down ? -1 : 1);
    h.colours_used = palette_entries;
    auto out = header_bytes(h);
    out.insert(out.end(), palette_entries * 4, 0x55);
    const std::size_t start = out.size();
    for (std::size_t i = 0; i < rows.size(); ++i) {
        for (const Rgb& c : rows[top_down ? i : rows.size() - 1 - i]) {
            out.push_back(c.b); out.push_back(c.g); out.push_back(c.r);
        }
        while ((out.size() - start) % 4) out.push_back(0xEE);
    }
    return out;
}

}  // namespace panelhost::render::test
