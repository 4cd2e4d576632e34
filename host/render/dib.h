// Decoding a bitmap resource: a device-independent bitmap without a file
// header, as a module stores it.
//
// Accepted: a 40-byte information header, one plane, uncompressed, 8 bits per
// pixel with a palette (biClrUsed entries, or 256 when it is 0) or 24 bits per
// pixel (a palette, if present, is skipped); rows bottom-up (positive height)
// or top-down (negative height), each padded to a multiple of 4 bytes.
//
// Nothing in the bytes is trusted: every size is checked with 64-bit sums
// before use, and anything else (a short header, impossible or oversized
// dimensions, a palette or pixel data past the end, compression, other bit
// depths, a palette index beyond the palette) is an error naming the cause.
// The caller adds the resource id ("bitmap 0x1100: ...").
#pragma once

#include <cstdint>
#include <span>

#include "render/error.h"
#include "render/pixels.h"

namespace panelhost::render {

// Largest width or height accepted; far beyond any gauge picture, small
// enough that width * height * 4 cannot overflow anywhere downstream.
inline constexpr std::int64_t kMaxBitmapSide = 16384;

Result<Bitmap> decode_dib(std::span<const std::uint8_t> bytes);

}  // namespace panelhost::render
