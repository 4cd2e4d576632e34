// The fuzz targets: everything panelhost reads from a module file, one entry
// per parser. Each takes the raw bytes and returns a one-line account of what
// it made of them ("error: ..." or a summary). libFuzzer ignores the account
// (fuzz_entry.cpp); the regression test replays the saved cases and compares
// it, so a fixed finding also keeps its behaviour.
//
// The targets are pure functions of the bytes: no files, no globals.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace panelhost::fuzz {

using Input = std::span<const std::uint8_t>;

// A whole module file, down the loader's path: headers, sections, imports,
// exports, relocations, resources, the memory image relocated to another
// base, the version resource and every bitmap resource decoded.
std::string pe_image(Input bytes);

// The resource tree alone: the first 4 bytes (little-endian) are the RVA the
// rest is mapped at, as one section that holds the resource directory (the
// seeds are real .rsrc sections with their RVA).
std::string pe_resources(Input bytes);

// A version resource (VS_VERSIONINFO) alone.
std::string pe_version(Input bytes);

// A bitmap resource (a DIB without file header) alone.
std::string dib(Input bytes);

// A scene built from the bytes (element kinds, positions, pivots, draw flags,
// values, needle tables, icon fields, small bitmaps) drawn into a frame:
// what the renderer does with the records and bitmaps of a module.
std::string painter(Input bytes);

struct Target {
    std::string_view name;
    std::string (*run)(Input);
};

inline constexpr Target kTargets[] = {
    {"pe_image", pe_image},
    {"pe_resources", pe_resources},
    {"pe_version", pe_version},
    {"dib", dib},
    {"painter", painter},
};

}  // namespace panelhost::fuzz
