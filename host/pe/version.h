// The version resource (VS_VERSIONINFO): fixed file info, string tables and
// translations, read with bounds checks of its own.
#pragma once

#include <cstdint>
#include <span>

#include "pe/image.h"

namespace panelhost::pe::detail {

// Parses the bytes of a version resource. A pure function of the bytes.
Result<VersionInfo> parse_version_info(std::span<const std::uint8_t> bytes);

}  // namespace panelhost::pe::detail
