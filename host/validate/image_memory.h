// The module as it lies in memory at its preferred base, read without
// running it: the static records (Linkage, the gauge header, the element
// tree) are reachable through their stored references alone.
//
// Every read is bounds-checked against the image; a reference that leads
// outside it reads as empty, and the caller says which record it was.
#pragma once

#include "pe/image.h"

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

namespace panelhost::validate {

class ImageMemory {
public:
    explicit ImageMemory(const pe::Image& image);

    std::uint32_t base() const { return base_; }

    // A record of type T at guest address `va`, or empty when any byte of it
    // lies outside the image.
    template <class T> std::optional<T> read(std::uint32_t va) const {
        static_assert(std::is_trivially_copyable_v<T>);
        if (!contains(va, sizeof(T))) return std::nullopt;
        T out;
        std::memcpy(&out, memory_.data() + (va - base_), sizeof(T));
        return out;
    }

    // A zero-terminated 8-bit string of at most `max` characters.
    std::optional<std::string> c_string(std::uint32_t va, std::size_t max = 256) const;

    bool contains(std::uint32_t va, std::uint64_t size) const;

    // The section holding `va`, or null (headers, gaps, outside).
    const pe::Section* section_at(std::uint32_t va) const;

    bool in_code(std::uint32_t va) const;        // an executable section
    bool in_writable(std::uint32_t va) const;    // a writable section

    // "0x69a02020 (.data)" for messages.
    std::string describe(std::uint32_t va) const;

private:
    const pe::Image& image_;
    std::uint32_t base_;
    std::vector<std::uint8_t> memory_;
};

std::string hex(std::uint64_t value);

}  // namespace panelhost::validate
