#include "target.h"
#include "render/dib.h"

namespace panelhost::fuzz {

std::string dib(Input bytes) {
    const auto bitmap = render::decode_dib(bytes);
    if (!bitmap) return "error: " + bitmap.error().message;
    std::size_t black = 0;
    for (std::uint8_t b : bitmap->black) black += b;
    return std::to_string(bitmap->width) + " x " + std::to_string(bitmap->height) + ", " +
           std::to_string(black) + " black";
}

}  // namespace panelhost::fuzz
