#include "validate/image_memory.h"

#include <fmt/format.h>

namespace panelhost::validate {

std::string hex(std::uint64_t value) { return fmt::format("{:#x}", value); }

ImageMemory::ImageMemory(const pe::Image& image)
    : image_(image), base_(image.image_base()), memory_(image.memory_image()) {}

bool ImageMemory::contains(std::uint32_t va, std::uint64_t size) const {
    if (va < base_) return false;
    const std::uint64_t offset = std::uint64_t(va) - base_;
    return offset + size <= memory_.size();
}

std::optional<std::string> ImageMemory::c_string(std::uint32_t va, std::size_t max) const {
    std::string out;
    for (std::size_t i = 0; i <= max; ++i) {
        const std::uint64_t at = std::uint64_t(va) + i;
        if (at > 0xFFFFFFFFu || !contains(static_cast<std::uint32_t>(at), 1)) return std::nullopt;
        const char c = static_cast<char>(memory_[at - base_]);
        if (c == '\0') return out;
        out.push_back(c);
    }
    return std::nullopt;
}

const pe::Section* ImageMemory::section_at(std::uint32_t va) const {
    if (va < base_) return nullptr;
    const std::uint64_t rva = std::uint64_t(va) - base_;
    for (const pe::Section& s : image_.sections()) {
        const std::uint64_t size = std::max(s.virtual_size, s.raw_size);
        if (rva >= s.rva && rva < std::uint64_t(s.rva) + size) return &s;
    }
    return nullptr;
}

bool ImageMemory::in_code(std::uint32_t va) const {
    const pe::Section* s = section_at(va);
    return s != nullptr && s->executable();
}

bool ImageMemory::in_writable(std::uint32_t va) const {
    const pe::Section* s = section_at(va);
    return s != nullptr && s->writable();
}

std::string ImageMemory::describe(std::uint32_t va) const {
    const pe::Section* s = section_at(va);
    if (s != nullptr) return fmt::format("{:#x} ({})", va, s->name);
    if (contains(va, 1)) return fmt::format("{:#x} (headers)", va);
    return fmt::format("{:#x} (outside the image)", va);
}

}  // namespace panelhost::validate
