#include "pe/reader.h"

#include <cstdio>

#include "pe/errors.h"

namespace panelhost::pe::detail {

std::string hex(std::uint64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%llx", static_cast<unsigned long long>(value));
    return text;
}

Result<std::span<const std::uint8_t>> Reader::bytes(std::uint64_t offset, std::uint64_t size,
                                                    std::string_view what) const {
    // Written so that neither side can wrap, whatever the caller passes.
    if (offset > bytes_.size() || size > bytes_.size() - offset) {
        return fail("truncated: " + std::string(what) + " needs " + std::to_string(size) +
                    " bytes at offset " + hex(offset) + ", " + std::string(name_) + " has " +
                    std::to_string(bytes_.size()));
    }
    return bytes_.subspan(static_cast<std::size_t>(offset), static_cast<std::size_t>(size));
}

Result<std::uint16_t> Reader::u16(std::uint64_t offset, std::string_view what) const {
    PE_TRY(const auto b, bytes(offset, 2, what));
    return load_u16(b.data());
}

Result<std::uint32_t> Reader::u32(std::uint64_t offset, std::string_view what) const {
    PE_TRY(const auto b, bytes(offset, 4, what));
    return load_u32(b.data());
}

}  // namespace panelhost::pe::detail
