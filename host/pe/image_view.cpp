#include "pe/image_view.h"

#include <algorithm>

#include "pe/errors.h"
#include "pe/headers.h"

namespace panelhost::pe::detail {

std::optional<ImageView::Window> ImageView::window(std::uint64_t rva) const {
    if (rva < size_of_headers_) return Window{0, 0, size_of_headers_, size_of_headers_};
    for (const Section& s : sections_) {
        if (rva >= s.rva && rva < std::uint64_t{s.rva} + mapped_size(s)) {
            return Window{s.rva, s.raw_offset, file_backed_size(s), mapped_size(s)};
        }
    }
    return std::nullopt;
}

Result<std::span<const std::uint8_t>> ImageView::bytes(std::uint64_t rva, std::uint64_t size,
                                                       std::string_view what) const {
    const auto where = [&] { return std::string(what) + " at RVA " + hex(rva); };
    if (rva > size_of_image_ || size > size_of_image_ - rva) {
        return fail(where() + " lies outside the image");
    }
    const auto w = window(rva);
    if (!w) return fail(where() + " lies in no section");
    const std::uint64_t into = rva - w->rva;
    if (size > w->file_size || into > w->file_size - size) {
        return fail(where() + (size > w->mapped_size - into ? " runs past the end of its section"
                                                            : " has no data in the file"));
    }
    return file_.bytes(w->file_offset + into, size, what);
}

Result<std::uint16_t> ImageView::u16(std::uint64_t rva, std::string_view what) const {
    PE_TRY(const auto b, bytes(rva, 2, what));
    return load_u16(b.data());
}

Result<std::uint32_t> ImageView::u32(std::uint64_t rva, std::string_view what) const {
    PE_TRY(const auto b, bytes(rva, 4, what));
    return load_u32(b.data());
}

Result<std::string> ImageView::c_string(std::uint64_t rva, std::size_t max_length,
                                        std::string_view what) const {
    const auto where = [&] { return std::string(what) + " at RVA " + hex(rva); };
    if (rva >= size_of_image_) return fail(where() + " lies outside the image");
    const auto w = window(rva);
    if (!w) return fail(where() + " lies in no section");
    const std::uint64_t into = rva - w->rva;
    if (into >= w->file_size) return fail(where() + " has no data in the file");
    const std::uint64_t available = std::min<std::uint64_t>(w->file_size - into, max_length + 1);
    PE_TRY(const auto text, bytes(rva, available, what));
    const auto end = std::find(text.begin(), text.end(), std::uint8_t{0});
    if (end == text.end()) {
        return fail(where() + (available > max_length
                                   ? " is longer than " + std::to_string(max_length) + " bytes"
                                   : " is not terminated"));
    }
    return std::string(text.begin(), end);
}

}  // namespace panelhost::pe::detail
