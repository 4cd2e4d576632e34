// Reads through RVAs: maps an address of the loaded image to the file bytes
// the loader would put there (the headers, or a section's raw data).
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "pe/image.h"
#include "pe/reader.h"

namespace panelhost::pe::detail {

class ImageView {
public:
    ImageView(const Reader& file, const std::vector<Section>& sections,
              std::uint32_t size_of_headers, std::uint32_t size_of_image)
        : file_(file), sections_(sections), size_of_headers_(size_of_headers),
          size_of_image_(size_of_image) {}

    std::uint32_t size_of_image() const { return size_of_image_; }

    // The file bytes of [rva, rva + size). Errors when the range leaves the
    // image ("import directory at RVA 0x5000 lies outside the image") or
    // is not wholly supplied by one section's file data.
    Result<std::span<const std::uint8_t>> bytes(std::uint64_t rva, std::uint64_t size,
                                                std::string_view what) const;
    Result<std::uint16_t> u16(std::uint64_t rva, std::string_view what) const;
    Result<std::uint32_t> u32(std::uint64_t rva, std::string_view what) const;

    // A NUL-terminated string of at most max_length bytes (the terminator
    // must lie in the same section).
    Result<std::string> c_string(std::uint64_t rva, std::size_t max_length,
                                 std::string_view what) const;

private:
    // A stretch of the image backed by file bytes.
    struct Window {
        std::uint64_t rva = 0;
        std::uint64_t file_offset = 0;
        std::uint64_t file_size = 0;     // bytes the file supplies
        std::uint64_t mapped_size = 0;   // bytes in memory (the rest zero)
    };
    std::optional<Window> window(std::uint64_t rva) const;

    const Reader& file_;
    const std::vector<Section>& sections_;
    std::uint32_t size_of_headers_;
    std::uint32_t size_of_image_;
};

}  // namespace panelhost::pe::detail
