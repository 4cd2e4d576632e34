// The export directory: the module name it records and every export, by
// name and/or biased ordinal, with forwarders recognised.
#pragma once

#include <string>
#include <vector>

#include "pe/headers.h"
#include "pe/image_view.h"
#include "pe/limits.h"

namespace panelhost::pe::detail {

struct ExportTable {
    std::string module_name;
    std::vector<Export> exports;   // by ordinal; an address with several names appears once per name
};

Result<ExportTable> parse_exports(const ImageView& view, DataDirectory directory, Budget& budget);

}  // namespace panelhost::pe::detail
