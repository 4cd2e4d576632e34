#include <vector>

#include "target.h"
#include "pe/headers.h"
#include "pe/image_view.h"
#include "pe/limits.h"
#include "pe/reader.h"
#include "pe/resources.h"

namespace panelhost::fuzz {

std::string pe_resources(Input bytes) {
    using namespace pe::detail;
    if (bytes.size() < 4) return "too short";
    // The section sits where the file says, page-aligned and above the
    // headers, within the largest image the parser accepts.
    const std::uint32_t rva = 0x1000u + (load_u32(bytes.data()) & 0x0ffff000u) % (pe::kMaxImageSize / 2);
    const std::uint32_t size = static_cast<std::uint32_t>(bytes.size() - 4);
    const std::vector<pe::Section> sections = {
        {.name = ".rsrc", .rva = rva, .virtual_size = size, .raw_offset = 4, .raw_size = size,
         .characteristics = 0x40000040u}};
    const Reader file(bytes, "file");
    const ImageView view(file, sections, 0x400, rva + size);
    Budget budget(bytes.size());
    const auto resources = parse_resources(view, DataDirectory{rva, size}, budget);
    if (!resources) return "error: " + resources.error().message;
    std::string out = std::to_string(resources->size()) + " resources";
    for (const pe::Resource& r : *resources) {
        out += r.type.number ? " " + std::to_string(*r.type.number) : " \"" + r.type.name + "\"";
        out += r.id.number ? "/" + std::to_string(*r.id.number) : "/\"" + r.id.name + "\"";
        out += "/" + std::to_string(r.language) + ":" + std::to_string(r.bytes.size());
    }
    return out;
}

}  // namespace panelhost::fuzz
