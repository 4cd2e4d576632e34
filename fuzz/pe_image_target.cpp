#include <vector>

#include "target.h"
#include "pe/image.h"
#include "render/dib.h"

namespace panelhost::fuzz {

std::string pe_image(Input bytes) {
    auto image = pe::Image::parse(std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
    if (!image) return "error: " + image.error().message;

    // What the module table does with a parsed image: lay it out, move it
    // away from its preferred base, find the records by name and ordinal.
    std::vector<std::uint8_t> memory = image->memory_image();
    const auto relocated = image->relocate(memory, image->image_base() ^ 0x10000000u);
    const bool linkage = image->find_export("Linkage") != nullptr;
    const bool ordinal_1 = image->find_export(std::uint32_t{1}) != nullptr;

    // What inspect and the renderer read: the version resource and bitmaps.
    const auto version = image->version_info();
    int bitmaps = 0, bad_bitmaps = 0;
    for (const pe::Resource& r : image->resources()) {
        if (r.type.number != pe::kResourceBitmap) continue;
        (render::decode_dib(r.bytes) ? bitmaps : bad_bitmaps)++;
    }

    return "sections " + std::to_string(image->sections().size()) +
           ", imports " + std::to_string(image->imports().size()) +
           ", exports " + std::to_string(image->exports().size()) +
           (linkage ? " (Linkage)" : "") + (ordinal_1 ? " (ordinal 1)" : "") +
           ", relocations " + std::to_string(image->relocations().size()) +
           (relocated ? "" : " (" + relocated.error().message + ")") +
           ", resources " + std::to_string(image->resources().size()) +
           ", version " + (version ? "ok" : version.error().message) +
           ", bitmaps " + std::to_string(bitmaps) + " ok " + std::to_string(bad_bitmaps) + " bad";
}

}  // namespace panelhost::fuzz
