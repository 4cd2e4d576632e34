// A module's bitmap resources (type 2), decoded on first use and shared
// afterwards, by resource id. A bitmap that is missing or malformed is an
// error naming the id: "bitmap 0x1100: missing", "bitmap 0x1100: ...".
#pragma once

#include <cstdint>
#include <map>
#include <memory>

#include "pe/image.h"
#include "render/error.h"
#include "render/pixels.h"

namespace panelhost::render {

class ModuleBitmaps {
public:
    // The image must outlive this object.
    explicit ModuleBitmaps(const pe::Image& image) : image_(&image) {}

    Result<std::shared_ptr<const Bitmap>> get(std::uint32_t resource_id);

private:
    const pe::Image* image_;
    std::map<std::uint32_t, std::shared_ptr<const Bitmap>> decoded_;
};

// "0x1100"
std::string resource_name(std::uint32_t resource_id);

}  // namespace panelhost::render
