// Base relocations: parsing the relocation directory, and applying it to an
// image laid out in memory for another base.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "pe/headers.h"
#include "pe/image_view.h"

namespace panelhost::pe::detail {

// HIGHLOW entries become relocations, ABSOLUTE (padding) entries are
// dropped, and any other type is an error: a 32-bit loader that skipped it
// would leave a wrong address in the image.
Result<std::vector<Relocation>> parse_relocations(const ImageView& view, DataDirectory directory);

// Adds `delta` (new base minus preferred base, modulo 2^32) to each
// relocated 32-bit word of `memory`.
Result<void> apply_relocations(std::span<const Relocation> relocations,
                               std::span<std::uint8_t> memory, std::uint32_t delta);

}  // namespace panelhost::pe::detail
