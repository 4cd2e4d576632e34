// The import directory: per DLL, the functions imported by name (with the
// hint) or by ordinal, and where the loader writes each address.
#pragma once

#include <vector>

#include "pe/headers.h"
#include "pe/image_view.h"
#include "pe/limits.h"

namespace panelhost::pe::detail {

Result<std::vector<Import>> parse_imports(const ImageView& view, DataDirectory directory,
                                          Budget& budget);

}  // namespace panelhost::pe::detail
