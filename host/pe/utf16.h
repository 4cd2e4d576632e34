// UTF-16LE text from resource and version data, converted to UTF-8.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace panelhost::pe::detail {

// Converts little-endian UTF-16 code units (an odd last byte is ignored).
// An unpaired surrogate becomes U+FFFD, so any input gives valid UTF-8.
std::string utf8_from_utf16le(std::span<const std::uint8_t> bytes);

}  // namespace panelhost::pe::detail
