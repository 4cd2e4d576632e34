// The drawing sets of the art tool, by name.
//
// Each drawing file registers its set with a static Registrar:
//
//     static const art::Registrar va_meter{"va_meter", draw_va_meter};
//
// A set's function draws its bitmaps and returns the bytes of each file with
// its path relative to the repository root; the `art` program writes them
// there, and the tests compare them with the committed files.
#pragma once

#include <expected>
#include <map>
#include <string>
#include <vector>

#include "lib/bmp.h"

namespace art {

struct OutputFile {
    std::string path;  // relative to the repository root, '/' separated
    Bytes bytes;
};
using Files = std::vector<OutputFile>;
using DrawSet = std::expected<Files, std::string> (*)();

// All registered sets, ordered by name.
const std::map<std::string, DrawSet>& drawing_sets();
// The set of that name, or nullptr.
DrawSet find_drawing_set(const std::string& name);

struct Registrar {
    Registrar(const char* name, DrawSet draw);
};

}  // namespace art
