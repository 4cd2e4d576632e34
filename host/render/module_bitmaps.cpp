#include "render/module_bitmaps.h"

#include <cstdio>

#include "render/dib.h"

namespace panelhost::render {

std::string resource_name(std::uint32_t resource_id) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", resource_id);
    return text;
}

Result<std::shared_ptr<const Bitmap>> ModuleBitmaps::get(std::uint32_t resource_id) {
    if (auto it = decoded_.find(resource_id); it != decoded_.end()) return it->second;
    const pe::Resource* resource = image_->find_resource(pe::kResourceBitmap, resource_id);
    if (!resource)
        return std::unexpected(Error{"bitmap " + resource_name(resource_id) + ": missing"});
    auto bitmap = decode_dib(resource->bytes);
    if (!bitmap)
        return std::unexpected(Error{"bitmap " + resource_name(resource_id) + ": " + bitmap.error().message});
    auto shared = std::make_shared<const Bitmap>(std::move(*bitmap));
    decoded_.emplace(resource_id, shared);
    return shared;
}

}  // namespace panelhost::render
