// The resource tree: exactly three levels (type, name, language) of
// directories, then data entries that point at the resource bytes.
#pragma once

#include <vector>

#include "pe/headers.h"
#include "pe/image_view.h"
#include "pe/limits.h"

namespace panelhost::pe::detail {

// Walks the tree without recursion; a directory that points back at one of
// its ancestors is reported as a loop, a fourth level as too deep.
Result<std::vector<Resource>> parse_resources(const ImageView& view, DataDirectory directory,
                                              Budget& budget);

}  // namespace panelhost::pe::detail
