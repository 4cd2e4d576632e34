// Image: parsing in order (headers and sections, then each table through
// RVAs), and the loader's view of the result.
#include "pe/image.h"

#include <algorithm>
#include <cstring>

#include "pe/errors.h"
#include "pe/exports.h"
#include "pe/headers.h"
#include "pe/image_view.h"
#include "pe/imports.h"
#include "pe/limits.h"
#include "pe/reader.h"
#include "pe/relocations.h"
#include "pe/resources.h"
#include "pe/version.h"

namespace panelhost::pe {

Result<Image> Image::parse(std::vector<std::uint8_t> file) {
    using namespace detail;
    Image image;
    image.file_ = std::move(file);
    const Reader reader(image.file_, "file");
    PE_TRY(Headers h, parse_headers(reader));
    image.image_base_ = h.image_base;
    image.size_of_image_ = h.size_of_image;
    image.size_of_headers_ = h.size_of_headers;
    image.entry_point_rva_ = h.entry_point_rva;
    image.section_alignment_ = h.section_alignment;
    image.characteristics_ = h.characteristics;
    image.sections_ = std::move(h.sections);

    const ImageView view(reader, image.sections_, image.size_of_headers_, image.size_of_image_);
    Budget budget(image.file_.size());
    PE_TRY(image.imports_, parse_imports(view, h.directories[kImportDirectory], budget));
    PE_TRY(ExportTable exports, parse_exports(view, h.directories[kExportDirectory], budget));
    image.exports_ = std::move(exports.exports);
    image.export_name_ = std::move(exports.module_name);
    PE_TRY(image.relocations_, parse_relocations(view, h.directories[kRelocationDirectory]));
    PE_TRY(image.resources_, parse_resources(view, h.directories[kResourceDirectory], budget));
    return image;
}

std::vector<std::uint8_t> Image::memory_image() const {
    // Every range below was checked against the file and the image while
    // parsing; the clamps only keep this function safe on its own.
    std::vector<std::uint8_t> memory(size_of_image_, 0);
    const auto copy = [&](std::uint64_t rva, std::uint64_t offset, std::uint64_t size) {
        if (offset >= file_.size() || rva >= memory.size()) return;
        size = std::min({size, file_.size() - offset, memory.size() - rva});
        std::memcpy(memory.data() + rva, file_.data() + offset, size);
    };
    copy(0, 0, size_of_headers_);
    for (const Section& s : sections_) copy(s.rva, s.raw_offset, detail::file_backed_size(s));
    return memory;
}

Result<void> Image::relocate(std::span<std::uint8_t> memory, std::uint32_t new_base) const {
    return detail::apply_relocations(relocations_, memory, new_base - image_base_);
}

const Export* Image::find_export(std::string_view name) const {
    const auto it = std::ranges::find_if(exports_, [&](const Export& e) { return e.name == name; });
    return it != exports_.end() ? &*it : nullptr;
}

const Export* Image::find_export(std::uint32_t ordinal) const {
    const auto it = std::ranges::find(exports_, ordinal, &Export::ordinal);
    return it != exports_.end() ? &*it : nullptr;
}

const Resource* Image::find_resource(std::uint32_t type, std::uint32_t id,
                                     std::optional<std::uint32_t> language) const {
    const auto it = std::ranges::find_if(resources_, [&](const Resource& r) {
        return r.type.number == type && r.id.number == id &&
               (!language || r.language == *language);
    });
    return it != resources_.end() ? &*it : nullptr;
}

Result<VersionInfo> Image::version_info() const {
    const auto it = std::ranges::find(resources_, std::optional<std::uint32_t>{kResourceVersion},
                                      [](const Resource& r) { return r.type.number; });
    if (it == resources_.end()) return detail::fail("no version resource");
    return detail::parse_version_info(it->bytes);
}

}  // namespace panelhost::pe
